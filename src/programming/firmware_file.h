// Firmware files and the flash image.
//
// A firmware file is an Intel HEX text (records ended by CR LF) kept on disk in scrambled form.
// LoadFirmwareImage opens it as file slot 1, unscrambles the slot in place, reads the data
// records into the flash image and scrambles the slot again, so that closing the slot writes the
// file back byte for byte as it was.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace s470 {

constexpr int16_t kFirmwareSlot = 1;
constexpr uint32_t kFlashImageSize = 16000;    // flash byte addresses 0 to 15999
constexpr size_t kHexLineBufferSize = 1000;    // longest record line, spaces not counted

// One entry per flash byte address: the data byte a record put there (0 to 255), or 0. Users
// take the low byte; the verification compares the whole entry with the byte read back.
using FlashImageEntries = std::array<uint16_t, kFlashImageSize>;
FlashImageEntries& FlashImage();

enum class FirmwareLoad {
  kLoaded,
  kNotLoaded,  // OpenFileSlot failed (the file cannot be opened, or not read whole / held)
  kEmpty,      // size 0, which is also what a missing file gives: the slot creates it empty
  kRefused,    // a record past address 15999 or a line longer than the line buffer; when
               // checked also a record that is not sound or a file without data
};

// Loads the firmware file `name` (looked up like any slot path). Slot 1 stays open whatever the
// outcome; the caller closes it when it has used the image. kNotLoaded and kEmpty leave the flash
// image untouched; kRefused leaves it cleared; kLoaded leaves exactly the file's records in it.
FirmwareLoad LoadFirmwareImage(const char16_t* name);
// The same for a file that is to be written into a module: every record read must have its
// record mark, hex digits only, its stated length and a correct checksum, and at least one must
// carry data; otherwise kRefused, with the image cleared.
FirmwareLoad LoadCheckedFirmwareImage(const char16_t* name);
FirmwareLoad LoadFirmwareImage(const char16_t* name, bool checked);

// Remove or apply the scrambling of the firmware file in slot 1, in place.
void DescrambleFirmwareFile();
void ScrambleFirmwareFile();

// The same on a byte buffer (the fwscramble tool).
void DescrambleFirmwareBytes(uint8_t* bytes, size_t size);
void ScrambleFirmwareBytes(uint8_t* bytes, size_t size);

// Clears the flash image and reads the records of an unscrambled firmware text into it, as
// LoadFirmwareImage does with the slot. False when the text is refused (record past the image or
// overlong line); the image is then cleared again.
bool ReadFirmwareRecords(const uint8_t* text, size_t size);

struct HexRecord {
  uint16_t count = 0;
  uint16_t address = 0;
  uint16_t type = 0;
  uint16_t data[255] = {};  // data[0 .. count-1]
};

// Fields by position (record mark at 0, not examined); a field missing at the end of the line
// reads as 0. The checksum is not read.
HexRecord ParseHexRecord(std::string_view line);
// Hex digits of either case, other characters passed over; the low 16 bits of the value.
uint16_t ParseHex(std::string_view text);

}  // namespace s470
