// RS470_ReadFile and RS470_WriteFile through the host and the real DLL under wine64, against
// the simulated gauge on pseudo-terminals linked as COM2, COM3, COM4 and COM12. The protocol
// byte by byte, time-outs and silent gauges are proven natively; these show what only the real
// DLL can: the Win32 port with one- and two-digit numbers, the dialog and boxes, the setup file
// on disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

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

// One- and two-digit COM numbers through the Win32 port, the module type into the file, and the
// progress dialog's lines as far as the host saw them (it may also catch the template's empty
// text before the first one).
TEST_F(GaugeTransferWine, ReadStoresTheGaugeSetupAndModuleTypeOnComTwoAndTwelve) {
  GaugeConfig ae1, im2;
  im2.identification = "R/S470-im2";
  GaugeOnCom com2(2, ae1, PatternedGauge(1)), com12(12, im2, PatternedGauge(2));
  const std::string dir = FreshDir("gauge-read");
  for (const char* f : {"/a.s47", "/b.s47"}) WriteBytes(dir + f, PatternedSetup());
  const HostRun run = RunHost(
      {"open", "a.s47", "read", "2", "0x0001", "close", "open", "b.s47", "read", "12", "0x0001", "close"}, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Results(run), (Lines{"open -> 0", "read -> 0", "close -> 0", "open -> 0", "read -> 0", "close -> 0"}))
      << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;
  EXPECT_EQ(ReadBytes(dir + "/a.s47"), SetupAfterRead(PatternedSetup(), PatternedGauge(1), 1));
  EXPECT_EQ(ReadBytes(dir + "/b.s47"), SetupAfterRead(PatternedSetup(), PatternedGauge(2), 2));
  EXPECT_EQ(com12.Heard(), Cat({ReadStart(), kEndCommandBytes}));
  const Lines shown = ProgressLines();
  const std::set<std::string> known(shown.begin(), shown.end());
  const std::string prefix = "DIALOG Read setup from the ORV S470 gauge|100=";
  int progress = 0;
  for (const auto& l : run.lines) {
    if (l.rfind(prefix, 0) != 0) continue;
    ++progress;
    EXPECT_TRUE(l.size() == prefix.size() || known.count(l.substr(prefix.size())) == 1) << l;
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

}  // namespace
}  // namespace s470::wine
