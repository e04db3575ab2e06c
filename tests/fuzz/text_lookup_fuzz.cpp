// Texts of any content and length, with every brand number: the lookup ends, stays inside its
// 1000-character buffer, and leaves no maker or model word where the brand has a name for it.
#include <cstdlib>
#include <string>

#include "../unit/fake_lang.h"
#include "lang/text_lookup.h"

using namespace s470;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // First byte: the brand; the rest: one character per byte (so the words are easy to reach),
  // with byte 0xFF standing for a character beyond 8 bits.
  const uint16_t brand = data[0];
  std::u16string text;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0) continue;
    text.push_back(data[i] == 0xFF ? u'\x0152' : data[i]);
  }
  FakeLang lang;
  lang.texts[1] = text;
  SetBrand(brand);
  const std::u16string result = GetText(1);
  if (brand == 0) {
    Check(result == text);
  } else {
    Check(result.size() < kTextBufferSize);
    if (brand == 1 || brand == 3) {
      // Their words hold none of the maker's and model's letters, so nothing can be left over.
      Check(result.find(u"ORV") == std::u16string::npos);
      Check(result.find(u"Ornex") == std::u16string::npos);
      Check(result.find(u"S470") == std::u16string::npos);
    }
    if (text.size() < kTextBufferSize && text.find(u"ORV") == std::u16string::npos &&
        text.find(u"Ornex") == std::u16string::npos && text.find(u"S470") == std::u16string::npos)
      Check(result == text);
  }
  SetBrand(0);
  return 0;
}
