// The setup-file exports through the real DLL, the Language DLL's file calls and the Win32 file
// layer on real files under Wine. The slot rules themselves are proven natively.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "wine_harness.h"

namespace s470::wine {
namespace {

// A path into a missing folder gives 1; a new setup is zeros with word 0 all ones, and what is
// set is there after closing (8 bits of it). Opening never changes a file: a text file opened and
// never closed stays as it was; a longer file is cut to the setup's size on closing, its whole
// 1000-byte blocks zeroed and its tail kept. A file too large to read gives 2 and stays; a
// write-back that fails (a full device) gives 1.
TEST(SetupFileWine, ExportsWorkOnRealFilesAndOpeningLeavesThemAlone) {
  const std::string dir = FreshDir("setup-files");
  const std::vector<uint8_t> text(3000, 'a');
  std::vector<uint8_t> old(8000);
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(0x11 + i % 200);
  WriteFileBytes(dir + "/notes.txt", text);
  WriteFileBytes(dir + "/old.s47", old);
  const std::string huge = "truncate -s 5G '" + dir + "/huge.s47'";
  ASSERT_EQ(std::system((huge + " && ln -s /dev/full '" + dir + "/full.s47'").c_str()), 0);
  const HostRun run = RunHost(dir,
                              "open no\\such\\folder\\x.s47 open new.s47 set 7499 0x1AB close "
                              "open notes.txt set 300 7 open old.s47 close open huge.s47 "
                              "open full.s47 close");
  EXPECT_EQ(run.Starting({"open -> ", "close -> "}),
            (Lines{"open -> 1", "open -> 0", "close -> 0", "open -> 0", "open -> 0", "close -> 0",
                   "open -> 2", "open -> 0", "close -> 1"}))
      << run.output;
  EXPECT_EQ(run.Starting({"MSGBOX "}), Lines{}) << run.output;
  std::vector<uint8_t> want(7500, 0);
  want[0] = want[1] = 0xFF;
  want[7499] = 0xAB;
  EXPECT_EQ(ReadFileBytes(dir + "/new.s47"), want);
  EXPECT_EQ(ReadFileBytes(dir + "/notes.txt"), text);
  want.assign(old.begin(), old.begin() + 7500);
  std::fill(want.begin(), want.begin() + 7000, 0);
  want[0] = want[1] = 0xFF;
  EXPECT_EQ(ReadFileBytes(dir + "/old.s47"), want);
  struct stat st {};
  ASSERT_EQ(stat((dir + "/huge.s47").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 5LL << 30);
}

// Every export that needs the Language DLL says so when it is missing. It is looked for in the
// program folder only: the copies planted in the current folder must never be loaded.
TEST(SetupFileWine, MissingLanguageDllIsReportedAndNothingIsTouched) {
  const std::string dir = FreshDir("setup-nolang");
  const std::string bin = ProgramFolder(dir, {});
  for (const char* dll : {"/ORV_LangWinNT.DLL", "/ORV_LangWin95.DLL"})
    WriteFileBytes(dir + dll, ReadFileBytes(WineBin() + dll));
  const HostRun run = RunHost(
      dir, "open x.s47 read 2 1 setup 1 analysis 2 1 firmware 2 1 qlb 2 1 write 2 1", "", {}, bin);
  // Files are opened through the Language DLL.
  EXPECT_EQ(run.Starting({"open -> ", "read -> ", "setup -> ", "write -> "}),
            (Lines{"open -> 1", "read -> 1", "setup -> 0", "write -> 1"}));
  EXPECT_EQ(run.Starting({"MSGBOX "}),
            Lines(6,
                  "MSGBOX Error|The language library \"ORV_LangWinNT.DLL\" is missing or "
                  "incomplete. The function cannot be carried out."))
      << run.output;
}

}  // namespace
}  // namespace s470::wine
