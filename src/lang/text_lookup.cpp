#include "lang/text_lookup.h"

#include <string>

#include "lang/lang_api.h"
#include "lang/text16.h"

namespace s470 {

namespace {

uint16_t g_brand = 0;

// The result of every lookup with a brand, and the tail of the text during a replacement.
char16_t g_text[kTextBufferSize];
char16_t g_rest[kTextBufferSize];

// Per brand: the word for the maker's names and the word for the model name. Null leaves the
// name as it is.
struct BrandWords {
  const char* maker;
  const char* model;
};
constexpr BrandWords kBrands[] = {
    {nullptr, nullptr},     // 0: the maker's own texts
    {"Lumetra", "HL5100"},  // 1
    {"Pelux", nullptr},     // 2
    {"Vorn", "KW380"},      // 3
    {nullptr, "R470"},      // 4
};
// Brand numbers beyond the table have no names of their own: the maker's are cut out.
constexpr BrandWords kUnknownBrand = {"", ""};

// Appends `from` to the NUL-terminated text in `to` (capacity kTextBufferSize), cutting what
// does not fit.
void AppendBounded(char16_t* to, const char16_t* from) {
  size_t n = Length16(to);
  for (; *from != 0 && n + 1 < kTextBufferSize; ++from, ++n) to[n] = *from;
  to[n] = 0;
}

// Replaces every occurrence of `pattern` in the text buffer by `word`, starting the scan again
// at the beginning after each replacement (a replacement can complete a word with the
// characters before it).
void ReplaceAll(const char16_t* pattern, const std::u16string& word) {
  const size_t p = Length16(pattern);
  size_t i = 0;
  for (;;) {
    const size_t length = Length16(g_text);
    if (length < p || i > length - p) return;
    if (std::char_traits<char16_t>::compare(g_text + i, pattern, p) != 0) {
      ++i;
      continue;
    }
    g_rest[0] = 0;
    AppendBounded(g_rest, g_text + i + p);
    g_text[i] = 0;
    AppendBounded(g_text, word.c_str());
    AppendBounded(g_text, g_rest);
    i = 0;
  }
}

}  // namespace

void SetBrand(uint16_t brand) { g_brand = brand; }
uint16_t GetBrand() { return g_brand; }

const char16_t* GetText(int32_t number) {
  static const char16_t kEmpty[1] = {0};
  LangApi* lang = Lang();
  const char16_t* text = lang != nullptr ? lang->GetStr(number) : nullptr;
  if (text == nullptr) text = kEmpty;
  if (g_brand == 0) return text;

  g_text[0] = 0;
  AppendBounded(g_text, text);
  const BrandWords& words =
      g_brand < sizeof kBrands / sizeof kBrands[0] ? kBrands[g_brand] : kUnknownBrand;
  if (words.maker != nullptr) {
    const std::u16string maker = Widen(words.maker);
    ReplaceAll(u"Ornex", maker);
    ReplaceAll(u"ORV", maker);
  }
  if (words.model != nullptr) ReplaceAll(u"S470", Widen(words.model));
  return g_text;
}

void ShowTextBox(Window owner, int32_t number, const char* caption, unsigned style) {
  LangApi* lang = Lang();
  if (lang == nullptr) return;
  const std::u16string text = GetText(number);  // GetText's buffer lasts only to the next lookup
  const std::u16string wideCaption = caption != nullptr ? Widen(caption) : std::u16string();
  lang->ShowMessageBox(owner, text.c_str(), caption != nullptr ? wideCaption.c_str() : nullptr,
                       style);
}

}  // namespace s470
