// A serial line and a clock that the bus tests drive: the device records every call in order,
// delivers bytes once the driven time has reached their arrival, and can echo what is written.
// The clock moves on by msPerLook at every look the bus code takes at the tick counter.
#pragma once

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
#include "serial/serial_device.h"

namespace s470 {

struct WireEvent {
  std::string what;
  std::chrono::steady_clock::time_point at;  // real time, for the DTR/RTS gap
};

class FakeWire : public BusClock {
 public:
  // Driven time.
  double nowMs = 0;
  double msPerLook = 1;
  double phaseMs = 0;  // where the tick boundaries lie
  int looks = 0;
  uint32_t Ticks(int16_t) override {
    ++looks;
    nowMs += msPerLook;
    return TickAt(nowMs);
  }
  uint32_t TickAt(double ms) const { return static_cast<uint32_t>(std::floor((ms + phaseMs) / 50)); }

  // The line.
  std::deque<std::pair<double, uint8_t>> incoming;  // arrival time, byte
  std::vector<uint8_t> written;
  std::vector<WireEvent> events;
  bool echo = false;
  std::map<size_t, uint8_t> echoAs;  // index in `written` -> the byte that comes back instead
  std::function<void()> onWrite;     // the other end's answer, after every write
  LineSettings settings;             // as last applied

  // Failures: the call of that kind fails.
  bool failOpen = false, failQueues = false, failTimeouts = false;
  int failApplyNumber = -1;  // counts the applies from 0
  int applies = 0;

  void Arrive(double atMs, const std::vector<uint8_t>& bytes, double spacingMs = 0) {
    for (size_t i = 0; i < bytes.size(); ++i) incoming.emplace_back(atMs + spacingMs * i, bytes[i]);
  }
  void Note(const std::string& what) { events.push_back({what, std::chrono::steady_clock::now()}); }
  std::vector<std::string> Events() const {
    std::vector<std::string> out;
    for (const auto& e : events) out.push_back(e.what);
    return out;
  }
  void Reset() { *this = FakeWire(); }
};

inline FakeWire& Wire() {
  static FakeWire wire;
  return wire;
}

inline char ParityLetter(Parity p) { return "NEOSM"[static_cast<int>(p)]; }  // the enum's order

class FakeBusDevice final : public SerialDevice {
 public:
  bool Open(int port) override {
    Wire().Note("open " + std::to_string(port));
    open_ = !Wire().failOpen;
    return open_;
  }
  bool Apply(const LineSettings& s) override {
    FakeWire& w = Wire();
    char text[64];
    std::snprintf(text, sizeof text, "apply %u %u%c%u%s%s%s", s.baud, s.dataBits,
                  ParityLetter(s.parity), s.stopBits, s.dtr ? " dtr" : "", s.rts ? " rts" : "",
                  s.style == DcbStyle::kBus ? "" : " direct");
    w.Note(text);
    if (w.applies++ == w.failApplyNumber) return false;
    w.settings = s;
    return true;
  }
  bool SetQueues(uint32_t in, uint32_t out) override {
    Wire().Note("queues " + std::to_string(in) + " " + std::to_string(out));
    return !Wire().failQueues;
  }
  bool SetReadTimeouts(ReadTimeouts t) override {
    Wire().Note(t == ReadTimeouts::kReturnAtOnce ? "timeouts at once" : "timeouts 300");
    return !Wire().failTimeouts;
  }
  int Read(uint8_t* buffer, int count) override {
    FakeWire& w = Wire();
    if (count < 1 || w.incoming.empty() || w.incoming.front().first > w.nowMs) return 0;
    buffer[0] = w.incoming.front().second;
    w.incoming.pop_front();
    return 1;
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
    w.Note(text + " " + ParityLetter(w.settings.parity));
    if (w.onWrite) w.onWrite();
    return count;
  }
  bool SetDtr(bool on) override {
    Wire().Note(on ? "dtr on" : "dtr off");
    return false;  // as on a pseudo-terminal
  }
  bool SetRts(bool on) override {
    Wire().Note(on ? "rts on" : "rts off");
    return false;
  }
  void Close() override {
    if (open_) Wire().Note("close");
    open_ = false;
  }
  bool IsOpen() const override { return open_; }

 private:
  bool open_ = false;
};

inline std::unique_ptr<SerialDevice> NewFakeBusDevice() { return std::make_unique<FakeBusDevice>(); }

// Installs the fake device (and, when asked, the driven clock) for the life of a test.
struct FakeWireScope {
  explicit FakeWireScope(bool drivenClock) {
    Wire().Reset();
    SetSerialDeviceFactory(NewFakeBusDevice);
    if (drivenClock) SetBusClock(&Wire());
  }
  ~FakeWireScope() {
    for (int16_t port = 0; port < kBusPortCount; ++port) CloseBusPort(port);
    SetBusClock(nullptr);
    SetSerialDeviceFactory(nullptr);
    SetTickThreadStarter(nullptr);
  }
};

}  // namespace s470
