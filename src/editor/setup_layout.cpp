#include "editor/setup_layout.h"

namespace s470 {

int DecimalsOfResolution(uint8_t code) {
  switch (code) {
    case 8: return 3;
    case 16: return 4;
    case 32: return 5;
    default: return -1;
  }
}

int32_t ScaleOfResolution(uint8_t code) {
  switch (code) {
    case 8: return 1000;
    case 16: return 10000;
    case 32: return 100000;
    default: return 1;
  }
}

int32_t DecodeSigned24(const uint8_t* bytes) {
  const int32_t v = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16);
  return v > 0x7FFFFF ? v - 0x1000000 : v;
}

void EncodeSigned24(int32_t value, uint8_t* bytes) {
  const uint32_t v = static_cast<uint32_t>(value);
  bytes[0] = static_cast<uint8_t>(v);
  bytes[1] = static_cast<uint8_t>(v >> 8);
  bytes[2] = static_cast<uint8_t>(v >> 16);
}

int32_t DecodeSigned21(uint32_t field) {
  const int32_t v = static_cast<int32_t>(field & 0x1FFFFF);
  return (v & 0x100000) != 0 ? v - 0x200000 : v;
}

bool Signed21Enabled(uint32_t field) {
  return (field & 0x800000) != 0;
}

uint32_t EncodeSigned21(int32_t value, bool enabled) {
  return (static_cast<uint32_t>(value) & 0x1FFFFF) | (enabled ? 0x800000u : 0u);
}

std::array<uint8_t, kSetupGaugeAreaEnd> SetupDefaults() {
  std::array<uint8_t, kSetupGaugeAreaEnd> image{};
  image[kSetupChannelMask] = 0xFF;
  image[258] = 12;  // micrometre value
  image[259] = 1;   // assignments 1 to 4 on choices 1 to 4
  image[260] = 2;
  image[261] = 4;
  image[262] = 8;
  image[265] = 1;     // one-hot choice
  image[266] = 0x40;  // scale style 1, automatic scale
  for (uint32_t a = 269; a <= 276; ++a) image[a] = 0x20;
  for (int channel = 0; channel < kChannels; ++channel) {
    uint8_t* r = &image[ChannelRecordAddress(channel)];
    r[record::kUnit] = 0;
    r[record::kResolution] = 16;
    r[record::kLimitEnable] = 0x0F;
    const int32_t limits[4] = {400, 300, -300, -400};
    for (int n = 0; n < 4; ++n) EncodeSigned24(limits[n], &r[record::kLimit1 + 3 * n]);
    r[record::kInputMask] = static_cast<uint8_t>(1u << channel);
    r[record::kInputSignMask] = 0;
    for (int k = 0; k < 8; ++k) {  // 1.000 for every input
      r[record::kFactor1 + 2 * k] = 0xE8;
      r[record::kFactor1 + 2 * k + 1] = 0x03;
    }
    r[record::kGaugeFlags] = 0x80;
  }
  return image;
}

}  // namespace s470
