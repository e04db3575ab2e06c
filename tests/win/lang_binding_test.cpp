// The Language DLL binding against the stand-in DLL, as a PE under Wine. Opening files and the
// registry through the DLL are shown by the exports' Wine tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "lang/lang_api.h"

namespace s470 {
namespace {

std::u16string Str(const char16_t* s) {
  return s != nullptr ? std::u16string(s) : u"(null)";
}

TEST(LangBinding, LoadsTheNtDllInTheLanguageAskedForAndEnglishForAnyOther) {
  EXPECT_STREQ(LanguageDllName(), "ORV_LangWinNT.DLL");  // Wine reports the NT platform
  EXPECT_EQ(kHkeyLocalMachine, reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE));
  const struct {
    uint16_t language;
    int32_t text;
    std::u16string want;
  } cases[] = {{1, 0, u"English"}, {1, 2, u"Cancel"},
               {1, 9999, u""},  // an unknown number: empty, not a crash
               {2, 0, u"Deutsch"}, {2, 1003, u"\u00dcbertragen: "},
               {7, 0, u"English"}};  // any other number: English
  for (const auto& c : cases) {
    ASSERT_EQ(OpenLanguage(c.language, 2), 0);
    ASSERT_NE(Lang(), nullptr);
    EXPECT_EQ(Str(Lang()->GetStr(c.text)), c.want) << c.language << " " << c.text;
    CloseLanguage();
    EXPECT_EQ(Lang(), nullptr);
  }
}

}  // namespace
}  // namespace s470
