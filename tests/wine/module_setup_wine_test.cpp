// RS470_QLB_Prog through the host and the real DLL under Wine, with the bus simulator on a COM
// port and the stand-in Device-setup DLL "ORV_DDK.DLL", which logs what it was given.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../unit/test_helpers.h"
#include "bus_sim.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

const char kAttention[] =
    "Attention|Please connect the ORV QLBus module to the S470 gauge and switch the gauge on.";
const char kDone[] = "Error|The work on the QLBus is finished.";
const char kMissing[] = "Error|ORV_DDK.DLL was not found";
const char kNoEntry[] = "Error|ORV_DDK.DLL does not contain the function Device_Setup";
const char kNoPort[] =
    "Error|No connection to the ORV module. Please check the cable, the COM port and the power "
    "supply of the S470, then try again.";
const char kAttentionDe[] =
    "Attention|Bitte das Lumetra-QLBus-Modul an das HL5100-Messgerät anschließen und das "
    "Messgerät einschalten.";
const char kDoneDe[] = "Error|Die Arbeit am QLBus ist beendet.";

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

// A program folder: the host, the product and the Language DLLs, and in place of the
// Device-setup DLL: "ddk" (the stand-in), "none", or "other" (a DLL without Device_Setup).
std::string ProgramFolder(const std::string& dir, const std::string& ddk) {
  const std::string bin = dir + "/bin", from = "'" + WineBin() + "/";
  std::string cmd = "mkdir -p '" + bin + "' && cp " + from + "host.exe' " + from + "s470_pc.dll' " +
                    from + "ORV_LangWinNT.DLL' " + from + "ORV_LangWin95.DLL' '" + bin + "/'";
  if (ddk == "ddk") cmd += " && cp " + from + "ORV_DDK.DLL' '" + bin + "/'";
  if (ddk == "other") cmd += " && cp " + from + "ORV_LangWin95.DLL' '" + bin + "/ORV_DDK.DLL'";
  if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
  return bin;
}

TEST(ModuleSetupWine, DeviceSetupIsCalledBetweenTheTwoTextsOrReportedMissing) {
  const struct {
    const char* name;
    const char* ddk;       // in the program folder
    bool plantedInCwd;     // the stand-in also in the current folder
    int port;              // 5 carries the bus; 4 cannot be opened
    const char* language;  // language/brand word
    int called;            // the language Device_Setup was called with; 0 for no call
    Lines seen;
  } cases[] = {
      {"English", "ddk", false, 5, "0x0001", 1, {kAttention, "Device setup", kDone}},
      {"German, brand 1", "ddk", false, 5, "0x0102", 2, {kAttentionDe, "Device setup", kDoneDe}},
      {"no DLL", "none", false, 5, "0x0001", 0, {kAttention, kMissing}},
      {"planted in the current folder only", "none", true, 5, "0x0001", 0, {kAttention, kMissing}},
      {"DLL without the entry point", "other", false, 5, "0x0001", 0, {kAttention, kNoEntry}},
      {"port cannot be opened", "ddk", false, 4, "0x0001", 0, {kAttention, kNoPort}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = FreshDir("module-setup");
    const std::string bin = ProgramFolder(dir, c.ddk);
    WriteBytes(dir + "/S470.DDK", {'Q', 'L', 'B', '\r', '\n'});
    if (c.plantedInCwd) {
      ASSERT_EQ(std::system(("cp '" + WineBin() + "/ORV_DDK.DLL' '" + dir + "/'").c_str()), 0);
    }
    const std::string script = c.called != 0 ? "wait Device setup; click 1" : "";
    const Lines commands = {"owner", "qlb", std::to_string(c.port), c.language};

    sim::SimLine line(ComLinkPath(5));
    sim::BusSim bus(line);
    bus.Start();
    const HostRun run = RunScript(dir, script, commands, {"S470_DDK_LOG=ddk.log"}, bin);
    bus.Stop();
    ASSERT_TRUE(run.ended) << run.output;
    EXPECT_EQ(Seen(run), c.seen) << run.output;
    std::string log;
    for (const auto& l : run.lines)
      if (c.called != 0 && l.rfind("owner -> ", 0) == 0)
        log = "Device_Setup language=" + std::to_string(c.called) +
              " file=S470.DDK owner=" + l.substr(9) + " code= device file=5 bytes\n";
    EXPECT_EQ(Text(ReadBytes(dir + "/ddk.log")), log);
    // The bus start sequence went out before the DLL was looked for; nothing on a dead port.
    EXPECT_EQ(HostBytes(line), c.port == 5 ? kBusStart : Lines{}) << run.output;
  }
}

}  // namespace
}  // namespace s470::wine
