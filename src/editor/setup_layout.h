// The layout of the 7500-byte setup image and the decoding of its values, free of any dialog so
// that tools which read or compare setup files use the same rules as the setup editor.
//
//   0..254      not used by the editor          255   module type (0 QLB-mc1, 1 ae1, 2 im2)
//   256         channel mask, bit k-1 = channel k active
//   257..383    general settings                384   eight 80-byte channel records
//   1024..1999  file only, not used             2000  four UTF-16LE text fields
// Addresses 256 to 1023 are what a gauge holds.
#pragma once

#include <array>
#include <cstdint>

namespace s470 {

constexpr uint32_t kSetupModuleType = 255;
constexpr uint32_t kSetupChannelMask = 256;
constexpr uint32_t kSetupGeneralFirst = 257;
constexpr uint32_t kSetupRecordsFirst = 384;
constexpr uint32_t kSetupGaugeAreaEnd = 1024;  // addresses 0 to 1023: what the editor's pages guard
constexpr int kChannelRecordSize = 80;
constexpr int kChannels = 8;

// Address of the record of channel 0 to 7.
constexpr uint32_t ChannelRecordAddress(int channel) {
  return kSetupRecordsFirst + static_cast<uint32_t>(kChannelRecordSize * channel);
}

// Field offsets inside a channel record. s24 = signed 24-bit little-endian.
namespace record {
constexpr int kUnit = 0;            // 0 or 1, paired with the resolution code
constexpr int kResolution = 1;      // 8, 16 or 32: 3, 4 or 5 decimals
constexpr int kBase = 2;            // s24, raw units
constexpr int kBaseSign = 5;        // 0xFF when the entered number was negative
constexpr int kLimitEnable = 6;     // bits 0 to 3: Limit1 to Limit4 on
constexpr int kLimit1 = 7;          // s24; LimitN at kLimit1 + 3 (N - 1)
constexpr int kInputMask = 24;      // bit k-1: input k takes part
constexpr int kInputSignMask = 25;  // bit k-1: factor of input k negative
constexpr int kFactor1 = 26;        // u16 magnitude in thousandths; input k at kFactor1 + 2 (k - 1)
constexpr int kMode = 42;           // mode list item
constexpr int kModeOption = 51;     // 0 or 1; 0 with mode 0
constexpr int kPair1 = 52;          // s24, sign byte at +55
constexpr int kPair1Sign = 55;
constexpr int kPair2 = 56;  // s24, sign byte at +59
constexpr int kPair2Sign = 59;
constexpr int kPair2Enabled = 60;  // 0 or 1
constexpr int kGaugeFlags = 66;    // 0x80 by default
}  // namespace record

// Ranges of the raw values, checked when the editor stores them.
constexpr int32_t kBaseMin = -99999, kBaseMax = 999999;  // base value and pair values
constexpr int32_t kLimitMin = -59999, kLimitMax = 59999;
constexpr int32_t kFactorMax = 59999;  // thousandths
constexpr int32_t kPairMinDistance = 10;

// The four free text fields: UTF-16LE characters, zero-terminated unless the text fills them.
struct TextField {
  uint32_t address;
  int length;  // characters
};
constexpr std::array<TextField, 4> kTextFields = {
    {{2000, 100}, {2200, 100}, {2400, 50}, {2500, 2500}}};

// A byte of the image read as a signed number (list items stored in a byte: 0xFF is none).
constexpr int SignedByte(uint8_t value) {
  return value < 0x80 ? value : value - 0x100;
}

// Decimals shown for a resolution code: 3, 4 or 5; -1 for any other code.
int DecimalsOfResolution(uint8_t code);
// Raw units per shown unit: 1000, 10000 or 100000; 1 for any other code (raw integers shown).
int32_t ScaleOfResolution(uint8_t code);

// Signed 24-bit little-endian: read (above 0x7FFFFF counts negative) and write (low 24 bits).
int32_t DecodeSigned24(const uint8_t* bytes);
void EncodeSigned24(int32_t value, uint8_t* bytes);

// The 24-bit fields of the general settings that hold a signed 21-bit number (bits 0-20, two's
// complement) and an enable flag in bit 23.
int32_t DecodeSigned21(uint32_t field);
bool Signed21Enabled(uint32_t field);
uint32_t EncodeSigned21(int32_t value, bool enabled);  // keeps the low 21 bits of value

// Bytes 0 to 1023 of a new, empty setup: all channels on, four decimals, limits +-0.0400 and
// +-0.0300 on, each channel on its own input with factor 1.000, and the general defaults.
std::array<uint8_t, kSetupGaugeAreaEnd> SetupDefaults();

}  // namespace s470
