// RS470_Analysis through the host and the real DLL under wine64, against the bus simulator on a
// pseudo-terminal that the prefix sees as a COM port.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "../unit/test_helpers.h"
#include "bus_sim.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

using sim::BusSim;
using sim::SimLine;

const char kDoneBox[] =
    "Attention|The bus analysis is finished. The report Analysis.txt is shown in Notepad.";

// What only the real DLL shows: the export, the Win32 bus port switching parity around the wake
// byte on COM8 (the highest of the table), the report file, Notepad and the box. Numbering,
// faults and failures are proven natively.
TEST(AnalysisWine, OneModuleIsReportedThroughTheWin32BusPort) {
  const std::string dir = FreshDir("analysis");
  const std::string dosdevices = WinePrefix() + "/dosdevices";
  ASSERT_EQ(std::system(("mkdir -p '" + dosdevices + "'").c_str()), 0);
  SimLine line(dosdevices + "/com8");
  BusSim bus(line);
  bus.AddModule({"QLB-mc1", 0x99, 0x05, 123456789});
  bus.Start();
  const HostRun run = RunHost({"analysis", "8", "0x0001"}, dir);
  bus.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Text(ReadBytes(dir + "/Analysis.txt")),
            "QLB-mc1  /  Hardware = V9.9  /  Software = V0.5  /  Ser.Nr. = 123456789\r\n");
  EXPECT_EQ(HostBytes(line), Join({kBusStart, kBusIdentify, {"40 115200 M 2", "BF 115200 M 2"},
                                   kBusIdentify, kBusEnd}));
  EXPECT_EQ(run.messageBoxes, std::vector<std::string>{kDoneBox}) << run.output;
  EXPECT_EQ(Text(ReadBytes(dir + "/notepad-calls.txt")), "notepad analysis.txt\n");
}

}  // namespace
}  // namespace s470::wine
