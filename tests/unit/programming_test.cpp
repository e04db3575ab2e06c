// Programming runs against the bootloader simulator on the fake wire with the driven bus clock:
// both paths, both processor types, the faults of the module, the refusals before anything is
// erased. That the POSIX layer really sets each line's settings is the line-settings table's part.
#include "programming/programming_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "boot_sim.h"
#include "bus_fake_wire.h"
#include "programming/bootloader.h"
#include "programming/bootloader_packet.h"
#include "programming/firmware_dialogs.h"
#include "programming/firmware_file.h"
#include "serial/bus_port.h"
#include "slots/file_slots.h"
#include "test_files.h"
#include "test_helpers.h"

namespace s470 {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::BootFault;
using sim::BootModule;
using sim::BootSim;
using sim::SimLine;

constexpr int16_t kPort = 4;
constexpr uint8_t kCellFill = 0x5C;  // the user cells in the module before a run

// What the firmware dialog would have shown.
struct RecordingView final : ProgrammingView {
  std::vector<std::string> statuses, portFailures;
  std::string identification, typed;  // typed: what the user put into the field instead
  int beeps = 0;
  std::vector<uint32_t> waits;
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void ShowPortFailure(const std::string& text) override { portFailures.push_back(text); }
  void ShowIdentification(const std::string& text) override { identification = text; }
  std::string ReadIdentification() override { return typed.empty() ? identification : typed; }
  void Beep() override { ++beeps; }
  void PumpMessages() override {}
  void Wait(uint32_t ms) override { waits.push_back(ms); }
};

// Intel HEX text of bytes[from, to) in records of 16, with CR LF and an end record.
std::string HexFile(const Bytes& flash, int32_t from, int32_t to, bool spoilChecksum = false) {
  std::ostringstream text;
  text << std::hex << std::uppercase << std::setfill('0');
  for (int32_t a = from; a < to; a += 16) {
    Bytes record = {16, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a), 0};
    record.insert(record.end(), flash.begin() + a, flash.begin() + a + 16);
    uint8_t check = spoilChecksum && a == to - 16 ? 1 : 0;
    for (const uint8_t b : record) check = static_cast<uint8_t>(check - b);
    record.push_back(check);
    text << ':';
    for (const uint8_t b : record) text << std::setw(2) << int{b};
    text << "\r\n";
  }
  return text.str() + ":00000001FF\r\n";
}

Bytes Scrambled(const std::string& text) {
  Bytes bytes = ToBytes(text);
  ScrambleFirmwareBytes(bytes.data(), bytes.size());
  return bytes;
}

// The contents of a firmware file: the user cells of sector 1 from 0x510 (every third as the
// module already holds it, the gap 0x674..0x67A different from the module) and the programmed
// range; the serial-number entries hold 0xEE.
Bytes FirmwareContents(int processorType) {
  FlashGeometry g;
  GeometryOf(processorType, &g);
  Bytes flash(kFlashImageSize, 0);
  for (int32_t a = 0x500; a < 0x800; ++a)
    flash[static_cast<size_t>(a)] = a % 3 == 0 ? kCellFill : static_cast<uint8_t>(a * 7 + 1);
  for (int32_t a = g.StartAddress(); a < g.StartAddress() + g.Bytes(); ++a)
    flash[static_cast<size_t>(a)] = static_cast<uint8_t>((a * 31) ^ (a >> 7));
  for (const uint16_t a : kSerialAddresses) flash[a] = 0xEE;
  return flash;
}

class ProgrammingOnLine : public ::testing::Test {
 protected:
  // Puts the firmware file (and the part-1 file) that a run of this kind loads.
  Bytes PutFirmware(int processorType, int choice) {
    const Bytes contents = FirmwareContents(processorType);
    FlashGeometry g;
    GeometryOf(processorType, &g);
    const std::string hex = HexFile(contents, 0x500, g.StartAddress() + g.Bytes());
    WriteFileBytes(dir.Path(FirmwareFileName(processorType, choice, 0)), Scrambled(hex));
    Bytes part1(kFlashImageSize, 0);
    for (int32_t a = 0x500; a < 0x800; ++a)
      part1[static_cast<size_t>(a)] = static_cast<uint8_t>(a ^ 0x3C);
    WriteFileBytes(dir.Path("mc1fwuv2.bin"), Scrambled(HexFile(part1, 0x500, 0x800)));
    return contents;
  }

