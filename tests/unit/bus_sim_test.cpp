// The bus simulator that the analysis tests stand on: its options, its identity blocks, the
// module line rules it keeps, pacing and faults, and the program the demo starts.
#include "bus_sim.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <tuple>

#include "serial/bus_ops.h"
#include "serial/bus_port.h"
#include "test_files.h"
#include "test_helpers.h"

namespace s470 {
namespace {

using sim::BusFault;
using sim::BusFaultKind;
using sim::BusSim;
using sim::SimLine;
using sim::SimModule;

TEST(BusSimOptions, ModulesAndFaultsParseOrAreRefused) {
  using Module = std::tuple<std::string, int, int, uint32_t, bool>;
  const auto module = [](const char* text) {
    SimModule m;
    EXPECT_TRUE(sim::ParseSimModule(text, &m)) << text;
    return Module{m.name, m.hardware, m.software, m.serial, m.bootloader};
  };
  EXPECT_EQ(module("QLB-mc1,0x10,35,4711"), Module("QLB-mc1", 0x10, 35, 4711, false));
  EXPECT_EQ(module("B,1,2,4294967295,boot"), Module("B", 1, 2, 4294967295u, true));
  SimModule m;
  for (const char* bad : {"", "A,1,2", "A,1,2,3,boat", "A,256,1,1", "A,1,x,1", "ABCDEFGHI,1,1,1",
                          ",1,1,1", "A,1,1,4294967296", "A,1,1,-1", "A,1,1,1,boot,x"})
    EXPECT_FALSE(sim::ParseSimModule(bad, &m)) << bad;

  using Fault = std::tuple<BusFaultKind, int, int, int>;  // kind, module, times, after
  const auto fault = [](const char* text) {
    BusFault f;
    EXPECT_TRUE(sim::ParseBusFault(text, &f)) << text;
    return Fault{f.kind, f.module, f.times, f.after};
  };
  EXPECT_EQ(fault("wrongack:1:3"), Fault(BusFaultKind::kWrongAck, 1, 3, 0));
  EXPECT_EQ(fault("noack"), Fault(BusFaultKind::kNoAck, 0, -1, 0));
  EXPECT_EQ(fault("hangup:12"), Fault(BusFaultKind::kHangUp, 0, -1, 12));
  EXPECT_EQ(fault("neverquiet"), Fault(BusFaultKind::kNeverQuiet, 0, -1, 0));
  EXPECT_EQ(fault("truncated:2"), Fault(BusFaultKind::kTruncated, 2, -1, 0));
  BusFault f;
  for (const char* bad : {"", "silence", "noack:1:2", "neverquiet:1", "wrongack:x", "hangup:-1",
                          "truncated:1:2:3"})
    EXPECT_FALSE(sim::ParseBusFault(bad, &f)) << bad;
}

TEST(BusSimModules, IdentityBlockLayout) {
  const std::vector<uint8_t> app = sim::IdentityBlock({"QLB", 0x12, 0x34, 0x01020304});
  ASSERT_EQ(app.size(), 48u);
  EXPECT_EQ(app[0], 0x02);
  EXPECT_EQ(std::vector<uint8_t>(app.begin() + 24, app.begin() + 32),
            (std::vector<uint8_t>{'Q', 'L', 'B', 0, 0, 0, 0, 0}));
  EXPECT_EQ(app[32], 0x12);
  EXPECT_EQ(app[33], 0x34);
  EXPECT_EQ(std::vector<uint8_t>(app.begin() + 36, app.begin() + 40),
            (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(sim::IdentityBlock({"QLB", 0x12, 0x34, 1, true})[0], 0x01);
}

// The simulator against the bus operations on COM5 of the POSIX device.
class BusSimLine : public ::testing::Test {
 protected:
  void SetUp() override { setenv("S470_COM5", line.slavePath().c_str(), 1); }
  void TearDown() override {
    CloseBusPort(5);
    sim.Stop();
  }
  // Sends the bytes and returns what comes back within 100 ms of quiet.
  std::vector<uint8_t> Exchange(std::vector<uint8_t> bytes) {
    BusSend(5, bytes.data(), static_cast<int16_t>(bytes.size()));
    std::vector<uint8_t> got;
    uint8_t b[2];
    while (BusTransact(5, 1, 0, 100, b, sizeof b) == 0) got.push_back(b[0]);
    return got;
  }
  // The identify command's echo, then the module's answer.
  static std::vector<uint8_t> Identified(const SimModule& m) {
    return Join({{0x00, 0x02, 0xFD, 0x00}, sim::IdentityBlock(m)});
  }

  SimLine line;
  BusSim sim{line};
};

TEST_F(BusSimLine, ModulesAnswerIdentifyInOrderOnlyAfterTheWakeByteWithMarkParity) {
  const SimModule a{"A", 0x10, 0x11, 1}, b{"B", 0x20, 0x21, 2};
  sim.AddModule(a);
  sim.AddModule(b);
  sim.Start();
  ASSERT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 0);
  // Without the wake byte the command is only echoed.
  EXPECT_EQ(Exchange({0x02, 0xFD}), (std::vector<uint8_t>{0x02, 0xFD}));
  EXPECT_EQ(Exchange({0x00, 0x02, 0xFD}), Identified(a));
  // Asked again before it has a number, the same module answers.
  EXPECT_EQ(Exchange({0x00, 0x02, 0xFD}), Identified(a));
  EXPECT_EQ(Exchange({0x40, 0xBF}), (std::vector<uint8_t>{0x40, 0xBF, 0x00}));
  EXPECT_EQ(Exchange({0x00, 0x02, 0xFD}), Identified(b));
  // Not a pair: no answer and no number.
  EXPECT_EQ(Exchange({0x41, 0xBF}), (std::vector<uint8_t>{0x41, 0xBF}));
  EXPECT_EQ(Exchange({0x00, 0x02, 0xFD}), Identified(b));
  EXPECT_EQ(Exchange({0x41, 0xBE}), (std::vector<uint8_t>{0x41, 0xBE, 0x00}));
  EXPECT_EQ(Exchange({0x00, 0x02, 0xFD}), (std::vector<uint8_t>{0x00, 0x02, 0xFD}));
  // Numbering with no module just identified: silence.
  EXPECT_EQ(Exchange({0x42, 0xBD}), (std::vector<uint8_t>{0x42, 0xBD}));
  EXPECT_EQ(sim.Numbers(), (std::vector<int>{0, 1}));
  CloseBusPort(5);

  // 0x00 with space parity is no wake byte.
  ASSERT_EQ(OpenBusPort(5, 115200, 3, 8, 2, 1, 1), 0);
  EXPECT_EQ(Exchange({0x00, 0x81}), (std::vector<uint8_t>{0x00, 0x81}));
  CloseBusPort(5);
  // At 4800 baud nothing comes back.
  ASSERT_EQ(OpenBusPort(5, 4800, 0, 8, 2, 1, 1), 0);
  EXPECT_TRUE(Exchange({0x09, 0x0D, 0x13, 0x00}).empty());
  CloseBusPort(5);
  // The bus start makes every module forget its number.
  ASSERT_EQ(OpenBusPort(5, 115200, kParityWake, 8, 2, 1, 1), 0);
  EXPECT_EQ(Exchange({0x81}), (std::vector<uint8_t>{0x81}));
  CloseBusPort(5);
  ASSERT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 0);
  EXPECT_EQ(Exchange({0x00, 0x02, 0xFD}), Identified(a));
  EXPECT_EQ(sim.Numbers(), (std::vector<int>{0, 1}));  // the last numbers taken stay on record
}

TEST_F(BusSimLine, PacedAnswerTakesTheLineTimeOfItsBytes) {
  sim.AddModule({"A", 0x10, 0x11, 1});
  sim.SetPacing(true);
  sim.Start();
  ASSERT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 0);
  ASSERT_EQ(Exchange({0x00, 0x02, 0xFD}).size(), 3u + 49u);
  double firstEcho = -1, last = -1;
  for (const auto& e : line.Log())
    if (e.direction == '<' && e.line.baud == 115200) {
      if (firstEcho < 0) firstEcho = e.ms;
      last = e.ms;
    }
  // 52 bytes at 11 bits each after the first echo: 51 byte times at least.
  EXPECT_GE(last - firstEcho, 51 * 11000.0 / 115200 - 0.01);
  EXPECT_LT(last - firstEcho, 40);
}

TEST_F(BusSimLine, LineThatNeverFallsQuietKeepsSendingAt115200Only) {
  sim.AddFault({BusFaultKind::kNeverQuiet});
  sim.Start();
  ASSERT_EQ(OpenBusPort(5, 4800, 0, 8, 2, 1, 1), 0);
  uint8_t b[2];
  EXPECT_EQ(BusTransact(5, 1, 0, 150, b, sizeof b), 1);
  CloseBusPort(5);
  ASSERT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 0);
  uint8_t noise[41];
  ASSERT_EQ(BusTransact(5, 40, 0, 50, noise, sizeof noise), 0);  // no gap of a tick in 40 bytes
  EXPECT_EQ(std::vector<uint8_t>(noise, noise + 40), std::vector<uint8_t>(40, 0x55));
}

