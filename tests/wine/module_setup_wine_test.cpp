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
    "MSGBOX Attention|Bitte das Lumetra-QLBus-Modul an das HL5100-Messgerät anschließen und das "
    "Messgerät einschalten.";
const char kDialog[] = "SCRIPT found Device setup";  // the stand-in's dialog, once visible
const char kDone[] = "MSGBOX Error|Die Arbeit am QLBus ist beendet.";
const char kMissing[] = "MSGBOX Error|ORV_DDK.DLL was not found";
const char kNoEntry[] = "MSGBOX Error|ORV_DDK.DLL does not contain the function Device_Setup";

// In German, brand 1: the Device-setup DLL is looked for in the program folder only, the
// stand-in planted in the current folder is not loaded; a DLL without Device_Setup (the
// Language DLL under that name) is reported as such. What the user sees, in order: boxes and
// the stand-in's dialog. How a port failure or a missing setup file is met is proven natively.
TEST(ModuleSetupWine, DeviceSetupIsCalledBetweenTheTwoTextsOrReportedMissing) {
  const struct {
    const char* name;
    const char* ddk;  // in the program folder as ORV_DDK.DLL; none: the stand-in is planted
    Lines seen;
  } cases[] = {
      {"the stand-in in the program folder", "ORV_DDK.DLL", {kAttention, kDialog, kDone}},
      {"planted in the current folder only", nullptr, {kAttention, kMissing}},
      {"DLL without the entry point", "ORV_LangWin95.DLL", {kAttention, kNoEntry}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = FreshDir("module-setup");
    const std::string bin = ProgramFolder(dir, {"ORV_LangWinNT.DLL", "ORV_LangWin95.DLL"});
    const std::string ddk = c.ddk != nullptr ? bin + "/ORV_DDK.DLL" : dir + "/ORV_DDK.DLL";
    const std::string from = WineBin() + "/" + (c.ddk != nullptr ? c.ddk : "ORV_DDK.DLL");
    WriteFileBytes(ddk, ReadFileBytes(from));
    WriteFileBytes(dir + "/S470.DDK", {'Q', 'L', 'B', '\r', '\n'});
    const bool called = c.seen[1] == kDialog;

    sim::SimLine line(ComLinkPath(5));
    sim::BusSim bus(line);
    bus.Start();
    const HostRun run =
        RunHost(dir, "owner qlb 5 0x0102", called ? "wait Device setup; click 1" : "",
                {"S470_DDK_LOG=ddk.log"}, bin);
    bus.Stop();
    EXPECT_EQ(run.Starting({"MSGBOX ", kDialog}), c.seen) << run.output;
    const std::string owner = run.Starting({"owner -> "}).at(0).substr(9);
    EXPECT_EQ(Text(ReadFileBytes(dir + "/ddk.log")),
              called ? "Device_Setup language=2 file=S470.DDK owner=" + owner +
                           " code= device file=5 bytes\n"
                     : "");
    // The bus start sequence went out before the DLL was looked for.
    EXPECT_EQ(HostBytes(line), kBusStart) << run.output;
  }
}

}  // namespace
}  // namespace s470::wine
