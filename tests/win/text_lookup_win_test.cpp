// Brand words in the stand-in Language DLL's texts, through the real binding, as a PE under
// wine64.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "lang/lang_api.h"
#include "lang/text_lookup.h"

namespace s470 {
namespace {

TEST(TextLookupWin, BrandWordsInTheLanguageDllsTexts) {
  ASSERT_EQ(OpenLanguage(1, 2), 0);
  SetBrand(0);
  const char16_t* plain = GetText(10);
  EXPECT_EQ(std::u16string(plain), u"ORV S470 Setup");
  EXPECT_EQ(plain, Lang()->GetStr(10));  // the DLL's own text, not a copy
  SetBrand(1);
  EXPECT_EQ(std::u16string(GetText(10)), u"Lumetra HL5100 Setup");
  SetBrand(4);
  EXPECT_EQ(std::u16string(GetText(1004)),
            u"No connection to the ORV module. Please check the cable, the COM port and the power "
            u"supply of the R470, then try again.");
  SetBrand(3);
  EXPECT_EQ(std::u16string(GetText(9999)), u"");  // unknown number
  CloseLanguage();

  ASSERT_EQ(OpenLanguage(2, 2), 0);
  SetBrand(3);
  EXPECT_EQ(std::u16string(GetText(1000)), u"Einstellungen aus dem Vorn-KW380-Messger\u00e4t lesen");
  SetBrand(0);
  CloseLanguage();
}

}  // namespace
}  // namespace s470
