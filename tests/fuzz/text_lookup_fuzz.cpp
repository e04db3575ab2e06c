// Language DLL texts of any content and length, with every brand number: the lookup ends, stays
// inside its 1000-character buffer, and leaves no maker or model word where the brand has a name
// for it. First byte: the brand; then one character per byte, 0xFF standing for one beyond 8 bits.
#include <cstdlib>
#include <string>

#include "../unit/fake_lang.h"
#include "lang/text_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace s470;
  if (size < 1) return 0;
  std::u16string text;
  for (size_t i = 1; i < size; ++i)
    if (data[i] != 0) text.push_back(data[i] == 0xFF ? u'\x0152' : data[i]);
  FakeLang lang;
  lang.texts[1] = text;
  SetBrand(data[0]);
  const std::u16string result = GetText(1);
  SetBrand(0);
  bool ok = data[0] == 0 ? result == text : result.size() < kTextBufferSize;
  // Brands 1 and 3 have words with none of the maker's and model's letters: nothing is left over.
  for (const char16_t* word : {u"ORV", u"Ornex", u"S470"})
    if ((data[0] == 1 || data[0] == 3) && result.find(word) != std::u16string::npos) ok = false;
  if (!ok) std::abort();
  return 0;
}
