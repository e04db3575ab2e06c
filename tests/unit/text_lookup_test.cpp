#include "lang/text_lookup.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_lang.h"
#include "lang/text16.h"

namespace s470 {
namespace {

class TextLookupTest : public ::testing::Test {
 protected:
  void TearDown() override { SetBrand(0); }
  FakeLang lang_;
};

TEST_F(TextLookupTest, BrandZeroHandsOnTheLanguageDllsOwnTextAndLeavesTheBufferAlone) {
  lang_.texts[7] = u"ORV one";
  SetBrand(1);
  const char16_t* branded = GetText(7);
  ASSERT_EQ(std::u16string(branded), u"Lumetra one");
  lang_.texts[8] = u"ORV Ornex S470";
  SetBrand(0);
  const char16_t* plain = GetText(8);
  EXPECT_EQ(std::u16string(plain), u"ORV Ornex S470");
  EXPECT_NE(plain, branded);                       // not the text buffer...
  EXPECT_EQ(std::u16string(branded), u"Lumetra one");  // ...which still holds the last branded text
  // An unknown number, or no Language DLL, gives an empty text, never null.
  lang_.texts[3] = u"";
  for (uint16_t brand : {0, 1, 4, 7}) {
    SetBrand(brand);
    for (int32_t number : {12345, 3}) EXPECT_EQ(std::u16string(GetText(number)), u"") << brand;
    SetLang(nullptr);
    EXPECT_EQ(std::u16string(GetText(7)), u"") << brand;
    SetLang(&lang_);
  }
}

TEST_F(TextLookupTest, WordsReplacedByBrandWithinTheBuffer) {
  std::u16string overlong = u"S470" + std::u16string(2996, u'a');
  overlong[2000] = u'!';
  const std::u16string dots(988, u'.');
  const std::u16string nearWords = u"orv Orv ORv ornex ORNEX S47 S 470 s470 S4";
  const struct {
    uint16_t brand;
    std::u16string text, want;
  } cases[] = {
      // The maker and model words of each brand.
      {1, u"ORV, Ornex and S470.", u"Lumetra, Lumetra and HL5100."},
      {2, u"ORV, Ornex and S470.", u"Pelux, Pelux and S470."},
      {3, u"ORV, Ornex and S470.", u"Vorn, Vorn and KW380."},
      {4, u"ORV, Ornex and S470.", u"ORV, Ornex and R470."},
      // Every occurrence, also of words written together.
      {3, u"ORVORV", u"VornVorn"},
      {1, u"S470S470 ORVOrnexS470", u"HL5100HL5100 LumetraLumetraHL5100"},
      // The scan starts again after each replacement: "OR" + "Vorn" makes a new maker word...
      {3, u"ORORV", u"Vornorn"},
      // ...and cutting a word out joins its neighbours into another one, down to a text that is
      // just the word.
      {9, u"OORVRV", u""},
      // The passes run in order: an "Ornex" made by the "ORV" pass stays.
      {9, u"OrnORVex", u"Ornex"},
      // Brands without names cut the words out.
      {5, u"The ORV S470 of Ornex.", u"The   of ."},
      // Growth stops at the end of the buffer, also inside the last replacement...
      {1, dots + u"S470S470", dots + u"HL5100HL510"},
      // ...or inside a word still to be replaced, which then stays as it was cut.
      {1, dots + u"..S470S470", dots + u"..HL5100S47"},
      // An overlong text is cut with a brand and handed on whole without; words beyond the cut
      // are not looked for.
      {0, overlong, overlong},
      {4, overlong, u"R470" + std::u16string(995, u'a')},
      {3, std::u16string(998, u' ') + u"ORV", std::u16string(998, u' ') + u"O"},
      // Only the exact words are replaced; texts shorter than any word come back unchanged.
      {3, nearWords, nearWords},
      {1, u"S4", u"S4"},
      {9, u"OR", u"OR"},
  };
  for (const auto& c : cases) {
    lang_.texts[7] = c.text;
    SetBrand(c.brand);
    EXPECT_EQ(ToUtf8(GetText(7)), ToUtf8(c.want)) << c.brand << " " << ToUtf8(c.text).substr(0, 40);
  }
}

}  // namespace
}  // namespace s470
