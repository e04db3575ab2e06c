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
// keeping its end-of-file character; the report file, Notepad and the box; a COM port that
// cannot be opened. Numbering, faults and failures are proven natively.
TEST(AnalysisWine, OneModuleIsReportedThroughTheWin32BusPort) {
  const std::string dir = FreshDir("analysis");
  sim::SimLine line(ComLinkPath(8));
  LeaveDriverSettings(line.slavePath());
  sim::BusSim bus(line);
  bus.AddModule({"QLB-mc1", 0x99, 0x05, 123456789});
  bus.Start();
  std::vector<uint8_t> setup(7500);
  for (size_t i = 0; i < setup.size(); ++i) setup[i] = static_cast<uint8_t>(i * 7 + 3);
  WriteBytes(dir + "/kept.s47", setup);
  const HostRun run = RunHost(
      Words("open kept.s47 threads analysis 8 0x0001 threads analysis 7 0x0001 close"), dir);
  bus.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Text(ReadBytes(dir + "/Analysis.txt")),
            "QLB-mc1  /  Hardware = V9.9  /  Software = V0.5  /  Ser.Nr. = 123456789\r\n");
  EXPECT_EQ(
      HostBytes(line),
      Join({kBusStart, kBusIdentify, {"40 115200 M 2", "BF 115200 M 2"}, kBusIdentify, kBusEnd}));
  EXPECT_EQ(DriverSettings(line.slavePath()), "flow xon 11 xoff 13 eof 1a");
  EXPECT_EQ(run.messageBoxes,
            (Lines{"Attention|The work on the QLBus is finished.",
                   "Error|No connection to the ORV module. Please check the cable, the COM port "
                   "and the power supply of the S470, then try again."}))
      << run.output;
  EXPECT_EQ(Text(ReadBytes(dir + "/notepad-calls.txt")), "notepad analysis.txt\n");
  EXPECT_EQ(ReadBytes(dir + "/kept.s47"), setup);
  // Every tick thread has ended when the export returns: the host may free the DLL at once.
  Lines threads;
  for (const auto& l : run.lines)
    if (l.rfind("threads -> ", 0) == 0) threads.push_back(l);
  ASSERT_EQ(threads.size(), 2u) << run.output;
  EXPECT_EQ(threads[0], threads[1]);
}

}  // namespace
}  // namespace s470::wine
