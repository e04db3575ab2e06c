// The logic of the two firmware dialogs, free of any window system: the access-code check of
// dialog 31 and the module choices of dialog 40. The dialog procedures (firmware_dialogs_win32.cpp)
// translate window messages into these calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace s470 {

// The access code that guards the writing of firmware.
constexpr char kAccessCode[] = "kdwz";
constexpr char kWrongCodeMessage[] = "Wrong Password";

// Controls of dialog 31 and dialog 40.
constexpr int kAccessCodeDialog = 31;
constexpr int kCodeField = 100;
constexpr int kFirmwareDialog = 40;
constexpr int kModuleCombo = 11;
constexpr int kStartButton = 100;
constexpr int kCloseButton = 2;
constexpr int kIdentificationField = 201;
constexpr int kStatusField = 203;
constexpr int kPortFailureField = 301;

// The 4-byte code buffer that the Device-setup DLL may fill; the initial text of the code field.
// The system itself never writes it.
char* SharedCodeBuffer();
// Its text: up to its first zero byte, at most its 4 bytes.
std::string SharedCodeText();

// The typed text matches when it is the code in any mix of upper and lower case, with nothing
// before or after it. Only a to z change case; a byte of 0x80 or above ends the conversion.
bool AccessCodeMatches(const std::string& typed);

// The entries of combo box 11 for a brand number, in order.
std::vector<std::string> ModuleChoiceEntries(uint16_t brand);

}  // namespace s470
