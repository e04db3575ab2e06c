// The setup-file exports through the real DLL under wine64.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <thread>

#include "wine_harness.h"

namespace s470::wine {
namespace {

std::vector<uint8_t> FreshSetup() {
  std::vector<uint8_t> bytes(7500, 0);
  bytes[0] = bytes[1] = 0xFF;
  return bytes;
}

TEST(SetupFileWine, NewFileIsZeroedWithWordZeroAllOnesAndValuesRoundTrip) {
  const std::string dir = FreshDir("setup-new");
  const HostRun run = RunHost({"open", "new.s47", "get", "0", "get", "1", "setint", "10", "0x1234",
                               "getint", "10", "get", "10", "get", "11", "set", "7499", "0x1AB",
                               "get", "7499", "getint", "7498", "close", "close"},
                              dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("open -> 0")) << run.output;
  EXPECT_TRUE(run.Has("get 0 -> 255"));
  EXPECT_TRUE(run.Has("get 1 -> 255"));
  EXPECT_TRUE(run.Has("getint 10 -> 4660"));
  EXPECT_TRUE(run.Has("get 10 -> 52"));
  EXPECT_TRUE(run.Has("get 11 -> 18"));
  EXPECT_TRUE(run.Has("get 7499 -> 171"));      // only the low 8 bits are stored
  EXPECT_TRUE(run.Has("getint 7498 -> 43776"));  // 0x00 + 256 * 0xAB
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;
  std::vector<uint8_t> want = FreshSetup();
  want[10] = 0x34;
  want[11] = 0x12;
  want[7499] = 0xAB;
  EXPECT_EQ(ReadBytes(dir + "/new.s47"), want);
}

TEST(SetupFileWine, LongFileIsCutToSetupSizeKeepingTheTail) {
  const std::string dir = FreshDir("setup-long");
  std::vector<uint8_t> old(8000);
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(0x11 + i % 200);
  WriteBytes(dir + "/old.s47", old);
  const HostRun run = RunHost({"open", "old.s47", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("open -> 0"));
  std::vector<uint8_t> want(old.begin(), old.begin() + 7500);
  std::fill(want.begin(), want.begin() + 7000, 0);
  want[0] = want[1] = 0xFF;
  EXPECT_EQ(ReadBytes(dir + "/old.s47"), want);
}

TEST(SetupFileWine, ClosingTwiceChangesNothingAndValuesWithoutSetupAreHarmless) {
  const std::string dir = FreshDir("setup-twice");
  const HostRun run = RunHost({"get", "5", "getint", "5", "set", "5", "1", "close", "open", "a.s47",
                               "set", "20", "7", "close", "set", "21", "9", "close", "get", "20"},
                              dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("get 5 -> 0"));
  EXPECT_TRUE(run.Has("getint 5 -> 0"));
  EXPECT_TRUE(run.Has("get 20 -> 0"));  // slot 0 is closed again
  std::vector<uint8_t> want = FreshSetup();
  want[20] = 7;
  EXPECT_EQ(ReadBytes(dir + "/a.s47"), want);
}

TEST(SetupFileWine, UnopenablePathGivesOne) {
  const std::string dir = FreshDir("setup-bad");
  const HostRun run = RunHost({"open", "no\\such\\folder\\x.s47"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("open -> 1")) << run.output;
}

TEST(SetupFileWine, MissingLanguageDllIsReportedAndNothingIsTouched) {
  const std::string dir = FreshDir("setup-nolang");
  // A copy of the program folder without the Language DLLs.
  const std::string bin = dir + "/bin";
  ASSERT_EQ(std::system(("mkdir -p '" + bin + "' && cp '" + Win64Bin() + "/host.exe' '" +
                         Win64Bin() + "/s470_pc.dll' '" + bin + "/'").c_str()),
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

TEST(ComPortWine, BytesCrossThePseudoTerminalBothWays) {
  PtyPort port(7);
  std::thread peer([&] {
    // Answer each byte with its value plus one.
    for (int got = 0; got < 3;) {
      pollfd p{port.master(), POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0) return;
      uint8_t b = 0;
      if (read(port.master(), &b, 1) != 1) return;
      const uint8_t reply = static_cast<uint8_t>(b + 1);
      if (write(port.master(), &reply, 1) != 1) return;
      ++got;
    }
  });
  const HostRun run = RunHost({"comtest", "7", "0a41ff"}, FreshDir("comtest"));
  peer.join();
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("comtest -> 0b4200")) << run.output;
}

}  // namespace
}  // namespace s470::wine
