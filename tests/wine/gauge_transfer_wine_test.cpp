// RS470_ReadFile and RS470_WriteFile through the host and the real DLL under wine64, against
// the simulated gauge on pseudo-terminals linked as COM2, COM3, COM4 and COM12. The protocol
// byte by byte is proven natively; these show what only the real DLL can: the Win32 port with
// one- and two-digit numbers and real time-outs, the dialog and boxes, the setup file on disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../unit/gauge_test_helpers.h"
#include "gauge_sim.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

using namespace gauge_test;
using sim::GaugeConfig;
using sim::GaugeMemory;
using sim::GaugeSim;
using sim::GaugeSimRunner;
using Lines = std::vector<std::string>;

// A simulated gauge on COM<n> of the Wine prefix, for the length of one test.
struct GaugeOnCom {
  GaugeSim sim;
  std::unique_ptr<GaugeSimRunner> runner;
  GaugeOnCom(int com, GaugeConfig config, const GaugeMemory& memory) : sim(std::move(config)) {
    sim.SetMemory(memory);
    runner = std::make_unique<GaugeSimRunner>(
        sim, WinePrefix() + "/dosdevices/com" + std::to_string(com));
  }
  Bytes Heard() {  // everything the host sent, once the gauge has stopped
    runner->Stop();
    return runner->Bytes('>');
  }
};

// What the host printed for each command ("read -> 1", ...), in order.
Lines Results(const HostRun& run) {
  Lines results;
  for (const auto& l : run.lines)
    if (l.find(" -> ") != std::string::npos && l.rfind("DIALOG ", 0) != 0) results.push_back(l);
  return results;
}

// The texts of the message boxes the host answered, in order.
Lines Boxes(const HostRun& run) {
  Lines texts;
  for (const auto& box : run.messageBoxes) texts.push_back(box.substr(box.find('|') + 1));
  return texts;
}

class GaugeTransferWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The links go into the prefix's dosdevices: the prefix must exist first.
    struct stat st {};
    if (stat((WinePrefix() + "/.s470-ready").c_str(), &st) != 0) RunHost({}, FreshDir("gauge-prefix"));
  }
};

