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

constexpr int kCom = 4;
const char kWrongCodeBox[] = "Error|Wrong Password";
const char kProgrammed[] = " Module is programmed successfully";

// The bootloader simulator on COM4 of the prefix, served from a thread of this process.
struct BootOnCom {
  SimLine line;
  BootSim sim;
  explicit BootOnCom(const BootModule& module) : line(ComLinkPath(kCom)), sim(line, module) {}
};

// Runs "firmware 4 <language/brand word>" once for each part, with the parts' scripts one after
// the other as the host's dialog script.
HostRun Firmware(const std::string& dir, const std::vector<std::pair<const char*, Lines>>& parts) {
  std::string text;
  Lines commands = {"--script", "script.txt"};
  for (const auto& [lang, script] : parts) {
    for (const std::string& line : script) text += line + "\n";
    commands.insert(commands.end(), {"firmware", std::to_string(kCom), lang});
  }
  WriteBytes(dir + "/script.txt", ToBytes(text));
  return RunHost(commands, dir);
}

Lines TypeCode(const std::string& code) {
  return {"wait Access code", "settext 100 " + code, "click 1", "gone Access code"};
}

// S470.bin for processor type 12: a scrambled HEX file of sectors 2 to 7; its image.
Bytes PutS470Bin(const std::string& dir) {
  Bytes image(0x2000, 0);
  std::string hex;
  for (int a = 0x800; a < 0x2000; a += 32) {
    char text[16];
    uint8_t sum = static_cast<uint8_t>(32 + (a >> 8) + (a & 0xFF));
    std::snprintf(text, sizeof text, ":20%04X00", a);
    hex += text;
    for (int i = 0; i < 32; ++i) {
      image[static_cast<size_t>(a + i)] = static_cast<uint8_t>((a + i) * 17 + 3);
      std::snprintf(text, sizeof text, "%02X", image[static_cast<size_t>(a + i)]);
      hex += text;
      sum = static_cast<uint8_t>(sum + image[static_cast<size_t>(a + i)]);
    }
    std::snprintf(text, sizeof text, "%02X\r\n", static_cast<uint8_t>(-sum));
    hex += text;
  }
  hex += ":00000001FF\r\n";
  Bytes file = ToBytes(hex);
  ScrambleFirmwareBytes(file.data(), file.size());
  WriteBytes(dir + "/S470.bin", file);
  return image;
}

// The programmed sectors as the module must hold them: the image with the serial number.
Bytes Programmed(Bytes image, uint32_t serial) {
  const int at[] = {0x834, 0x838, 0x83C, 0x840};
  for (int i = 0; i < 4; ++i)
    image[static_cast<size_t>(at[i])] = static_cast<uint8_t>(serial >> (24 - 8 * i));
  return Bytes(image.begin() + 0x800, image.end());
}

Bytes Sectors(const BootSim& sim) {
  const Bytes flash = sim.Flash();
  return Bytes(flash.begin() + 0x800, flash.begin() + 0x2000);
}

// The access code typed into the real dialog 31, in any case; a wrong one (typed with a
// non-ASCII letter) gets its box and no firmware dialog; Cancel neither. Dialog 40 opens with
// empty fields and the module choices of the brand.
TEST(FirmwareWine, CodeInAnyCaseOpensTheFirmwareDialogWithTheBrandsChoices) {
  const std::string dir = FreshDir("firmware-code");
  BootOnCom com({});
  com.sim.Start();
  Lines brand0 = TypeCode("kDwZ"), brand1 = TypeCode("KDWZ");
  brand0.insert(brand0.end(), {"wait Firmware programming", "items 11", "text 201", "text 203",
                               "click 2", "gone Firmware programming"});
  brand1.insert(brand1.end(), {"wait Firmware programming", "items 11", "click 2",
                               "gone Firmware programming"});
  const HostRun run = Firmware(dir, {{"0x0001", brand0},
                                     {"0x0001", TypeCode("k\xC3\xA4wz")},
                                     {"0x0101", brand1},
                                     {"0x0001", {"wait Access code", "click 2"}}});
  com.sim.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  Lines seen;
  for (const std::string& l : run.lines)
    if (l.rfind("ITEMS", 0) == 0 || l.rfind("TEXT", 0) == 0 || l.rfind("MSGBOX", 0) == 0)
      seen.push_back(l);
  EXPECT_EQ(seen, (Lines{"ITEMS 11=QLB-mc1|S470|R/S470-ae1/im2", "TEXT 201= ", "TEXT 203= ",
                         std::string("MSGBOX ") + kWrongCodeBox, "ITEMS 11=QLB-mc1|HL5100"}))
      << run.output;
  EXPECT_TRUE(com.line.Log().empty());  // the module heard nothing
}

// A run that fails in the flash writing shows the module's error code and enables the dialog
// again; a second run in it programs the module and shows its serial number, and the firmware
// file stays as it was.
TEST(FirmwareWine, FailedRunReenablesTheDialogAndASecondRunProgramsTheModule) {
  const std::string dir = FreshDir("firmware-run");
  const Bytes image = PutS470Bin(dir);
  const Bytes fileBefore = ReadBytes(dir + "/S470.bin");
  BootModule module;
  module.serial = 4711;
  BootOnCom com(module);
  com.sim.AddFault({BootFaultKind::kWriteError, 5, 0x07, 0, 1});  // the first run only
  com.sim.Start();
  Lines s = TypeCode("kdwz");
  s.insert(s.end(), {"wait Firmware programming", "select 11 1", "click 100",
                     "waittext 203  The processor has returned an error on the writing into the "
                     "flash -> Error Code 7",
                     "waitenabled", "click 100", std::string("waittext 203 ") + kProgrammed,
                     "text 201", "waitenabled", "click 2"});
  const HostRun run = Firmware(dir, {{"0x0001", s}});
  com.sim.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  Lines seen;
  for (const std::string& l : run.lines)
    if (l.rfind("SCRIPT", 0) == 0 || l.rfind("TEXT", 0) == 0 || l.rfind("MSGBOX", 0) == 0)
      seen.push_back(l);
  EXPECT_EQ(seen, (Lines{"SCRIPT found Access code", "SCRIPT gone Access code",
                         "SCRIPT found Firmware programming",
                         "SCRIPT text 203", "SCRIPT enabled", "SCRIPT text 203",
                         "TEXT 201= 00004711", "SCRIPT enabled"}))
      << run.output;
  EXPECT_TRUE(Sectors(com.sim) == Programmed(image, 4711));
  EXPECT_EQ(com.sim.Resets(), 1);  // none after the failure
  EXPECT_EQ(com.sim.Erases(), 2);
  EXPECT_EQ(ReadBytes(dir + "/S470.bin"), fileBefore);
}

}  // namespace
}  // namespace s470::wine
