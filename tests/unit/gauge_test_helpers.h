// What the native and the Wine tests of the gauge transfer both need: the bytes on the wire,
// the texts the transfer shows, patterned setups and gauge memories (something in every byte,
// so that any change shows), and a port with a driven clock for gauges that never answer or
// never fall quiet.
#pragma once

#include <algorithm>
#include <functional>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "gauge_sim.h"
#include "serial/direct_port.h"
#include "serial/serial_device.h"

namespace s470::gauge_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

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
  return Cat({Repeat({0xC9, 0x8D}, wakePairs), {0x8D, 0x8D, 0xC9, 0x8D, 0x10, 0x0D, 0x13, 0xC2, 0x3D}});
}
inline Bytes WriteStart() { return {0xC9, 0x8D, 0x8D, 0x8D, 0x10, 0x0D, 0x13, 0xC4, 0x3B}; }
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

inline Bytes AsBytes(const sim::GaugeMemory& m) { return Bytes(m.begin(), m.end()); }

// Bytes +65 and +66 of the eight channel records (at 384 + 80k), where a write fills in defaults.
inline void SetChannelBytes(Bytes& setup, const uint8_t (&pairs)[8][2]) {
  for (int k = 0; k < 8; ++k) {
    setup[384 + 80 * k + 65] = pairs[k][0];
    setup[384 + 80 * k + 66] = pairs[k][1];
  }
}

// A port on a clock that the test drives (install both), recording what it is asked to do and what
// is written to it, refusing one step on request. A read takes the bytes asked for that the test's
// gauge has made ready, each at its line time (11 bits at 4800 baud), or else waits out the 300 ms
// time-out.
struct FakePort : SerialDevice {
  static inline std::vector<std::string> calls;  // "open 12", "apply", "queues 8192 8192", ...
  static inline LineSettings applied;
  static inline Bytes written, ready;
  static inline bool chatter = false;  // every read finds a byte (0x55)
  static inline std::function<void()> gauge;  // runs after every write
  static inline std::string refuse;  // "open", "apply", "queues" or "timeouts"
  static inline double nowMs = 0;
  static void Reset() {
    calls.clear();
    written.clear();
    ready.clear();
    refuse.clear();
    chatter = false;
    gauge = nullptr;
    nowMs = 0;
  }
  static std::unique_ptr<SerialDevice> New() { return std::make_unique<FakePort>(); }

  struct Clock : DirectPortClock {
    double NowMs() override { return nowMs; }
    void Sleep(uint32_t ms) override { nowMs += ms; }
  };

  bool open = false;
  bool Step(const std::string& call, const std::string& step) {
    calls.push_back(call);
    return refuse != step;
  }
  bool Open(int port) override { return open = Step("open " + std::to_string(port), "open"); }
  bool Apply(const LineSettings& s) override {
    applied = s;
    return Step("apply", "apply");
  }
  bool SetQueues(uint32_t in, uint32_t out) override {
    return Step("queues " + std::to_string(in) + " " + std::to_string(out), "queues");
  }
  bool SetReadTimeouts(ReadTimeouts t) override {
    return Step(t == ReadTimeouts::kWait300ms ? "timeouts 300" : "timeouts none", "timeouts");
  }
  int Read(uint8_t* b, int count) override {
    calls.push_back("read");
    if (!chatter && ready.empty()) {
      nowMs += 300;
      return 0;
    }
    // As many bytes as are asked for and ready, as a real port delivers them.
    const int n = chatter ? count : std::min(count, static_cast<int>(ready.size()));
    for (int i = 0; i < n; ++i) b[i] = chatter ? 0x55 : ready[static_cast<size_t>(i)];
    if (!chatter) ready.erase(ready.begin(), ready.begin() + n);
    nowMs += n * 11000.0 / 4800;
    return n;
  }
  int Write(const uint8_t* b, int n) override {
    written.insert(written.end(), b, b + n);
    if (gauge) gauge();
    return n;
  }
  bool SetDtr(bool) override { return false; }
  bool SetRts(bool) override { return false; }
  void Close() override {
    if (open) calls.push_back("close");
    open = false;
  }
  bool IsOpen() const override { return open; }
};

}  // namespace s470::gauge_test
