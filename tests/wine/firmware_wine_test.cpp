// RS470_Firmware through the host and the real DLL under Wine, against the bootloader simulator
// on a pseudo-terminal that the prefix sees as COM4: the access code of dialog 31, and dialog 40
// driven by the host's dialog script. The protocol byte by byte is proven natively.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../unit/test_helpers.h"
#include "boot_sim.h"
#include "programming/firmware_file.h"
#include "wine_harness.h"

namespace s470::wine {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::BootFaultKind;
using sim::BootModule;
using sim::BootSim;
using sim::SimLine;

const char kWrongCodeBox[] = "Error|Wrong Password";

// The bootloader simulator on COM4 of the prefix, served from a thread of this process.
struct BootOnCom {
  SimLine line;
  BootSim sim;
  explicit BootOnCom(const BootModule& module) : line(ComLinkPath(4)), sim(line, module) {}
};

// S470.bin for processor type 12: sectors 2 to 7 as a scrambled HEX file, 32 bytes a record;
// its image.
Bytes PutS470Bin(const std::string& dir) {
  Bytes image(0x2000, 0);
  std::string hex;
  char text[16];
  for (size_t a = 0x800; a < image.size(); a += 32) {
    uint8_t sum = static_cast<uint8_t>(32 + (a >> 8) + (a & 0xFF));
    std::snprintf(text, sizeof text, ":20%04X00", static_cast<unsigned>(a));
    hex += text;
    for (size_t i = a; i < a + 32; ++i) {
      image[i] = static_cast<uint8_t>(i * 17 + 3);
      sum = static_cast<uint8_t>(sum + image[i]);
      std::snprintf(text, sizeof text, "%02X", image[i]);
      hex += text;
    }
    std::snprintf(text, sizeof text, "%02X\r\n", static_cast<uint8_t>(-sum));
    hex += text;
  }
  Bytes file = ToBytes(hex + ":00000001FF\r\n");
  ScrambleFirmwareBytes(file.data(), file.size());
  WriteBytes(dir + "/S470.bin", file);
  return image;
}

// Sectors 2 to 7 of a flash image.
Bytes Sectors(const Bytes& flash) {
  return Bytes(flash.begin() + 0x800, flash.begin() + 0x2000);
}

// The access code typed into the real dialog 31: a wrong one (with a non-ASCII letter) gets its
// box and no firmware dialog, Cancel neither; the right one in any case opens dialog 40 with
// empty fields and the module choices of brand 0. A run there that fails in the flash writing
// shows the module's error code and enables the dialog again; a second run programs the module
// and shows its serial number; the firmware file stays as it was.
TEST(FirmwareWine, CodeOpensTheDialogWhereAFailedRunIsFollowedByOneThatProgramsTheModule) {
  const std::string dir = FreshDir("firmware-run");
  const Bytes image = PutS470Bin(dir);
  const Bytes fileBefore = ReadBytes(dir + "/S470.bin");
  BootModule module;
  module.serial = 4711;
  BootOnCom com(module);
  com.sim.AddFault({BootFaultKind::kWriteError, 5, 0x07, 0, 1});  // the first run only
  com.sim.Start();
  const std::string script =
      "wait Access code; settext 100 k\xC3\xA4wz; click 1; gone Access code; "
      "wait Access code; click 2; gone Access code; "
      "wait Access code; settext 100 kDwZ; click 1; gone Access code; "
      "wait Firmware programming; items 11; text 201; select 11 1; click 100; "
      "waittext 203  The processor has returned an error on the writing into the flash -> Error "
      "Code 7; waitenabled; click 100; waittext 203  Module is programmed successfully; "
      "text 201; waitenabled; click 2";
  const HostRun run = RunScript(dir, script, Words("firmware 4 1 firmware 4 1 firmware 4 1"));
  com.sim.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  Lines seen;
  for (const std::string& l : run.lines)
    if (l.rfind("SCRIPT", 0) == 0 || l.rfind("TEXT", 0) == 0 || l.rfind("ITEMS", 0) == 0)
      seen.push_back(l);
  EXPECT_EQ(
      seen,
      (Lines{"SCRIPT found Access code", "SCRIPT gone Access code", "SCRIPT found Access code",
             "SCRIPT gone Access code", "SCRIPT found Access code", "SCRIPT gone Access code",
             "SCRIPT found Firmware programming", "ITEMS 11=QLB-mc1|S470|R/S470-ae1/im2",
             "TEXT 201= ", "SCRIPT text 203", "SCRIPT enabled", "SCRIPT text 203",
             "TEXT 201= 00004711", "SCRIPT enabled"}))
      << run.output;
  EXPECT_EQ(run.messageBoxes, Lines{kWrongCodeBox}) << run.output;
  Bytes programmed = image;  // with the serial number in four cells
  for (int i = 0; i < 4; ++i)
    programmed[0x834 + 4 * i] = static_cast<uint8_t>(4711 >> (24 - 8 * i));
  EXPECT_TRUE(Sectors(com.sim.Flash()) == Sectors(programmed));
  EXPECT_EQ(com.sim.Resets(), 1);  // none after the failure
  EXPECT_EQ(com.sim.Erases(), 2);
  EXPECT_EQ(ReadBytes(dir + "/S470.bin"), fileBefore);
}

}  // namespace
}  // namespace s470::wine
