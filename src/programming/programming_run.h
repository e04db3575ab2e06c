// One programming run of the firmware dialog's start button, from entering the bootloader to
// resetting the module, free of any window system: a terminal front end runs it the same way.
//
// Module choice 0 (QLB-mc1) and 2 (R/S470-ae1/im2) take the QLBus path at 4800 baud, where
// part 1 of the QLB-mc1 software is uploaded first and nothing sent is read back; choice 1 (the
// brand's model) takes the direct path at 115200 baud with mark parity, where every byte is
// echoed and checked, and also brings the user cells of sector 1 in line with the file.
//
// The firmware files are found by name in the current folder. The run closes the port and file
// slot 1 however it ends; a failure shows its text with a beep and sends no reset.
#pragma once

#include <cstdint>
#include <string>

#include "programming/programming_view.h"

namespace s470 {

constexpr int kNoModuleChoice = -1;  // no combo box entry selected

struct ProgrammingRequest {
  int16_t port = 0;  // the firmware port, COM number
  int moduleChoice = kNoModuleChoice;
  uint16_t brand = 0;
};

enum class ProgrammingResult { kProgrammed, kFailed };

ProgrammingResult RunProgramming(const ProgrammingRequest& request, ProgrammingView& view);

// The firmware file for a processor type, module choice and brand; empty when there is none.
std::string FirmwareFileName(int processorType, int moduleChoice, uint16_t brand);
// The part-1 file for the first identification of a QLB-mc1 (its last three characters are the
// version, such as 2.9); empty when the version is not above 0.9 or is no number.
std::string Part1FileName(const std::string& identification);
// Field 201: a space and the serial number in at least eight digits; " --------" when the
// module sent none.
std::string IdentificationText(bool hasSerial, uint32_t serial);
// The serial number read back from field 201: leading spaces skipped, decimal digits up to the
// first other character. False when there is no digit.
bool SerialFromField(const std::string& text, uint32_t* serial);

// The image addresses that carry the serial number, most significant byte first.
constexpr uint16_t kSerialAddresses[4] = {0x834, 0x838, 0x83C, 0x840};

}  // namespace s470
