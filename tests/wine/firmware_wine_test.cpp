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
using Lines = std::vector<std::string>;
using sim::BootFault;
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
  explicit BootOnCom(const BootModule& module) : line(LinkPath()), sim(line, module) {}
  static std::string LinkPath() {
    const std::string dosdevices = WinePrefix() + "/dosdevices";
    if (std::system(("mkdir -p '" + dosdevices + "'").c_str()) != 0) ADD_FAILURE() << dosdevices;
    return dosdevices + "/com" + std::to_string(kCom);
  }
};

// Runs "firmware 4 <lang>" once for each script part, with the parts one after the other as the
// host's dialog script.
HostRun Firmware(const std::string& dir, const std::vector<Lines>& scripts,
                 const std::string& lang = "0x0001") {
  std::string text;
  std::vector<std::string> commands = {"--script", "script.txt"};
  for (const Lines& script : scripts) {
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

const Lines kStartChoice1 = {"wait Firmware programming", "select 11 1", "click 100"};

TEST(FirmwareWine, CodeInAnyCaseOpensTheFirmwareDialogAWrongOrPaddedOneDoesNot) {
  const std::string dir = FreshDir("firmware-code");
  BootOnCom com({});
  com.sim.Start();
  std::vector<Lines> scripts;
  for (const char* code : {"kdwz", "KDWZ", "kDwZ"}) {
    Lines s = TypeCode(code);
    s.insert(s.end(), {"wait Firmware programming", "text 201", "text 203", "click 2", "gone Firmware programming"});
    scripts.push_back(s);
  }
  for (const char* code : {"kdwz ", " kdwz", "kdw", "kdwzx", "k\xC3\xA4wz"})
    scripts.push_back(TypeCode(code));
  scripts.push_back(
      {"wait Access code", "click 2", "gone Firmware programming"});  // Cancel: no box, no firmware dialog
  const HostRun run = Firmware(dir, scripts);
  com.sim.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  int found = 0, blank = 0;
  for (const std::string& l : run.lines) {
    found += l == "SCRIPT found Firmware programming" ? 1 : 0;
    blank += l == "TEXT 201= " || l == "TEXT 203= " ? 1 : 0;
  }
  EXPECT_EQ(found, 3) << run.output;
  EXPECT_EQ(blank, 6) << run.output;
  EXPECT_EQ(run.messageBoxes, Lines(5, kWrongCodeBox)) << run.output;
  EXPECT_TRUE(com.line.Log().empty());  // the module heard nothing
}

TEST(FirmwareWine, ComboHoldsThreeEntriesForBrand0AndTwoForBrand1) {
  const std::string dir = FreshDir("firmware-brands");
  Lines s = TypeCode("kdwz");
  s.insert(s.end(), {"wait Firmware programming", "items 11", "click 2"});
  const HostRun brand0 = Firmware(dir, {s}, "0x0001");
  const HostRun brand1 = Firmware(dir, {s}, "0x0101");
  EXPECT_TRUE(brand0.Has("ITEMS 11=QLB-mc1|S470|R/S470-ae1/im2")) << brand0.output;
  EXPECT_TRUE(brand1.Has("ITEMS 11=QLB-mc1|HL5100")) << brand1.output;
}

TEST(FirmwareWine, FullRunWithModuleChoice1ProgramsTheModuleAndShowsItsSerialNumber) {
  const std::string dir = FreshDir("firmware-run");
  const Bytes image = PutS470Bin(dir);
  const Bytes fileBefore = ReadBytes(dir + "/S470.bin");
  BootModule module;
  module.serial = 4711;
  BootOnCom com(module);
  com.sim.Start();
  Lines s = TypeCode("kdwz");
  s.insert(s.end(), kStartChoice1.begin(), kStartChoice1.end());
  s.insert(s.end(),
           {std::string("waittext 203 ") + kProgrammed, "text 201", "waitenabled", "click 2"});
  const HostRun run = Firmware(dir, {s});
  com.sim.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("SCRIPT text 203")) << run.output;
  EXPECT_TRUE(run.Has("TEXT 201= 00004711")) << run.output;
  EXPECT_TRUE(run.Has("SCRIPT enabled")) << run.output;
  EXPECT_TRUE(run.messageBoxes.empty()) << run.output;
  EXPECT_TRUE(Sectors(com.sim) == Programmed(image, 4711));
  EXPECT_EQ(com.sim.Resets(), 1);
  EXPECT_EQ(ReadBytes(dir + "/S470.bin"), fileBefore);
}

TEST(FirmwareWine, MissingFirmwareFileEndsWithSizeZeroAndLeavesTheEmptyFileBehind) {
  const std::string dir = FreshDir("firmware-missing");
  BootOnCom com({});
  com.sim.Start();
  Lines s = TypeCode("kdwz");
  s.insert(s.end(), kStartChoice1.begin(), kStartChoice1.end());
  s.insert(s.end(), {"waittext 203  The file has a size of 0 bytes", "waitenabled", "click 2"});
  const HostRun run = Firmware(dir, {s});
  com.sim.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_TRUE(run.Has("SCRIPT text 203")) << run.output;
  EXPECT_TRUE(run.Has("SCRIPT enabled")) << run.output;
  struct stat st {};
  ASSERT_EQ(stat((dir + "/S470.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(com.sim.Erases(), 0);
}

TEST(FirmwareWine, FatalFaultReenablesTheDialogAndASecondRunInItSucceeds) {
  const std::string dir = FreshDir("firmware-again");
  const Bytes image = PutS470Bin(dir);
  BootOnCom com({});
  com.sim.AddFault({BootFaultKind::kWriteError, 5, 0x07, 0, 1});  // the first run only
  com.sim.Start();
  Lines s = TypeCode("kdwz");
  s.insert(s.end(), kStartChoice1.begin(), kStartChoice1.end());
  s.insert(s.end(),
           {"waittext 203  The processor has returned an error on the writing into the flash "
            "-> Error Code 7",
            "waitenabled", "click 100", std::string("waittext 203 ") + kProgrammed, "click 2"});
  const HostRun run = Firmware(dir, {s});
  com.sim.Stop();
  ASSERT_TRUE(run.ended) << run.output;
  Lines results;
  for (const std::string& l : run.lines)
    if (l.rfind("SCRIPT text", 0) == 0 || l.rfind("SCRIPT enabled", 0) == 0) results.push_back(l);
  EXPECT_EQ(results, (Lines{"SCRIPT text 203", "SCRIPT enabled", "SCRIPT text 203"})) << run.output;
  EXPECT_TRUE(Sectors(com.sim) == Programmed(image, 4711));
  EXPECT_EQ(com.sim.Resets(), 1);  // none after the failure
  EXPECT_EQ(com.sim.Erases(), 2);
}

}  // namespace
}  // namespace s470::wine
