// The frame of the window exports and the opening of a setup file.
#include "api/call_frame.h"

#include <gtest/gtest.h>

#include "fake_lang.h"
#include "lang/fixed_message.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "slots/file_slots.h"
#include "test_files.h"

namespace s470 {
namespace {

TEST(CallFrame, LanguageAndBrandComeFromTheLowTwoBytes) {
  FakeLang lang;
  int ran = 0;
  EXPECT_EQ(RunCallFrame(nullptr, 0xABCD0207u, 1, [&]() -> int16_t {
              ++ran;
              return 0;
            }),
            0);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(lang.language, 7);
  EXPECT_EQ(GetBrand(), 2);
  // The brand stays after the call and is set afresh by the next one.
  RunCallFrame(nullptr, 0x0001, 1, []() -> int16_t { return 5; });
  EXPECT_EQ(GetBrand(), 0);
  EXPECT_EQ(lang.language, 1);
  EXPECT_TRUE(TakeFixedMessages().empty());
}

class OpenSetupTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseFileSlot(0); }
  int16_t Open(const std::string& name) { return OpenSetup(FromUtf8(dir_.Path(name)).c_str()); }
  FakeLang lang_;
  TempDir dir_;
};

TEST_F(OpenSetupTest, RegularFileFlagFollowsTheLastThreeLowerCaseCharacters) {
  EXPECT_EQ(Open("a.tmp"), 0);
  EXPECT_EQ(GetRegularFileFlag(), 0);
  EXPECT_EQ(Open("b.TMP"), 0);
  EXPECT_EQ(GetRegularFileFlag(), 1);
  EXPECT_EQ(Open("c.tmp"), 0);
  EXPECT_EQ(Open("ctmp.s47"), 0);
  EXPECT_EQ(GetRegularFileFlag(), 1);
  EXPECT_EQ(Open("xtmp"), 0);
  EXPECT_EQ(GetRegularFileFlag(), 0);
  EXPECT_EQ(lang_.language, -1);  // the DLL is used without loading a language
}

TEST_F(OpenSetupTest, ShortPathsAreNotReadBeforeTheirStart) {
  // Under the address sanitizer a look before the start of the path would stop the test.
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  const std::u16string shortPaths[] = {u"mp", u"p"};
  for (const std::u16string& path : shortPaths) {
    auto* copy = new char16_t[path.size() + 1];  // exactly as long as the text: no slack to read
    std::copy(path.c_str(), path.c_str() + path.size() + 1, copy);
    EXPECT_EQ(OpenSetup(copy), 0);
    EXPECT_EQ(GetRegularFileFlag(), 1);
    delete[] copy;
  }
  EXPECT_EQ(OpenSetup(u""), 1);  // no file name at all
  EXPECT_EQ(GetRegularFileFlag(), 1);
  ASSERT_EQ(chdir(old), 0);
}

TEST_F(OpenSetupTest, OpensSlotZeroWithTheSetupSize) {
  WriteFileBytes(dir_.Path("s.s47"), std::vector<uint8_t>(100, 0x22));
  EXPECT_EQ(Open("s.s47"), 0);
  EXPECT_EQ(GetSlotSize(0), 7500u);
  EXPECT_EQ(GetSlotWord(0, 0), 0xFFFF);
  EXPECT_EQ(GetSlotByte(0, 99), 0);  // a whole block of 1000 was zeroed
}

}  // namespace
}  // namespace s470