TEST_F(GaugeTransferWine, ReadStoresTheGaugeSetupAndModuleTypeOnComTwoTwelveAndThree) {
  GaugeConfig ae1, im2, other;
  im2.identification = "R/S470-im2";
  other.identification = "QLB-mc1 V2.1";
  GaugeOnCom com2(2, ae1, PatternedGauge(1)), com12(12, im2, PatternedGauge(2)),
      com3(3, other, PatternedGauge(3));
  const std::string dir = FreshDir("gauge-read");
  for (const char* f : {"/a.s47", "/b.s47", "/c.s47"}) WriteBytes(dir + f, PatternedSetup());
  const HostRun run = RunHost({"open", "a.s47", "read", "2", "0x0001", "close", "open", "b.s47",
                               "read", "12", "0x0001", "close", "open", "c.s47", "read", "3",
                               "0x0001", "close"},
                              dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Results(run), (Lines{"open -> 0", "read -> 0", "close -> 0", "open -> 0", "read -> 0",
                                 "close -> 0", "open -> 0", "read -> 0", "close -> 0"}))
      << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;

  const struct {
    const char* file;
    GaugeOnCom* gauge;
    uint8_t type;
  } cases[] = {{"/a.s47", &com2, 1}, {"/b.s47", &com12, 2}, {"/c.s47", &com3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(ReadBytes(dir + c.file), SetupAfterRead(PatternedSetup(), c.gauge->sim.Memory(), c.type));
    EXPECT_EQ(c.gauge->Heard(), Cat({ReadStart(), kEndCommandBytes}));
    for (const auto& e : c.gauge->runner->Log()) ASSERT_EQ(e.line.ToString(), "4800 N 2");
    EXPECT_TRUE(c.gauge->sim.Stats().violations.empty());
  }

  // The progress dialog showed its progress lines, as far as the host saw them (it may also
  // catch the template's empty text before the first one).
  const Lines shown = ProgressLines();
  const std::set<std::string> known(shown.begin(), shown.end());
  int progress = 0;
  for (const auto& l : run.lines) {
    const std::string prefix = "DIALOG Read setup from the ORV S470 gauge|100=";
    if (l.rfind(prefix, 0) != 0) continue;
    const std::string text = l.substr(prefix.size());
    ++progress;
    EXPECT_TRUE(text.empty() || known.count(text) == 1) << text;
  }
  EXPECT_GT(progress, 0) << run.output;
}

// Channel records whose bytes +65 and +66 are both 0 get 0x80 at +66 before the transfer, in
// the setup and in the gauge.
TEST_F(GaugeTransferWine, WriteLeavesTheImageInTheGaugeWithChannelDefaults) {
  GaugeOnCom com3(3, GaugeConfig{}, PatternedGauge(4));
  const std::string dir = FreshDir("gauge-write");
  Bytes file = PatternedSetup();
  SetChannelBytes(file, {{0, 0}, {0, 5}, {1, 0}, {0, 0}, {3, 3}, {0, 0}, {0, 0x7F}, {0, 0}});
  WriteBytes(dir + "/w.s47", file);
  const HostRun run = RunHost({"open", "w.s47", "write", "3", "0x0001", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Results(run), (Lines{"open -> 0", "write -> 0", "close -> 0"})) << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;

  Bytes want = file;
  for (int k : {0, 3, 5, 7}) want[384 + 80 * k + 66] = 0x80;
  EXPECT_EQ(ReadBytes(dir + "/w.s47"), want);  // the defaults stay in the setup
  EXPECT_EQ(AsBytes(com3.sim.Memory()), Bytes(want.begin() + 256, want.begin() + 1024));
  EXPECT_EQ(com3.sim.Stats().writesCompleted, 1);
  EXPECT_EQ(com3.Heard(), Cat({WriteStart(), WithChecksums(&want[256]), kEndCommandBytes}));
  EXPECT_TRUE(com3.sim.Stats().violations.empty());
}

// Transfers that cannot run lose nothing. Without an open setup neither talks to the gauge (a
// read would be thrown away, a write would send zeros over the gauge's setup). When no gauge can
// be reached (nothing is linked as COM12), the channel defaults, which go into the setup before
// the transfer, stay there.
TEST_F(GaugeTransferWine, TransfersThatCannotRunLoseNothing) {
  GaugeOnCom com4(4, GaugeConfig{}, PatternedGauge(2));
  const std::string dir = FreshDir("gauge-cannot-run");
  Bytes file = PatternedSetup();
  SetChannelBytes(file, {{9, 9}, {9, 9}, {0, 0}, {9, 9}, {9, 9}, {9, 9}, {9, 9}, {9, 9}});
  WriteBytes(dir + "/n.s47", file);
  const HostRun run = RunHost({"read", "4", "1", "write", "4", "1", "open", "n.s47", "write", "12",
                               "1", "close", "write", "4", "1"},
                              dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Results(run), (Lines{"read -> 1", "write -> 1", "open -> 0", "write -> 1", "close -> 0",
                                 "write -> 1"}))
      << run.output;
  const std::string noSetup = "No setup file is open. Open a setup file first.";
  EXPECT_EQ(Boxes(run), (Lines{noSetup, noSetup, kNoConnection, noSetup}));
  file[384 + 80 * 2 + 66] = 0x80;
  EXPECT_EQ(ReadBytes(dir + "/n.s47"), file);
  EXPECT_EQ(com4.sim.Memory(), PatternedGauge(2));
  EXPECT_TRUE(com4.Heard().empty());
}

// The line hangs up in block 30 of the first read: text 1004, the setup file as it was, and the
// port free again for the next command, whose read (into another setup) goes through.
TEST_F(GaugeTransferWine, HangUpInAReadShows1004KeepsTheSetupAndFreesThePort) {
  GaugeConfig config;
  config.faults.hangUpBlock = 30;
  config.faults.sessions = 1;
  config.pace = true;
  GaugeOnCom com4(4, config, PatternedGauge(6));
  const std::string dir = FreshDir("gauge-hangup");
  WriteBytes(dir + "/h.s47", PatternedSetup());
  WriteBytes(dir + "/g.s47", PatternedSetup());
  const HostRun run =
      RunHost({"open", "h.s47", "read", "4", "1", "close", "open", "g.s47", "read", "4", "1", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Results(run), (Lines{"open -> 0", "read -> 1", "close -> 0", "open -> 0", "read -> 0",
                                 "close -> 0"}))
      << run.output;
  EXPECT_EQ(Boxes(run), Lines{kNoConnection});
  EXPECT_EQ(ReadBytes(dir + "/h.s47"), PatternedSetup());
  EXPECT_EQ(ReadBytes(dir + "/g.s47"), SetupAfterRead(PatternedSetup(), PatternedGauge(6), 1));
  EXPECT_EQ(com4.runner->hangUps(), 1);
}

// The one real-time silent gauge: 101 wake-up pairs, 300 ms apart, then 1004 (about 30 s).
TEST_F(GaugeTransferWine, SilentGaugeGets101WakePairsThen1004) {
  GaugeConfig config;
  config.faults.silent = true;
  GaugeOnCom com2(2, config, PatternedGauge(9));
  const std::string dir = FreshDir("gauge-silent");
  WriteBytes(dir + "/s.s47", PatternedSetup());
  const auto t0 = std::chrono::steady_clock::now();
  const HostRun run = RunHost({"open", "s.s47", "read", "2", "1", "close"}, dir);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Results(run), (Lines{"open -> 0", "read -> 1", "close -> 0"})) << run.output;
  EXPECT_EQ(Boxes(run), Lines{kNoConnection});
  EXPECT_EQ(ReadBytes(dir + "/s.s47"), PatternedSetup());
  EXPECT_EQ(com2.Heard(), Repeat({0xC9, 0x8D}, 101));
  EXPECT_GE(s, 101 * 0.3);
  EXPECT_LT(s, 60);
}

}  // namespace
}  // namespace s470::wine