  // A run against the module on the fake wire, where each byte the PC writes reaches the module
  // with the settings it was sent under and the answers arrive at the driven time they are due.
  // `sent` gets the PC's bytes with their line settings.
  ProgrammingResult Run(BootSim& sim, int choice, const std::string& typed = "") {
    view = RecordingView();
    view.typed = typed;
    sent.clear();
    FakeWireScope wire(true);
    FakeWire& w = Wire();
    w.onWrite = [&sim, &w, this] {
      // A command pair the module misses: neither echoed nor answered.
      const bool missed = w.written.size() - sent.size() == 2 && missedTimes > 0 &&
                          w.written[sent.size()] == missedCommand &&
                          (w.written.back() ^ missedCommand) == 0xFF;
      missedTimes -= missed ? 1 : 0;
      for (size_t i = sent.size(); i < w.written.size(); ++i) {
        const sim::LineState state{w.settings.baud, static_cast<sim::SimParity>(w.settings.parity),
                                   w.settings.stopBits == 2};
        char text[40];
        std::snprintf(text, sizeof text, "%02X %s", w.written[i], state.ToString().c_str());
        sent.push_back(text);
        if (!missed) sim.Feed(w.written[i], state);
      }
    };
    sim.SetOutput([&w](const Bytes& bytes, int delayMs) { w.Arrive(w.nowMs + delayMs, bytes); });
    const ProgrammingResult result = RunProgramming({kPort, choice, 0}, view);
    EXPECT_FALSE(BusPortIsOpen(kPort));
    EXPECT_FALSE(IsSlotOpen(kFirmwareSlot));
    return result;
  }

  TempDir dir;
  InFolder inDir{dir.path()};  // the run finds its firmware files in the current folder
  SimLine line;
  RecordingView view;
  std::vector<std::string> sent;
  unsigned missedCommand = 0;  // on the fake wire: the module misses this command so many times
  int missedTimes = 0;
};

// The status texts of a whole run.
std::vector<std::string> RunStatuses(const FlashGeometry& g, int processorType, int choice) {
  std::vector<std::string> s = {" "};
  for (int n = 1; choice != 1 && n <= 48; ++n) s.push_back(" Part 1 -> " + std::to_string(16 * n));
  s.insert(s.end(), {"10", "11110010", "10000001"});
  for (int n = 0; n < g.Blocks(); ++n) s.push_back(" Programming -> " + std::to_string(n));
  s.push_back(" Verifying ");
  if (processorType == 12)
    for (int sector = 7; sector >= 2; --sector) {
      s.push_back(BinaryText(0xC8 + sector));
      s.push_back(BinaryText(0xE8 + sector));
    }
  if (choice == 1)
    for (int a = 0x510; a <= 0x7FF; ++a)
      if (a < 0x674 || a > 0x67A) s.push_back(" Programme user setup data - Cell " + HexText(a));
  s.push_back(" RESET");
  s.push_back(" Module is programmed successfully");
  return s;
}

TEST(BootloaderPacket, ScrambledByteAndKeyBytesAcrossTheWrapOfKPlusI) {
  // Key 0xFA at position 10: the key byte is (0xFA + 10) mod 256 = 0x04; 0x04 ^ 0x5A = 0x5E,
  // nibbles swapped 0xE5, with the mask.
  EXPECT_EQ(ScramblePacketByte(0x5A, 0xFA, 10), 0xE5 ^ kPacketMask);
  uint8_t data[64], packet[66];
  for (int i = 0; i < 64; ++i) data[i] = static_cast<uint8_t>(i * 5);
  BuildPacket(data, 64, PacketKeyAt(0x1234), PacketFillerAt(0x1234), packet);
  EXPECT_EQ(packet[0], 0x34 ^ kKeyWhitening);
  EXPECT_EQ(packet[65], 0x12 ^ 0x34);
}

TEST(FirmwareDialogs, AccessCodeAndModuleChoicesByBrand) {
  const struct {
    const char* typed;
    bool match;
  } codes[] = {{"kdwz", true},     {"KDWZ", true},    {"kDwZ", true}, {"kdwz ", false},
               {" kdwz", false},   {"kdw", false},    {"", false},    {"kdwzk", false},
               {"kdw\xDA", false}, {"k\xC4wz", false}};
  for (const auto& c : codes) EXPECT_EQ(AccessCodeMatches(c.typed), c.match) << c.typed;
  const std::vector<std::string> entries[] = {{"QLB-mc1", "S470", "R/S470-ae1/im2"},
                                              {"QLB-mc1", "HL5100"},
                                              {"QLB-mc1", "S470"},
                                              {"QLB-mc1", "KW380"},
                                              {"QLB-mc1", "R470", "R/S470-ae1/im2"},
                                              {"QLB-mc1", "QLB-mc1"}};
  for (uint16_t brand = 0; brand <= 5; ++brand)
    EXPECT_EQ(ModuleChoiceEntries(brand), entries[brand]) << brand;
}

