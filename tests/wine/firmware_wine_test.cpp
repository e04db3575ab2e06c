// RS470_Firmware through the host and the real DLL under Wine, against the bootloader simulator
// on a pseudo-terminal that the prefix sees as COM4: the access code of dialog 31, and dialog 40
// driven by the host's dialog script. The protocol byte by byte and failed runs are proven
// natively (one guard enables the dialog again however a run ends).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "boot_sim.h"
#include "programming/firmware_file.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::BootModule;
using sim::BootSim;
using sim::SimLine;

// S470.bin for processor type 12: sectors 2 to 7 as a scrambled HEX file of srec_cat.
void PutS470Bin(const std::string& dir) {
  const std::string hex = "cd '" + dir + "' && srec_cat -generate 0x800 0x2000 -repeat-string " +
                          "S470 -o fw.hex -intel -address-length=2 -crlf";
  ASSERT_EQ(std::system(hex.c_str()), 0);
  Bytes file = ReadFileBytes(dir + "/fw.hex");
  ScrambleFirmwareBytes(file.data(), file.size());
  WriteFileBytes(dir + "/S470.bin", file);
}

// The access code typed into the real dialog 31: a wrong one (with a non-ASCII letter) gets its
// box and no firmware dialog, Cancel neither; the right one in any case opens dialog 40 with
// empty fields and the module choices of brand 0. A run there programs the module (it reads the
// flash back and compares it before it says so), shows its serial number and enables the dialog
// again; the firmware file stays as it was.
TEST(FirmwareWine, CodeOpensTheDialogWhereARunProgramsTheModule) {
  const std::string dir = FreshDir("firmware-run");
  PutS470Bin(dir);
  const Bytes fileBefore = ReadFileBytes(dir + "/S470.bin");
  BootModule module;
  module.serial = 4711;
  SimLine line(ComLinkPath(4));
  BootSim boot(line, module);
  boot.Start();
  const std::string script =
      "wait Access code; settext 100 k\xC3\xA4wz; click 1; gone Access code; "
      "wait Access code; click 2; gone Access code; "
      "wait Access code; settext 100 kDwZ; click 1; gone Access code; "
      "wait Firmware programming; items 11; text 201; select 11 1; click 100; "
      "waittext 203  Module is programmed successfully; text 201; waitenabled; click 2";
  const HostRun run = RunHost(dir, "firmware 4 1 firmware 4 1 firmware 4 1", script);
  boot.Stop();
  // A wait that fails ends the host (RunHost throws); a dialog that stays says "SCRIPT still".
  EXPECT_EQ(run.Starting({"SCRIPT gone", "SCRIPT still", "TEXT", "ITEMS"}),
            (Lines{"SCRIPT gone Access code", "SCRIPT gone Access code", "SCRIPT gone Access code",
                   "ITEMS 11=QLB-mc1|S470|R/S470-ae1/im2", "TEXT 201= ", "TEXT 201= 00004711"}))
      << run.output;
  EXPECT_EQ(run.Starting({"MSGBOX "}), Lines{"MSGBOX Error|Wrong Password"}) << run.output;
  EXPECT_EQ(ReadFileBytes(dir + "/S470.bin"), fileBefore);
}

}  // namespace
}  // namespace s470::wine
