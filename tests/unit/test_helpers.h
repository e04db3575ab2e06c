// Small helpers the native and Wine tests share: bytes and texts, joined lists, and what the PC
// sent on a simulated bus line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim_line.h"

namespace s470 {

inline std::vector<uint8_t> ToBytes(const std::string& text) { return {text.begin(), text.end()}; }
inline std::string Text(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// The parts one after the other.
template <typename T>
std::vector<T> Join(std::initializer_list<std::vector<T>> parts) {
  std::vector<T> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The bytes the PC sent, each with the line settings it came under: "81 115200 S 2".
inline std::vector<std::string> HostBytes(const sim::SimLine& line) {
  std::vector<std::string> out;
  for (const auto& e : line.Log()) {
    if (e.direction != '>') continue;
    char text[40];
    std::snprintf(text, sizeof text, "%02X %s", e.byte, e.line.ToString().c_str());
    out.push_back(text);
  }
  return out;
}

// What an analysis sends: the bus start (gauge bytes at 4800 baud, wake byte, 0x81), identify,
// and the closing wake byte and 0x81.
inline const std::vector<std::string> kBusStart = {"09 4800 N 2", "0D 4800 N 2", "13 4800 N 2",
                                                   "00 115200 M 2", "81 115200 S 2"};
inline const std::vector<std::string> kBusIdentify = {"00 115200 M 2", "02 115200 M 2", "FD 115200 M 2"};
inline const std::vector<std::string> kBusEnd = {"00 115200 M 2", "81 115200 S 2"};

}  // namespace s470