// The QLBus path starts with 7 bits and even parity at 4800 baud for the first identification.
TEST_F(ProgrammingOnLine, FullRunsOnBothPathsAndProcessorTypesLeaveTheImageInTheFlash) {
  const std::vector<std::string> kGaugeStart = {
      "8D 4800 N 2",   "8D 4800 N 2",   "09 4800 N 2",   "0D 4800 N 2",
      "13 4800 N 2",   "00 115200 M 2", "81 115200 S 2", "00 115200 M 2",
      "02 115200 M 2", "FD 115200 M 2", "05 115200 M 2", "FA 115200 M 2",
      "F2 115200 M 2", "0D 115200 M 2", "81 115200 M 2", "7E 115200 M 2"};
  const std::vector<std::string> kQlbusStart = {
      "0D 4800 E 2", "0D 4800 E 2", "49 4800 E 2", "0D 4800 E 2", "8D 4800 N 2",
      "8D 4800 N 2", "C9 4800 N 2", "8D 4800 N 2", "10 4800 N 2", "0D 4800 N 2",
      "13 4800 N 2", "C4 4800 N 2", "3B 4800 N 2"};
  const struct {
    int choice, type;
    uint32_t serial;
    std::string shown, typed;             // typed: the serial-number field as the user left it
    std::vector<std::string> firstBytes;  // what the PC sends first
  } cases[] = {
      {1, 12, 12345, " 00012345", "", kGaugeStart},
      {1, 11, 123456789, " 123456789", "7654321", {}},
      {0, 12, 4711, " 00004711", "", kQlbusStart},
      {2, 11, 99999999, " 99999999", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.choice) + " / " + std::to_string(c.type));
    const Bytes contents = PutFirmware(c.type, c.choice);
    BootModule module;
    module.processorType = c.type;
    module.serial = c.serial;
    module.cellFill = kCellFill;
    BootSim sim(line, module);
    ASSERT_EQ(Run(sim, c.choice, c.typed), ProgrammingResult::kProgrammed) << view.statuses.back();

    FlashGeometry g;
    GeometryOf(c.type, &g);
    // The flash from the user cells on: the cells programmed on the gauge path (but for the gap),
    // the code with the serial number.
    Bytes wanted(contents.begin() + 0x510, contents.begin() + g.StartAddress() + g.Bytes());
    for (int32_t a = 0x510; a < 0x800; ++a)
      if (c.choice != 1 || (a >= 0x674 && a <= 0x67A)) wanted[a - 0x510] = kCellFill;
    for (int i = 0; i < 4; ++i)
      wanted[kSerialAddresses[i] - 0x510] =
          static_cast<uint8_t>((c.typed.empty() ? c.serial : std::stoul(c.typed)) >> (24 - 8 * i));
    const Bytes flash = sim.Flash();
    EXPECT_TRUE(Bytes(flash.begin() + 0x510, flash.end()) == wanted);
    EXPECT_EQ(view.identification, c.shown);
    if (c.choice != 1) {
      Bytes part1;
      for (int32_t a = 0x500; a < 0x800; ++a) part1.push_back(static_cast<uint8_t>(a ^ 0x3C));
      EXPECT_EQ(sim.Part1(), part1);
    }
    EXPECT_EQ(view.statuses, RunStatuses(g, c.type, c.choice));
    EXPECT_EQ(view.waits, std::vector<uint32_t>{5000});
    sent.resize(c.firstBytes.size());  // what the PC sent first
    EXPECT_EQ(sent, c.firstBytes);
  }
}

