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
// keeping its end-of-file character; the report file, Notepad and the box; the tick thread gone
// when the export returns. Numbering, faults and failures are proven natively.
TEST(AnalysisWine, OneModuleIsReportedThroughTheWin32BusPort) {
  const std::string dir = FreshDir("analysis");
  sim::SimLine line(ComLinkPath(8));
  LeaveDriverSettings(line.slavePath());
  sim::BusSim bus(line);
  bus.AddModule({"QLB-mc1", 0x99, 0x05, 123456789});
  bus.Start();
  const HostRun run = RunHost(dir, "threads analysis 8 0x0001 threads");
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
  // Every tick thread has ended when the export returns: the host may free the DLL at once.
  const Lines threads = run.Starting({"threads -> "});
  ASSERT_EQ(threads.size(), 2u) << run.output;
  EXPECT_EQ(threads[0], threads[1]);
}

}  // namespace
}  // namespace s470::wine
