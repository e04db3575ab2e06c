#include "lang/text_lookup.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_lang.h"
#include "lang/text16.h"

namespace s470 {
namespace {

std::u16string Str(const char16_t* t) { return t != nullptr ? t : u"(null)"; }

class TextLookupTest : public ::testing::Test {
 protected:
  void TearDown() override { SetBrand(0); }

  // Text 7 as GetText gives it with the brand.
  std::u16string Branded(uint16_t brand, const std::u16string& text) {
    lang_.texts[7] = text;
    SetBrand(brand);
    return GetText(7);
  }

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
    for (int32_t number : {12345, 3}) EXPECT_EQ(Str(GetText(number)), u"") << brand;
  }
  SetLang(nullptr);
  for (uint16_t brand : {0, 3}) {
    SetBrand(brand);
    EXPECT_EQ(Str(GetText(1)), u"") << brand;
  }
}

TEST_F(TextLookupTest, WordsReplacedByBrand) {
  const struct {
    uint16_t brand;
    std::u16string text, want;
  } cases[] = {
      // The maker and model words of each brand.
      {0, u"ORV, Ornex and S470.", u"ORV, Ornex and S470."},
      {1, u"ORV, Ornex and S470.", u"Lumetra, Lumetra and HL5100."},
      {2, u"ORV, Ornex and S470.", u"Pelux, Pelux and S470."},
      {3, u"ORV, Ornex and S470.", u"Vorn, Vorn and KW380."},
      {4, u"ORV, Ornex and S470.", u"ORV, Ornex and R470."},
      // Every occurrence, also of words written together.
      {3, u"ORVORV", u"VornVorn"},
      {1, u"S470S470 ORVOrnexS470", u"HL5100HL5100 LumetraLumetraHL5100"},
      {2, u"xORVyORVz", u"xPeluxyPeluxz"},
      // The scan starts again after each replacement: "OR" + "Vorn" makes a new maker word...
      {3, u"ORORV", u"Vornorn"},
      // ...and cutting a word out joins its neighbours into another one.
      {9, u"OORVRV!", u"!"},
      {9, u"S4S47070-0", u"-0"},
      // The passes run in order: an "Ornex" made by the "ORV" pass stays.
      {9, u"OrnORVex", u"Ornex"},
      // Brands without names cut the words out.
      {5, u"The ORV S470 of Ornex.", u"The   of ."},
      {255, u"ORVS470Ornex", u""},
      {0xFFFF, u"[S470]", u"[]"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToUtf8(Branded(c.brand, c.text)), ToUtf8(c.want)) << c.brand << " " << ToUtf8(c.text);
  // Only the exact words are replaced; texts shorter than any word come back unchanged.
  for (uint16_t brand = 0; brand <= 6; ++brand)
    for (const char16_t* text : {u"orv Orv ORv ornex ORNEX S47 S 470 s470 S4", u"OR", u"S4", u"x", u""})
      EXPECT_EQ(ToUtf8(Branded(brand, text)), ToUtf8(text)) << brand;
}

TEST_F(TextLookupTest, GrowthStopsAtTheEndOfTheBuffer) {
  // 333 maker words (999 characters) become 333 brand words of 7 characters: 2331 would not fit.
  std::u16string makers, brands;
  for (int i = 0; i < 333; ++i) {
    makers += u"ORV";
    brands += u"Lumetra";
  }
  EXPECT_EQ(Branded(1, makers), brands.substr(0, kTextBufferSize - 1));
  // The model word grows by two characters; the cut falls inside the last replacement...
  EXPECT_EQ(Branded(1, std::u16string(988, u'.') + u"S470S470"),
            std::u16string(988, u'.') + u"HL5100HL510");
  // ...or inside a word still to be replaced, which then stays as it was cut.
  EXPECT_EQ(Branded(1, std::u16string(990, u'.') + u"S470S470"),
            std::u16string(990, u'.') + u"HL5100S47");
}

TEST_F(TextLookupTest, OverlongTextIsCutWithABrandAndUntouchedWithout) {
  std::u16string text = u"S470" + std::u16string(2996, u'a');
  text[2000] = u'!';
  EXPECT_EQ(Branded(0, text), text);
  EXPECT_EQ(Branded(4, text), u"R470" + std::u16string(995, u'a'));
  // Words that lie beyond the cut are not looked for.
  EXPECT_EQ(Branded(3, std::u16string(998, u' ') + u"ORV"), std::u16string(998, u' ') + u"O");
}

}  // namespace
}  // namespace s470
