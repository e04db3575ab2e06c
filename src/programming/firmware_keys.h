// The keys of the scrambled firmware files. Every firmware file delivered for the modules was
// scrambled with exactly these values: changing any of them makes those files unreadable.
#pragma once

#include <cstdint>

namespace s470 {

// XOR mask over every byte of the file (outermost layer).
constexpr uint8_t kFirmwareFileMask = 0xD2;

// Keystream: four one-byte registers, their starting values, the step constant of register C and
// the constant E that joins the keystream byte.
constexpr uint8_t kKeySeedA = 0xD5;
constexpr uint8_t kKeySeedB = 0x36;
constexpr uint8_t kKeySeedC = 0x50;
constexpr uint8_t kKeySeedD = 0x7F;
constexpr uint8_t kKeyStepC = 0xE4;
constexpr uint8_t kKeyE = 0x1B;

// Digit substitution of the record data: visited digit number d of "0123456789ABCDEF" is
// replaced by character d of the first table up to the 57th visited character, of the second up
// to the 120th, of the third after that (when unscrambling).
constexpr int kDigitTableCount = 3;
constexpr char kDigitTables[kDigitTableCount][17] = {
    "350486DAF1BC2E97",
    "0598BA32CF64E1D7",
    "385ED912A0B4F7C6",
};
constexpr uint32_t kDigitTableEnds[kDigitTableCount - 1] = {57, 120};

}  // namespace s470
