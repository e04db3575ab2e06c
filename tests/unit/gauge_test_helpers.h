// What the native and the Wine tests of the gauge transfer both need: the bytes on the wire,
// the texts the transfer shows, patterned setups and gauge memories (something in every byte,
// so that any change shows).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "gauge_sim.h"
#include "test_helpers.h"

namespace s470::gauge_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Repeat(const Bytes& b, int n) {
  Bytes all;
  for (int i = 0; i < n; ++i) all.insert(all.end(), b.begin(), b.end());
  return all;
}

// 48 blocks of 16 bytes, each followed by the complement of its 8-bit sum (worked out here,
// not by the code under test).
inline Bytes WithChecksums(const uint8_t* data) {
  Bytes out;
  for (int b = 0; b < 48; ++b) {
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i) sum = static_cast<uint8_t>(sum + data[16 * b + i]);
    out.insert(out.end(), data + 16 * b, data + 16 * b + 16);
    out.push_back(static_cast<uint8_t>(~sum));
  }
  return out;
}

// The host's bytes up to the first block: wake-up pairs until the echo, the two confirmations,
// then (read) a second pair for the identification line, the lead-in and the command.
inline Bytes ReadStart(int wakePairs = 1) {
  return Join(
      {Repeat({0xC9, 0x8D}, wakePairs), {0x8D, 0x8D, 0xC9, 0x8D, 0x10, 0x0D, 0x13, 0xC2, 0x3D}});
}
inline Bytes WriteStart() {
  return {0xC9, 0x8D, 0x8D, 0x8D, 0x10, 0x0D, 0x13, 0xC4, 0x3B};
}
inline const Bytes kEndCommandBytes = {0xC1, 0x3E};

inline const char kNoConnection[] =
    "No connection to the ORV module. Please check the cable, the COM port and the power supply "
    "of the S470, then try again.";
inline const char kNotAccepted[] =
    "The S470 gauge did not accept the setup data. The setup in the gauge is incomplete: please "
    "write it again.";

// Every status line of a whole transfer, in order.
inline std::vector<std::string> ProgressLines() {
  std::vector<std::string> lines = {"Connection : RS232", " Please wait ... ( Gauge is busy ) "};
  for (int a = 272; a <= 1024; a += 16) lines.push_back("Transferred: " + std::to_string(a) + " / 1024");
  lines.push_back("o.k.");
  return lines;
}

inline Bytes PatternedSetup() {
  Bytes b(7500);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 13 + 5);
  return b;
}

inline sim::GaugeMemory PatternedGauge(int seed) {
  sim::GaugeMemory m{};
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * (2 * seed + 1) + seed);
  return m;
}

// A setup after a read of `memory` from a gauge of module type `type`.
inline Bytes SetupAfterRead(Bytes setup, const sim::GaugeMemory& memory, uint8_t type) {
  std::copy(memory.begin(), memory.end(), setup.begin() + 256);
  setup[255] = type;
  return setup;
}

// Bytes +65 and +66 of the eight channel records (at 384 + 80k), where a write fills in defaults.
inline void SetChannelBytes(Bytes& setup, const uint8_t (&pairs)[8][2]) {
  for (int k = 0; k < 8; ++k) {
    setup[384 + 80 * k + 65] = pairs[k][0];
    setup[384 + 80 * k + 66] = pairs[k][1];
  }
}

}  // namespace s470::gauge_test
