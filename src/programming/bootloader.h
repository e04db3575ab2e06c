// The bootloader protocol of the modules: entering the bootloader on the direct path (115200
// baud, mark parity, every byte echoed) and on the QLBus path (4800 baud, no echo read), then
// detecting the module, reading its processor type, erasing, writing and verifying the flash,
// setting the security bits, programming the user cells of sector 1 and resetting it.
//
// Commands are pairs, the command byte and its complement; a status byte 0 means success. Every
// operation works on an open bus port and reports its progress and failures through the view;
// a failure text ends the run (see programming_run.h).
#pragma once

#include <cstdint>
#include <string>

#include "programming/programming_view.h"

namespace s470 {

// Flash geometry by processor type: the programmed range is startSector * sectorSize up to
// (startSector + sectorCount) * sectorSize - 1, written in blocks of blockSize bytes.
struct FlashGeometry {
  int16_t startSector = 0;
  int16_t sectorCount = 0;
  int16_t sectorSize = 0;
  int16_t blockSize = 0;
  int32_t StartAddress() const { return int32_t{startSector} * sectorSize; }
  int32_t Bytes() const { return int32_t{sectorCount} * sectorSize; }
  int32_t Blocks() const { return blockSize > 0 ? Bytes() / blockSize : 0; }
  int32_t PacketSize() const { return blockSize + 2; }
};
constexpr int kProcessorType12 = 12;  // sectors 2 to 7 of 1024 bytes
constexpr int kProcessorType11 = 11;  // sectors 4 to 30 of 512 bytes
// False for any other processor type.
bool GeometryOf(int processorType, FlashGeometry* geometry);
// The geometry the last run read; kept from one run to the next.
FlashGeometry& CurrentFlashGeometry();

// The largest read-back: start address + blocks * packet size over both processor types.
constexpr int32_t kReadBackSize = 16304;

// Part 1 of the QLB-mc1 software: 48 blocks of 16 bytes from flash address 0x500.
constexpr int32_t kPart1Address = 0x500;
constexpr int kPart1Blocks = 48;
constexpr int kPart1BlockSize = 16;

// The user cells of sector 1 that follow the firmware file; 0x674 to 0x67A stay as they are.
constexpr uint16_t kUserCellsFirst = 0x510;
constexpr uint16_t kUserCellsGapFirst = 0x674;
constexpr uint16_t kUserCellsGapLast = 0x67A;
constexpr uint16_t kUserCellsLast = 0x7FF;

// A step's outcome: empty when it went through, else the failure text that ends the run.
// portField: the text belongs in control 301 rather than the status field.
struct StepOutcome {
  std::string failure;
  bool portField = false;
  bool ok() const { return failure.empty(); }
};

// What the steps share: the port, the send-only flag of the run (1 on the QLBus path: nothing
// is read back after a send), and the front end.
struct BootLink {
  int16_t port;
  int16_t sendOnly;
  ProgrammingView& view;
};

// "10" for 0x02: binary digits without leading zeros, as the command bytes are shown.
std::string BinaryText(uint32_t value);
// Lowercase hex of the value as a 32-bit pattern: an error byte 0x85 taken as signed gives
// "ffffff85".
std::string HexText(uint32_t value);
std::string HexOfSignedByte(uint8_t value);

// The start sequence of the direct path; leaves the port open at 115200 baud, mark parity.
StepOutcome EnterBootloaderDirect(const BootLink& link);
// The QLBus path in its three phases; the port stays open at 4800 baud after the upload.
StepOutcome ReadFirstIdentification(const BootLink& link, std::string* reply);
StepOutcome ReadSecondIdentification(const BootLink& link, std::string* sevenCharacters);
StepOutcome UploadPart1(const BootLink& link);

// *hasSerial false when the identity block began with 1 (no serial number sent).
StepOutcome DetectModule(const BootLink& link, bool* hasSerial, uint32_t* serial);
// Sets CurrentFlashGeometry() and *processorType.
StepOutcome ReadProcessorType(const BootLink& link, int* processorType);
StepOutcome EraseFlash(const BootLink& link);
StepOutcome WriteFlash(const BootLink& link);
// A read-back that fails three times is shown with a beep and is no failure of the run.
StepOutcome VerifyFlash(const BootLink& link);
StepOutcome SetSecurityBits(const BootLink& link);
void ResetModule(const BootLink& link);
// 0 when the cell holds the value at the end; 1 after showing the failure with a beep.
int16_t ProgramUserCell(const BootLink& link, uint16_t address, uint8_t value);

}  // namespace s470
