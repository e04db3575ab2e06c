// A serial line and a clock that the tests drive, for the bus port and the direct port alike: the
// device records every call in order, delivers bytes once the driven time has reached their
// arrival, and can echo what is written. The clock moves on by 1 ms at every look the bus code
// takes at the tick counter, by a pause, and by what a waiting read of the direct port waits.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "serial/bus_port.h"
#include "serial/bus_tick_thread.h"
#include "serial/direct_port.h"
#include "serial/serial_device.h"

namespace s470 {

class FakeWire : public BusClock, public DirectPortClock {
 public:
  // Driven time.
  double nowMs = 0;
  double phaseMs = 0;  // where the tick boundaries lie
  int looks = 0;
  uint32_t Ticks(int16_t) override {
    ++looks;
    nowMs += 1;
    return static_cast<uint32_t>(std::floor((nowMs + phaseMs) / 50));
  }
  double NowMs() override { return nowMs; }
  void Sleep(uint32_t ms) override { nowMs += ms; }

  // The line.
  std::deque<std::pair<double, uint8_t>> incoming;  // arrival time, byte
  std::vector<uint8_t> written;
  std::vector<std::string> events;  // "open 5", "apply 115200 8M2 dtr rts", "write 02 FD M", ...
  bool echo = false;
  std::map<size_t, uint8_t> echoAs;  // index in `written` -> the byte that comes back instead
  std::function<void()> onWrite;     // the other end's answer, after every write
  LineSettings settings;             // as last applied
  // The call that fails, counted from 0 over the opens, applies, queue and time-out settings.
  int failCall = -1;
  int calls = 0;

  void Arrive(double atMs, const std::vector<uint8_t>& bytes, double spacingMs = 0) {
    for (size_t i = 0; i < bytes.size(); ++i) incoming.emplace_back(atMs + spacingMs * i, bytes[i]);
  }
  void Note(const std::string& what) { events.push_back(what); }
  bool Call(const std::string& what) {
    Note(what);
    return calls++ != failCall;
  }
};

inline FakeWire& Wire() {
  static FakeWire wire;
  return wire;
}

class FakeSerialDevice final : public SerialDevice {
 public:
  bool Open(int port) override { return open_ = Wire().Call("open " + std::to_string(port)); }
  bool Apply(const LineSettings& s) override {
    char text[64];
    std::snprintf(text, sizeof text, "apply %u %u%c%u%s%s%s", s.baud, s.dataBits, Letter(s.parity),
                  s.stopBits, s.dtr ? " dtr" : "", s.rts ? " rts" : "",
                  s.style == DcbStyle::kBus ? "" : " direct");
    if (!Wire().Call(text)) return false;
    Wire().settings = s;
    return true;
  }
  bool SetQueues(uint32_t in, uint32_t out) override {
    return Wire().Call("queues " + std::to_string(in) + " " + std::to_string(out));
  }
  bool SetReadTimeouts(ReadTimeouts t) override {
    timeouts_ = t;
    return Wire().Call(t == ReadTimeouts::kReturnAtOnce ? "timeouts at once" : "timeouts 300");
  }
  // A waiting read takes up to 300 ms for its first byte; then as many bytes as are asked for
  // and have come, as a real port hands them over.
  int Read(uint8_t* buffer, int count) override {
    FakeWire& w = Wire();
    const double until = w.nowMs + (timeouts_ == ReadTimeouts::kWait300ms ? 300 : 0);
    if (w.incoming.empty() || w.incoming.front().first > until) {
      w.nowMs = until;
      return 0;
    }
    w.nowMs = std::max(w.nowMs, w.incoming.front().first);
    int n = 0;
    for (; n < count && !w.incoming.empty() && w.incoming.front().first <= w.nowMs; ++n) {
      buffer[n] = w.incoming.front().second;
      w.incoming.pop_front();
    }
    return n;
  }
  int Write(const uint8_t* buffer, int count) override {
    FakeWire& w = Wire();
    std::string text = "write";
    for (int i = 0; i < count; ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02X", buffer[i]);
      text += hex;
      if (w.echo) {
        auto as = w.echoAs.find(w.written.size());
        w.incoming.emplace_back(w.nowMs, as != w.echoAs.end() ? as->second : buffer[i]);
      }
      w.written.push_back(buffer[i]);
    }
    w.Note(text + " " + Letter(w.settings.parity));
    if (w.onWrite) w.onWrite();
    return count;
  }
  bool SetDtr(bool on) override { return Modem(on ? "dtr on" : "dtr off"); }
  bool SetRts(bool on) override { return Modem(on ? "rts on" : "rts off"); }
  void Close() override {
    if (open_) Wire().Note("close");
    open_ = false;
  }
  bool IsOpen() const override { return open_; }

 private:
  static char Letter(Parity p) { return "NEOSM"[static_cast<int>(p)]; }  // the enum's order
  // As on a pseudo-terminal, the modem lines cannot be set.
  static bool Modem(const char* what) {
    Wire().Note(what);
    return false;
  }
  bool open_ = false;
  ReadTimeouts timeouts_ = ReadTimeouts::kReturnAtOnce;
};

// Installs the fake device (and, when asked, the driven clock of both ports) for the life of a
// test.
struct FakeWireScope {
  explicit FakeWireScope(bool drivenClock) {
    Wire() = FakeWire();
    SetSerialDeviceFactory(
        []() -> std::unique_ptr<SerialDevice> { return std::make_unique<FakeSerialDevice>(); });
    if (drivenClock) {
      SetBusClock(&Wire());
      SetDirectPortClock(&Wire());
    }
  }
  ~FakeWireScope() {
    for (int16_t port = 0; port < kBusPortCount; ++port) CloseBusPort(port);
    CloseDirectPort();
    SetBusClock(nullptr);
    SetDirectPortClock(nullptr);
    SetSerialDeviceFactory(nullptr);
    SetTickThreadStarter(nullptr);
  }
};

}  // namespace s470
