// The setup-file exports through the real DLL, the Language DLL's file calls and real files
// under Wine.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "wine_harness.h"

namespace s470::wine {
namespace {

// Without an open setup values read 0 and writes go nowhere; a new setup is zeros with word 0
// all ones; values go in little-endian, 8 bits each; a second close writes nothing. Opening
// never changes a file: a text file opened and never closed stays as it was; a longer file is
// cut to the setup's size on closing, its whole 1000-byte blocks zeroed and its tail kept. A
// file too large to read gives 2 and stays; a write-back that fails (a full device) gives 1.
TEST(SetupFileWine, ExportsWorkOnRealFilesAndOpeningLeavesThemAlone) {
  const std::string dir = FreshDir("setup-files");
  std::vector<uint8_t> text(3000), old(8000);
  for (size_t i = 0; i < old.size(); ++i) {
    if (i < text.size()) text[i] = static_cast<uint8_t>('a' + i % 26);
    old[i] = static_cast<uint8_t>(0x11 + i % 200);
  }
  WriteBytes(dir + "/notes.txt", text);
  WriteBytes(dir + "/old.s47", old);
  const std::string huge = "truncate -s 5G '" + dir + "/huge.s47'";
  ASSERT_EQ(std::system((huge + " && ln -s /dev/full '" + dir + "/full.s47'").c_str()), 0);
  const HostRun run = RunHost(Words("get 5 set 5 1 close open no\\such\\folder\\x.s47 open new.s47 "
                                    "get 0 setint 10 0x1234 set 7499 0x1AB getint 7498 close close "
                                    "open notes.txt set 300 7 open old.s47 close open huge.s47 "
                                    "open full.s47 close"),
                              dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.Results(),
            (Lines{"get 5 -> 0", "close -> 0", "open -> 1", "open -> 0", "get 0 -> 255",
                   "getint 7498 -> 43776",  // 0x00 + 256 * 0xAB: 8 bits stored
                   "close -> 0", "close -> 0", "open -> 0", "open -> 0", "close -> 0", "open -> 2",
                   "open -> 0", "close -> 1"}))
      << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;
  std::vector<uint8_t> want(7500, 0);
  want[0] = want[1] = 0xFF;
  want[10] = 0x34;
  want[11] = 0x12;
  want[7499] = 0xAB;
  EXPECT_EQ(ReadBytes(dir + "/new.s47"), want);
  EXPECT_EQ(ReadBytes(dir + "/notes.txt"), text);
  want.assign(old.begin(), old.begin() + 7500);
  std::fill(want.begin(), want.begin() + 7000, 0);
  want[0] = want[1] = 0xFF;
  EXPECT_EQ(ReadBytes(dir + "/old.s47"), want);
  struct stat st {};
  ASSERT_EQ(stat((dir + "/huge.s47").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 5LL << 30);
}

TEST(SetupFileWine, MissingLanguageDllIsReportedAndNothingIsTouched) {
  const std::string dir = FreshDir("setup-nolang");
  // A copy of the program folder without the Language DLLs, which are planted in the current
  // folder instead: a DLL there must never be loaded.
  const std::string bin = dir + "/bin", from = "'" + WineBin() + "/";
  ASSERT_EQ(std::system(("mkdir -p '" + bin + "' && cp " + from + "host.exe' " + from +
                         "s470_pc.dll' '" + bin + "/' && cp " + from + "ORV_LangWinNT.DLL' " +
                         from + "ORV_LangWin95.DLL' '" + dir + "/'")
                            .c_str()),
            0);
  const HostRun run =
      RunHost(Words("open x.s47 read 2 1 setup 1 analysis 2 1 firmware 2 1 qlb 2 1 write 2 1"), dir,
              {}, bin);
  ASSERT_TRUE(run.ended) << run.output;
  // Files are opened through the Language DLL.
  EXPECT_EQ(run.Results(), (Lines{"open -> 1", "read -> 1", "setup -> 0", "write -> 1"}));
  EXPECT_EQ(run.messageBoxes, Lines(6,
                                    "Error|The language library \"ORV_LangWinNT.DLL\" is "
                                    "missing or incomplete. The function cannot be carried out."))
      << run.output;
}

}  // namespace
}  // namespace s470::wine
