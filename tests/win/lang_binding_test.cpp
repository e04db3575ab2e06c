// The Language DLL binding against the stand-in DLL, as a PE under wine64.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "lang/lang_api.h"
#include "slots/file_slots.h"

namespace s470 {
namespace {

std::u16string Str(const char16_t* s) { return s != nullptr ? std::u16string(s) : u"(null)"; }

TEST(LangBinding, LoadsTheNtDllAndItsLanguages) {
  EXPECT_STREQ(LanguageDllName(), "ORV_LangWinNT.DLL");  // Wine reports the NT platform
  ASSERT_EQ(OpenLanguage(1, 2), 0);
  ASSERT_NE(Lang(), nullptr);
  EXPECT_EQ(Str(Lang()->GetStr(0)), u"English");
  EXPECT_EQ(Str(Lang()->GetStr(2)), u"Cancel");
  EXPECT_EQ(Str(Lang()->GetStr(9999)), u"");  // unknown number: empty, not a crash
  CloseLanguage();
  EXPECT_EQ(Lang(), nullptr);

  ASSERT_EQ(OpenLanguage(2, 2), 0);
  EXPECT_EQ(Str(Lang()->GetStr(0)), u"Deutsch");
  EXPECT_EQ(Str(Lang()->GetStr(1003)), u"\u00dcbertragen: ");
  CloseLanguage();

  ASSERT_EQ(OpenLanguage(7, 2), 0);  // any other number: English
  EXPECT_EQ(Str(Lang()->GetStr(0)), u"English");
  CloseLanguage();
}

TEST(LangBinding, NoLanguageStillBindsFilesAndStrings) {
  ASSERT_EQ(OpenLanguage(0xFFFF, 2), 0);
  ASSERT_NE(Lang(), nullptr);
  const char16_t* path = u"binding-test.s47";
  DeleteFileW(reinterpret_cast<const WCHAR*>(path));
  FileHandle f = Lang()->OpenFile(path);  // created when missing
  ASSERT_NE(f, kBadFile);
  // Opened shared: a second handle on the same file works.
  FileHandle g = Lang()->OpenFile(path);
  EXPECT_NE(g, kBadFile);
  CloseHandle(reinterpret_cast<HANDLE>(g));
  CloseHandle(reinterpret_cast<HANDLE>(f));
  EXPECT_EQ(Lang()->OpenFile(u"no\\such\\folder\\x"), kBadFile);
  DeleteFileW(reinterpret_cast<const WCHAR*>(path));
  CloseLanguage();
}

TEST(LangBinding, RegistryGoesThroughTheDll) {
  EXPECT_EQ(kHkeyLocalMachine, reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE));
  ASSERT_EQ(OpenLanguage(1, 2), 0);
  RegKey key = nullptr;
  uint32_t disposition = 0;
  ASSERT_EQ(Lang()->CreateKey(kHkeyLocalMachine, u"SOFTWARE\\S470BindingTest", u"Test", kKeyAllAccess,
                              &key, &disposition),
            0);
  const uint8_t data[] = {'1', ' ', '2', ' ', 0};
  EXPECT_EQ(Lang()->SetValue(key, u"COLOR 03", kRegSz, data, sizeof data), 0);
  Lang()->CloseKey(key);

  ASSERT_EQ(Lang()->OpenKey(kHkeyLocalMachine, u"SOFTWARE\\S470BindingTest", 0, kKeyQueryValue, &key), 0);
  char16_t name[500];
  uint8_t got[1000];
  uint32_t nameLength = 500, type = 0, dataLength = 500;
  ASSERT_EQ(Lang()->EnumValue(key, 0, name, &nameLength, &type, got, &dataLength), 0);
  EXPECT_EQ(std::u16string(name, nameLength), u"COLOR 03");
  EXPECT_EQ(type, kRegSz);
  ASSERT_GE(dataLength, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 4), "1 2 ");
  nameLength = 500;
  dataLength = 500;
  EXPECT_NE(Lang()->EnumValue(key, 1, name, &nameLength, &type, got, &dataLength), 0);
  Lang()->CloseKey(key);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\S470BindingTest");
  CloseLanguage();
}

}  // namespace
}  // namespace s470
