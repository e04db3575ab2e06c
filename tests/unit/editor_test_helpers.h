// What the setup editor's tests, native and under Wine, expect of a setup image.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
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
  // A channel record: unit and resolution, base, limits on, the four limits, then factors 1.000.
  const uint8_t record[] = {0,    16,   0, 0,    0,    0,    0x0F, 0x90, 0x01, 0x00,
                            0x2C, 0x01, 0, 0xD4, 0xFE, 0xFF, 0x70, 0xFE, 0xFF};
  for (int k = 0; k < 8; ++k) {
    uint8_t* r = &d[384 + 80 * k];
    std::copy(std::begin(record), std::end(record), r);
    r[24] = static_cast<uint8_t>(1 << k);  // its own input
    for (int i = 26; i < 42; ++i) r[i] = i % 2 ? 3 : 0xE8;
    r[66] = 0x80;
  }
  return d;
}

}  // namespace s470
