// What the setup editor's tests, native and under Wine, expect of a setup image.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace s470 {

// Addresses 0 to 1023 of an empty setup once the setup dialog has written its defaults, spelt
// out byte by byte from the layout of the setup image.
inline std::vector<uint8_t> ExpectedSetupDefaults() {
  std::vector<uint8_t> d(1024, 0);
  d[256] = 0xFF;
  const std::pair<int, int> general[] = {{258, 12}, {259, 1}, {260, 2},   {261, 4},
                                         {262, 8},  {265, 1}, {266, 0x40}};
  for (const auto& [a, v] : general) d[a] = static_cast<uint8_t>(v);
  for (int a = 269; a <= 276; ++a) d[a] = 0x20;
  for (int k = 1; k <= 8; ++k) {
    const std::vector<uint8_t> record = {0,    16,   0,    0,    0,
                                         0,    0x0F, 0x90, 0x01, 0x00,
                                         0x2C, 0x01, 0x00, 0xD4, 0xFE,
                                         0xFF, 0x70, 0xFE, 0xFF, 0,
                                         0,    0,    0,    0,    static_cast<uint8_t>(1 << (k - 1)),
                                         0,    0xE8, 3,    0xE8, 3,
                                         0xE8, 3,    0xE8, 3,    0xE8,
                                         3,    0xE8, 3,    0xE8, 3,
                                         0xE8, 3};
    std::copy(record.begin(), record.end(), d.begin() + 384 + 80 * (k - 1));
    d[384 + 80 * (k - 1) + 66] = 0x80;
  }
  return d;
}

}  // namespace s470