TEST_F(ProgrammingOnLine, FaultsOfTheModuleEndWithTheirTexts) {
  const char kNotSent[] =
      " The write command could not be executed -> Not all sent bytes are returned from the bus";
  const struct {
    const char* fault;
    int choice;
    std::string text;  // the last status text of a failed run, or one shown on the way
    bool programmed;
    int verifies;
  } cases[] = {
      {"missed F2 2", 1, "", true, 1},
      {"missed F2 3", 1, " The processor type could not be read", false, 0},
      {"missed 81 2", 0, "", true, 1},
      {"missed 81 3", 1, " The writing process could not be initialized", false, 0},
      {"silent", 0, " Communication error", false, 0},
      {"lostecho:3", 1, kNotSent, false, 0},
      {"writeerror:5:0x93", 1,
       " The processor has returned an error on the writing into the flash -> Error Code 3", false,
       0},
      {"eraseerror:0x85", 0,
       " The confirmation byte for deleting the flash is not correct -> Error Code ffffff85", false,
       0},
      {"unknowntype:13", 1, " The read processor type is not plausible", false, 0},
      {"readbackdiffers", 1, " Error on verifying the flash contents", false, 4},
      {"readbackshort", 0, " The flash contents could not be read", true, 3},
      {"noserial", 1, "", true, 1},
      {"stuckcell:0x520", 1, " Cell of sector 1 could not be written", true, 1},
      {"cellrefused:0x67C", 1, " Timeout-Error on writing the flash cell of sector 1", true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    PutFirmware(12, c.choice);
    const Bytes fileBefore = ReadFileBytes(dir.Path(FirmwareFileName(12, c.choice, 0)));
    BootModule module;
    module.cellFill = kCellFill;
    BootSim sim(line, module);
    BootFault fault;
    missedTimes = 0;
    if (std::sscanf(c.fault, "missed %x %d", &missedCommand, &missedTimes) != 2) {
      ASSERT_TRUE(sim::ParseBootFault(c.fault, &fault));
      sim.AddFault(fault);
    }
    const ProgrammingResult result = Run(sim, c.choice);
    EXPECT_EQ(result, c.programmed ? ProgrammingResult::kProgrammed : ProgrammingResult::kFailed);
    EXPECT_EQ(view.beeps, c.programmed && c.text.empty() ? 0 : 1);
    EXPECT_EQ(std::count(view.statuses.begin(), view.statuses.end(), " Verifying "), c.verifies);
    EXPECT_EQ(sim.Resets(), c.programmed ? 1 : 0);  // no reset after a fatal failure
    EXPECT_EQ(ReadFileBytes(dir.Path(FirmwareFileName(12, c.choice, 0))), fileBefore);
    if (!c.programmed) {
      EXPECT_EQ(view.statuses.back(), c.text);
      continue;
    }
    if (!c.text.empty()) {  // a failure that does not end the run is shown on the way
      EXPECT_THAT(view.statuses, ::testing::Contains(c.text));
    }
    if (std::string(c.fault) == "noserial") {
      EXPECT_EQ(view.identification, " --------");
      for (const uint16_t a : kSerialAddresses) EXPECT_EQ(sim.Flash()[a], 0xEE);
    }
  }
}

TEST_F(ProgrammingOnLine, RefusalsComeBeforeAnythingIsErased) {
  const char kNotLoaded[] = " The file with the programme could not be loaded";
  const struct {
    int choice;
    std::string firstIdentification, secondIdentification;
    std::string file;  // written as the firmware file; "-" for none, "" for a sound one
    std::string text;
  } cases[] = {
      {kNoModuleChoice, "", "", "", " Select the module type first"},
      {1, "", "", "-", " The file has a size of 0 bytes"},
      {1, "", "", HexFile(FirmwareContents(12), 0x800, 0x2000, true), kNotLoaded},
      {0, "QLB-mc1 V0.9", "", "", " Received identification is not plausible :   QLB-mc1 V0.9"},
      {0, "QLB-mc1 V2.9", "", "", " The file with QLB-mc1 software (part 1) has a size of 0 bytes"},
      {0, "QLB-mc1 V0.95", "", "",
       " The file with QLB-mc1 software (part 1) has a size of 0 bytes"},
      // Version 10 (two whole digits, no fraction) takes the newer part 1, then the module refuses.
      {0, "QLB-mc1 10", "R/S470-ae1", "",
       " QLB-mc1 software cannot be loaded into R/S470-xx modules"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " / " + c.file.substr(0, 20));
    PutFirmware(12, c.choice < 0 ? 1 : c.choice);
    const std::string name = dir.Path(FirmwareFileName(12, c.choice < 0 ? 1 : c.choice, 0));
    if (c.file == "-") unlink(name.c_str());
    if (c.file != "-" && !c.file.empty()) WriteFileBytes(name, Scrambled(c.file));
    const Bytes fileBefore = ReadFileBytes(name);
    BootModule module;
    if (!c.firstIdentification.empty()) module.firstIdentification = c.firstIdentification;
    if (!c.secondIdentification.empty()) module.secondIdentification = c.secondIdentification;
    BootSim sim(line, module);
    EXPECT_EQ(Run(sim, c.choice), ProgrammingResult::kFailed);
    EXPECT_EQ(view.statuses.back(), c.text);
    EXPECT_EQ(sim.Erases(), 0);
    EXPECT_EQ(ReadFileBytes(name), fileBefore);
  }
}

}  // namespace
}  // namespace s470
