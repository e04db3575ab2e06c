// The direct serial port of the setup transfer: one blocking port at 4800 baud, 8 data bits, no
// parity, 2 stop bits, DTR and RTS on, whose reads return a waiting byte at once and give up
// after 300 ms of silence.
#pragma once

#include <cstdint>

namespace s470 {

// A line that keeps talking is given up on after this long (emptying the input, skipping bytes
// before the gauge's echo, the identification line): a gauge that never falls quiet must end
// in a failure, not in a hang.
constexpr uint32_t kQuietLimitMs = 3000;

// 0 open, configured and emptied; 1 failure (the port does not exist or is held, a setting is
// refused, or the line did not fall quiet). Call CloseDirectPort afterwards in either case.
int16_t OpenDirectPort(int16_t port);
void CloseDirectPort();
bool IsDirectPortOpen();

// Writes count bytes; returns how many were handed to the driver.
int WriteDirectPort(const uint8_t* bytes, int count);
// Reads at most count bytes: at once when one is waiting, else after 300 ms with none (0).
int ReadDirectPort(uint8_t* buffer, int count);

// Reads and discards bytes until a read times out (300 ms of silence). false when the line is
// still talking after kQuietLimitMs.
bool EmptyDirectPortInput();

// The time in which the transfer's pauses and quiet limits pass: the steady clock and real
// sleeps, or a clock that a test drives together with a device whose reads move it on.
class DirectPortClock {
 public:
  virtual ~DirectPortClock() = default;
  virtual double NowMs() = 0;
  virtual void Sleep(uint32_t ms) = 0;
};
void SetDirectPortClock(DirectPortClock* clock);  // null: real time
double DirectPortNowMs();
void DirectPortSleep(uint32_t ms);

}  // namespace s470
