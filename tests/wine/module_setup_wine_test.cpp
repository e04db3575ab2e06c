// RS470_QLB_Prog through the host and the real DLL under Wine, with the bus simulator on a COM
// port and the stand-in Device-setup DLL "ORV_DDK.DLL", which logs what it was given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../unit/test_helpers.h"
#include "bus_sim.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

const char kAttention[] =
    "Attention|Please connect the ORV QLBus module to the S470 gauge and switch the gauge on.";
const char kMissing[] = "Error|ORV_DDK.DLL was not found";

// The lines that show the order of what the user saw: boxes, and the stand-in's dialog (the
// script's thread reports it once it is visible, before it presses OK).
Lines Seen(const HostRun& run) {
  Lines seen;
  for (const auto& l : run.lines) {
    if (l.rfind("MSGBOX ", 0) == 0) seen.push_back(l.substr(7));
    if (l == "SCRIPT found Device setup") seen.push_back("Device setup");
  }
  return seen;
}

// The Device-setup DLL is looked for in the program folder only: the stand-in planted in the
// current folder is not loaded. A DLL without Device_Setup (the Language DLL under that name) is
// reported as such. How a port failure or a missing setup file is met is proven natively.
TEST(ModuleSetupWine, DeviceSetupIsCalledBetweenTheTwoTextsOrReportedMissing) {
  const struct {
    const char* name;
    const char* ddk;       // in the program folder as ORV_DDK.DLL; the stand-in planted if none
    const char* language;  // language/brand word
    int called;            // the language Device_Setup was called with; 0 for no call
    Lines seen;
  } cases[] = {
      {"English",
       "ORV_DDK.DLL",
       "0x0001",
       1,
       {kAttention, "Device setup", "Error|The work on the QLBus is finished."}},
      {"German, brand 1",
       "ORV_DDK.DLL",
       "0x0102",
       2,
       {"Attention|Bitte das Lumetra-QLBus-Modul an das HL5100-Messgerät anschließen und das "
        "Messgerät einschalten.",
        "Device setup", "Error|Die Arbeit am QLBus ist beendet."}},
      {"planted in the current folder only", nullptr, "0x0001", 0, {kAttention, kMissing}},
      {"DLL without the entry point",
       "ORV_LangWin95.DLL",
       "0x0001",
       0,
       {kAttention, "Error|ORV_DDK.DLL does not contain the function Device_Setup"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = FreshDir("module-setup");
    const std::string bin = ProgramFolder(dir, {"ORV_LangWinNT.DLL", "ORV_LangWin95.DLL"});
    const std::string ddk = c.ddk != nullptr ? bin + "/ORV_DDK.DLL" : dir + "/ORV_DDK.DLL";
    const std::string from = WineBin() + "/" + (c.ddk != nullptr ? c.ddk : "ORV_DDK.DLL");
    WriteFileBytes(ddk, ReadFileBytes(from));
    WriteFileBytes(dir + "/S470.DDK", {'Q', 'L', 'B', '\r', '\n'});
    const std::string script = c.called != 0 ? "wait Device setup; click 1" : "";

    sim::SimLine line(ComLinkPath(5));
    sim::BusSim bus(line);
    bus.Start();
    const HostRun run =
        RunScript(dir, script, {"owner", "qlb", "5", c.language}, {"S470_DDK_LOG=ddk.log"}, bin);
    bus.Stop();
    ASSERT_TRUE(run.ended) << run.output;
    EXPECT_EQ(Seen(run), c.seen) << run.output;
    std::string log;
    for (const auto& l : run.lines)
      if (c.called != 0 && l.rfind("owner -> ", 0) == 0)
        log = "Device_Setup language=" + std::to_string(c.called) +
              " file=S470.DDK owner=" + l.substr(9) + " code= device file=5 bytes\n";
    EXPECT_EQ(Text(ReadFileBytes(dir + "/ddk.log")), log);
    // The bus start sequence went out before the DLL was looked for.
    EXPECT_EQ(HostBytes(line), kBusStart) << run.output;
  }
}

}  // namespace
}  // namespace s470::wine
