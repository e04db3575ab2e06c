// The setup-file exports through the real DLL, the Language DLL's file calls and real files
// under Wine.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <thread>

#include "sim_line.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

// Without an open setup values read 0 and writes go nowhere; a new setup is zeros with word 0
// all ones; values go in little-endian, 8 bits each; a second close writes nothing; a longer
// file is cut to the setup's size, its whole 1000-byte blocks zeroed and its tail kept.
TEST(SetupFileWine, ExportsWorkOnRealFilesAndAreHarmlessWithoutOne) {
  const std::string dir = FreshDir("setup-files");
  std::vector<uint8_t> old(8000);
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(0x11 + i % 200);
  WriteBytes(dir + "/old.s47", old);
  const HostRun run = RunHost(
      {"get", "5", "getint", "5", "set", "5", "1", "close", "open", "no\\such\\folder\\x.s47",
       "open", "new.s47", "get", "0", "get", "1", "setint", "10", "0x1234", "getint", "10", "get",
       "10", "get", "11", "set", "7499", "0x1AB", "get", "7499", "getint", "7498", "close",
       "set", "21", "9", "close", "get", "10", "open", "old.s47", "close"},
      dir);
  ASSERT_TRUE(run.ended) << run.output;
  std::vector<std::string> results;
  for (const auto& l : run.lines)
    if (l.find(" -> ") != std::string::npos) results.push_back(l);
  EXPECT_EQ(results, (std::vector<std::string>{
                         "get 5 -> 0", "getint 5 -> 0", "close -> 0", "open -> 1", "open -> 0",
                         "get 0 -> 255", "get 1 -> 255", "getint 10 -> 4660", "get 10 -> 52",
                         "get 11 -> 18",
                         "get 7499 -> 171",      // only the low 8 bits are stored
                         "getint 7498 -> 43776",  // 0x00 + 256 * 0xAB
                         "close -> 0", "close -> 0", "get 10 -> 0", "open -> 0", "close -> 0"}))
      << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;
  std::vector<uint8_t> want(7500, 0);
  want[0] = want[1] = 0xFF;
  want[10] = 0x34;
  want[11] = 0x12;
  want[7499] = 0xAB;
  EXPECT_EQ(ReadBytes(dir + "/new.s47"), want);
  want.assign(old.begin(), old.begin() + 7500);
  std::fill(want.begin(), want.begin() + 7000, 0);
  want[0] = want[1] = 0xFF;
  EXPECT_EQ(ReadBytes(dir + "/old.s47"), want);
}

// Opening never changes a file: a text file and a longer file stay as they were while the setup
// is open (here: never closed); a file too large to read gives 2 and stays; a write-back that
// fails (a full device) gives 1.
TEST(SetupFileWine, OpeningLeavesFilesAloneAndFailuresAreReported) {
  const std::string dir = FreshDir("setup-untouched");
  std::vector<uint8_t> text(3000), longer(8000);
  for (size_t i = 0; i < longer.size(); ++i) {
    if (i < text.size()) text[i] = static_cast<uint8_t>('a' + i % 26);
    longer[i] = static_cast<uint8_t>(0x11 + i % 200);
  }
  WriteBytes(dir + "/notes.txt", text);
  WriteBytes(dir + "/old.s47", longer);
  ASSERT_EQ(std::system(("truncate -s 5G '" + dir + "/huge.s47' && ln -s /dev/full '" + dir +
                         "/full.s47'").c_str()),
            0);
  const HostRun run = RunHost({"open", "notes.txt", "set", "300", "7", "open", "old.s47", "open",
                               "huge.s47", "open", "full.s47", "close"},
                              dir);
  ASSERT_TRUE(run.ended) << run.output;
  std::vector<std::string> results;
  for (const auto& l : run.lines)
    if (l.find(" -> ") != std::string::npos) results.push_back(l);
  EXPECT_EQ(results, (std::vector<std::string>{"open -> 0", "open -> 0", "open -> 2", "open -> 0",
                                               "close -> 1"}))
      << run.output;
  EXPECT_EQ(ReadBytes(dir + "/notes.txt"), text);
  EXPECT_EQ(ReadBytes(dir + "/old.s47"), longer);
  struct stat st {};
  ASSERT_EQ(stat((dir + "/huge.s47").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 5LL << 30);
}

TEST(SetupFileWine, MissingLanguageDllIsReportedAndNothingIsTouched) {
  const std::string dir = FreshDir("setup-nolang");
  // A copy of the program folder without the Language DLLs, which are planted in the current
  // folder instead: a DLL there must never be loaded.
  const std::string bin = dir + "/bin";
  ASSERT_EQ(std::system(("mkdir -p '" + bin + "' && cp '" + WineBin() + "/host.exe' '" +
                         WineBin() + "/s470_pc.dll' '" + bin + "/' && cp '" + WineBin() +
                         "/ORV_LangWinNT.DLL' '" + WineBin() + "/ORV_LangWin95.DLL' '" + dir + "/'")
                            .c_str()),
            0);
  const HostRun run = RunHostIn(bin, {"open", "x.s47", "read", "2", "1", "setup", "1", "analysis",
                                      "2", "1", "firmware", "2", "1", "qlb", "2", "1", "write", "2",
                                      "1"},
                                dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("open -> 1")) << run.output;  // files are opened through the Language DLL
  EXPECT_TRUE(run.Has("read -> 1"));
  EXPECT_TRUE(run.Has("write -> 1"));
  EXPECT_TRUE(run.Has("setup -> 0"));
  ASSERT_EQ(run.messageBoxes.size(), 6u) << run.output;
  for (const auto& box : run.messageBoxes)
    EXPECT_EQ(box,
              "Error|The language library \"ORV_LangWinNT.DLL\" is missing or incomplete. "
              "The function cannot be carried out.");
}

// The COM link itself, without the DLL: bytes cross the linked pseudo-terminal both ways.
TEST(ComPortWine, BytesCrossTheLinkedPseudoTerminalBothWays) {
  sim::SimLine line(WinePrefix() + "/dosdevices/com7");
  std::thread peer([&] {
    for (int got = 0; got < 3; ++got) {  // answers each byte with its value plus one
      const int b = line.ReadByte(20000);
      if (b < 0) return;
      const uint8_t reply = static_cast<uint8_t>(b + 1);
      line.Write(&reply, 1);
    }
  });
  const HostRun run = RunHost({"comtest", "7", "0a41ff"}, FreshDir("comtest"));
  peer.join();
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("comtest -> 0b4200")) << run.output;
  EXPECT_EQ(line.Bytes('>'), (std::vector<uint8_t>{0x0A, 0x41, 0xFF}));
}

}  // namespace
}  // namespace s470::wine
