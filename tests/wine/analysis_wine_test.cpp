// RS470_Analysis through the host and the real DLL under Wine, against the bus simulator on a
// pseudo-terminal that the prefix sees as a COM port.
#include <gtest/gtest.h>

#include <string>

#include "../unit/test_helpers.h"
#include "bus_sim.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

// What only the real DLL shows: the export; the Win32 bus port on COM8 (the highest of the
// table) switching parity around the wake byte, reopened with the same parity (which Wine on a
// pty refuses as a change of nothing), turning off the flow control a driver had left on and
// keeping its end-of-file character; the report file, Notepad and the box. Numbering, faults and
// failures are proven natively. (The tick thread's end before the export returns cannot be seen
// from the host: the thread leaves within a tick even when nobody waits for it.)
TEST(AnalysisWine, OneModuleIsReportedThroughTheWin32BusPort) {
  const std::string dir = FreshDir("analysis");
  sim::SimLine line(ComLinkPath(8));
  LeaveDriverSettings(line.slavePath());
  sim::BusSim bus(line);
  bus.AddModule({"QLB-mc1", 0x99, 0x05, 123456789});
  bus.Start();
  const HostRun run = RunHost(dir, "analysis 8 0x0001");
  bus.Stop();
  EXPECT_EQ(Text(ReadFileBytes(dir + "/Analysis.txt")),
            "QLB-mc1  /  Hardware = V9.9  /  Software = V0.5  /  Ser.Nr. = 123456789\r\n");
  EXPECT_EQ(
      HostBytes(line),
      Join({kBusStart, kBusIdentify, {"40 115200 M 2", "BF 115200 M 2"}, kBusIdentify, kBusEnd}));
  EXPECT_EQ(DriverSettings(line.slavePath()),
            "eof = ^Z start = ^Q stop = ^S -crtscts -ixon -ixoff");
  EXPECT_EQ(run.Starting({"MSGBOX "}), Lines{"MSGBOX Attention|The work on the QLBus is finished."})
      << run.output;
  EXPECT_EQ(Text(ReadFileBytes(dir + "/notepad-calls.txt")), "notepad analysis.txt\n");
}

}  // namespace
}  // namespace s470::wine
