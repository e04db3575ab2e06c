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
}

TEST_F(TextLookupTest, MakerAndModelWordsOfEachBrand) {
  const std::u16string text = u"ORV, Ornex and S470.";
  EXPECT_EQ(Branded(0, text), u"ORV, Ornex and S470.");
  EXPECT_EQ(Branded(1, text), u"Lumetra, Lumetra and HL5100.");
  EXPECT_EQ(Branded(2, text), u"Pelux, Pelux and S470.");
  EXPECT_EQ(Branded(3, text), u"Vorn, Vorn and KW380.");
  EXPECT_EQ(Branded(4, text), u"ORV, Ornex and R470.");
}

TEST_F(TextLookupTest, OnlyTheExactWordsAreReplaced) {
  const std::u16string text = u"orv Orv ORv ornex ORNEX S47 S 470 s470 S4";
  for (uint16_t brand = 0; brand <= 4; ++brand) EXPECT_EQ(Branded(brand, text), text) << brand;
}

TEST_F(TextLookupTest, EveryOccurrenceIsReplacedIncludingWordsWrittenTogether) {
  EXPECT_EQ(Branded(3, u"ORVORV"), u"VornVorn");
  EXPECT_EQ(Branded(1, u"S470S470 ORVOrnexS470"), u"HL5100HL5100 LumetraLumetraHL5100");
  EXPECT_EQ(Branded(2, u"xORVyORVz"), u"xPeluxyPeluxz");
}

TEST_F(TextLookupTest, ScanStartsAgainAfterEachReplacement) {
  // "OR" + "Vorn" makes a new maker word in front of the replacement.
  EXPECT_EQ(Branded(3, u"ORORV"), u"Vornorn");
  // Cutting the word out joins its neighbours into another one.
  EXPECT_EQ(Branded(9, u"OORVRV!"), u"!");
  EXPECT_EQ(Branded(9, u"S4S47070-0"), u"-0");
  // The passes run in order: an "Ornex" made by the "ORV" pass stays.
  EXPECT_EQ(Branded(9, u"OrnORVex"), u"Ornex");
}

TEST_F(TextLookupTest, ShortTextsComeBackUnchanged) {
  for (uint16_t brand = 0; brand <= 6; ++brand) {
    EXPECT_EQ(Branded(brand, u"OR"), u"OR") << brand;
    EXPECT_EQ(Branded(brand, u"S4"), u"S4") << brand;
    EXPECT_EQ(Branded(brand, u"x"), u"x") << brand;
    EXPECT_EQ(Branded(brand, u""), u"") << brand;
  }
}

TEST_F(TextLookupTest, BrandsWithoutNamesCutTheWordsOut) {
  EXPECT_EQ(Branded(5, u"The ORV S470 of Ornex."), u"The   of .");
  EXPECT_EQ(Branded(255, u"ORVS470Ornex"), u"");
  EXPECT_EQ(Branded(0xFFFF, u"[S470]"), u"[]");
}

TEST_F(TextLookupTest, UnknownNumberGivesAnEmptyText) {
  for (uint16_t brand : {0, 1, 4, 7}) {
    SetBrand(brand);
    const char16_t* text = GetText(12345);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text[0], 0);
  }
  lang_.texts[3] = u"";
  SetBrand(1);
  EXPECT_EQ(std::u16string(GetText(3)), u"");
}

TEST_F(TextLookupTest, NoLanguageDllGivesAnEmptyText) {
  SetLang(nullptr);
  for (uint16_t brand : {0, 3}) {
    SetBrand(brand);
    const char16_t* text = GetText(1);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text[0], 0);
  }
}

TEST_F(TextLookupTest, GrowthStopsAtTheEndOfTheBuffer) {
  // 333 maker words (999 characters) become 333 brand words of 7 characters: 2331 would not fit.
  std::u16string makers;
  for (int i = 0; i < 333; ++i) makers += u"ORV";
  std::u16string brands;
  for (int i = 0; i < 333; ++i) brands += u"Lumetra";
  const std::u16string result = Branded(1, makers);
  EXPECT_EQ(result.size(), kTextBufferSize - 1);
  EXPECT_EQ(result, brands.substr(0, kTextBufferSize - 1));

  // The model word grows by two characters; the cut falls inside the last replacement...
  EXPECT_EQ(Branded(1, std::u16string(988, u'.') + u"S470S470"),
            std::u16string(988, u'.') + u"HL5100HL510");
  // ...or inside a word still to be replaced, which then stays as it was cut.
  EXPECT_EQ(Branded(1, std::u16string(990, u'.') + u"S470S470"),
            std::u16string(990, u'.') + u"HL5100S47");
}

TEST_F(TextLookupTest, OverlongTextIsCutWithABrandAndUntouchedWithout) {
  std::u16string text(3000, u'a');
  text[0] = u'S';
  text[1] = u'4';
  text[2] = u'7';
  text[3] = u'0';
  text[2000] = u'!';
  EXPECT_EQ(Branded(0, text), text);
  const std::u16string cut = Branded(4, text);
  EXPECT_EQ(cut, u"R470" + std::u16string(995, u'a'));
  // Words that lie beyond the cut are not looked for.
  EXPECT_EQ(Branded(3, std::u16string(998, u' ') + u"ORV"), std::u16string(998, u' ') + u"O");
}

}  // namespace
}  // namespace s470
