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
const char kPortFailureBox[] =
    "Error|No connection to the ORV module. Please check the cable, the COM port and the power "
    "supply of the S470, then try again.";
const char kBootloaderBox[] = "Error|One QLBus module is in the QLB-bootloader mode";

// The simulator on COM<n> of the prefix, served from a thread of this process.
struct BusOnCom {
  SimLine line;
  BusSim sim{line};
  explicit BusOnCom(int com) : line(LinkPath(com)) {}
  static std::string LinkPath(int com) {
    const std::string dosdevices = WinePrefix() + "/dosdevices";
    if (std::system(("mkdir -p '" + dosdevices + "'").c_str()) != 0) ADD_FAILURE() << dosdevices;
    return dosdevices + "/com" + std::to_string(com);
  }
  HostRun Analyse(int com, const std::string& dir) {
    sim.Start();
    HostRun run = RunHost({"analysis", std::to_string(com), "0x0001"}, dir);
    sim.Stop();
    return run;
  }
};

TEST(AnalysisWine, TwoModulesAreNumberedAndReportedInOrderInPlaceOfALongerOldReport) {
  const std::string dir = FreshDir("analysis-two");
  WriteBytes(dir + "/Analysis.txt", std::vector<uint8_t>(300, 'x'));
  BusOnCom bus(6);
  bus.sim.AddModule({"QLB-mc1", 0x10, 0x23, 4711});
  bus.sim.AddModule({"QLB-ae1", 0x99, 0x05, 123456789});
  const HostRun run = bus.Analyse(6, dir);
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(Text(ReadBytes(dir + "/Analysis.txt")),
            "QLB-mc1  /  Hardware = V1.0  /  Software = V2.3  /  Ser.Nr. = 00004711\r\n"
            "QLB-ae1  /  Hardware = V9.9  /  Software = V0.5  /  Ser.Nr. = 123456789\r\n");
  EXPECT_EQ(HostBytes(bus.line), Join({kBusStart, kBusIdentify, {"40 115200 M 2", "BF 115200 M 2"},
                                       kBusIdentify, {"41 115200 M 2", "BE 115200 M 2"},
                                       kBusIdentify, kBusEnd}));
  EXPECT_EQ(bus.sim.Numbers(), (std::vector<int>{0, 1}));
  EXPECT_EQ(run.messageBoxes, std::vector<std::string>{kDoneBox}) << run.output;
  EXPECT_EQ(Text(ReadBytes(dir + "/notepad-calls.txt")), "notepad analysis.txt\n");
}

TEST(AnalysisWine, ModuleInBootloaderModeGivesFiveMessagesThenTheFailureText) {
  const std::string dir = FreshDir("analysis-boot");
  BusOnCom bus(8);  // the highest port of the table
  bus.sim.AddModule({"QLB-mc1", 0x10, 0x23, 4711, true});
  const HostRun run = bus.Analyse(8, dir);
  ASSERT_TRUE(run.ended) << run.output;
  std::vector<std::string> boxes(5, kBootloaderBox);
  boxes.push_back(kPortFailureBox);
  EXPECT_EQ(run.messageBoxes, boxes) << run.output;
  EXPECT_TRUE(ReadBytes(dir + "/Analysis.txt").empty());
  EXPECT_TRUE(ReadBytes(dir + "/notepad-calls.txt").empty());
  EXPECT_EQ(bus.sim.IdentifyCount(), 5);
}

}  // namespace
}  // namespace s470::wine
