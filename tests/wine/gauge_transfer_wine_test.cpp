// RS470_ReadFile and RS470_WriteFile through the host and the real DLL under Wine, against the
// simulated gauge on pseudo-terminals linked as COM ports. The protocol byte by byte, time-outs
// and silent gauges are proven natively; this shows what only the real DLL can: the Win32 port
// with one- and two-digit numbers, a line that hangs up, the dialog and boxes, the file on disk.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../unit/gauge_test_helpers.h"
#include "gauge_sim.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

using namespace gauge_test;
using sim::GaugeConfig;

// Reads through the Win32 port on a one- and a two-digit COM number (what the port keeps of the
// driver's settings is shown by the analysis, on the same Win32 port), under the progress dialog
// with the transfer's title; the gauge's setup and module type go into the file (the bytes of a
// read are proven natively, so one file shows it: the second gauge's). Transfers that cannot run
// lose nothing: without an open setup neither talks to the gauge (a read would be thrown away,
// a write would send zeros over the gauge's setup); a COM port that cannot be opened (nothing
// is linked as COM13) gives 1004, and the channel defaults, which go into the setup before the
// transfer, stay there. A line that hangs up in block 30 gives 1004, leaves the setup as it
// was and frees the port for the next read, which goes through.
TEST(GaugeTransferWine, ReadsOnComTwoAndTwelveAndTransfersThatCannotRunOrBreakOffLoseNothing) {
  GaugeConfig ae1, im2;
  im2.identification = "R/S470-im2";
  im2.faults.hangUpBlock = 30;
  im2.faults.sessions = 1;
  sim::GaugeSim gauge2(ae1), gauge12(im2);
  gauge2.SetMemory(PatternedGauge(1));
  gauge12.SetMemory(PatternedGauge(2));
  sim::GaugeSimRunner com2(gauge2, ComLinkPath(2)), com12(gauge12, ComLinkPath(12));
  const std::string dir = FreshDir("gauge");
  Bytes file = PatternedSetup();
  SetChannelBytes(file, {{9, 9}, {9, 9}, {0, 0}, {9, 9}, {9, 9}, {9, 9}, {9, 9}, {9, 9}});
  WriteFileBytes(dir + "/n.s47", file);
  for (const char* f : {"/a.s47", "/b.s47"}) WriteFileBytes(dir + f, PatternedSetup());
  const HostRun run = RunHost(dir,
                              "read 2 1 write 2 1 open n.s47 write 13 1 read 12 1 close "
                              "open a.s47 read 2 1 close open b.s47 read 12 1 close");
  EXPECT_EQ(run.Starting({"read -> ", "write -> ", "open -> ", "close -> "}),
            (Lines{"read -> 1", "write -> 1", "open -> 0", "write -> 1", "read -> 1", "close -> 0",
                   "open -> 0", "read -> 0", "close -> 0", "open -> 0", "read -> 0", "close -> 0"}))
      << run.output;
  const std::string noSetup = "MSGBOX Error|No setup file is open. Open a setup file first.";
  const std::string noLink = std::string("MSGBOX Error|") + kNoConnection;
  EXPECT_EQ(run.Starting({"MSGBOX "}), (Lines{noSetup, noSetup, noLink, noLink})) << run.output;
  file[384 + 80 * 2 + 66] = 0x80;
  EXPECT_EQ(ReadFileBytes(dir + "/n.s47"), file);
  EXPECT_EQ(ReadFileBytes(dir + "/b.s47"), SetupAfterRead(PatternedSetup(), PatternedGauge(2), 2));
  EXPECT_EQ(com12.hangUps(), 1);
  com2.Stop();
  EXPECT_EQ(com2.Bytes('>'), Join({ReadStart(), kEndCommandBytes}));  // none before
  EXPECT_FALSE(run.Starting({"DIALOG Read setup from the ORV S470 gauge|100="}).empty())
      << run.output;
}

}  // namespace
}  // namespace s470::wine