const std::string kBusSimProgram = std::string(S470_NATIVE_BIN) + "/bus_sim";

TEST(BusSimProgram, LinksTheLineSaysReadyAnswersAndRemovesTheLinkWhenKilled) {
  const std::string& program = kBusSimProgram;
  if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << program << " is not built";
  TempDir dir;
  const std::string link = dir.Path("com5");
  const std::string out = dir.Path("out.txt");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (freopen(out.c_str(), "w", stdout) == nullptr) _exit(9);
    execl(program.c_str(), "bus_sim", "--link", link.c_str(), "--module", "QLB-mc1,0x10,0x23,4711",
          "--pace", nullptr);
    _exit(9);
  }
  for (int i = 0; i < 200 && ReadFileBytes(out).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::vector<uint8_t> said = ReadFileBytes(out);
  EXPECT_EQ(std::string(said.begin(), said.end()), "ready\n");
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << target;

  setenv("S470_COM5", link.c_str(), 1);
  ASSERT_EQ(OpenBusPort(5, 115200, 4, 8, 2, 1, 1), 0);
  const uint8_t identify[] = {0x00, 0x02, 0xFD};
  EXPECT_EQ(BusSendEcho(5, identify, 3, 0), 0);
  uint8_t answer[50];
  EXPECT_EQ(BusTransact(5, 49, 0, 300, answer, sizeof answer), 0);
  EXPECT_EQ(answer[0], 0x00);
  EXPECT_EQ(answer[1 + 24], 'Q');
  CloseBusPort(5);

  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(access(link.c_str(), F_OK), 0);  // the link is gone
}

TEST(BusSimProgram, RefusesBadOptions) {
  const std::string& program = kBusSimProgram;
  if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << program << " is not built";
  for (const char* args : {"", "--module A,1,1,1", "--link /tmp/x --module A,1", "--link /tmp/x --fault x",
                           "--link /tmp/x --bogus"}) {
    const int status = std::system((program + " " + args + " 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args;
  }
}

}  // namespace
}  // namespace s470
