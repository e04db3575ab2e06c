// Bus traffic on an open bus port (bus_port.h).
//
// On the 115200-baud module line every byte sent comes back as an echo, in order, before any
// answer of a module; after each send the caller reads the echo back (BusSendEcho), drains it
// (BusDrain) or closes the port. Module commands are pairs: the command byte and its ones'
// complement. An answer's acknowledgement or status byte 0x00 means accepted. At 4800 baud the
// gauge answers without an echo.
//
// Waits are counted in 50 ms ticks of the port's tick counter, per byte: a time-out of t ms
// allows t / 50 ticks (remainder dropped) between the start value and the current count, so a
// wait ends between t and t + 50 ms for multiples of 50, at the next tick below 50 ms, and a
// time-out of 0 takes only bytes that have already arrived.
#pragma once

#include <cstddef>
#include <cstdint>

namespace s470 {

// The echo buffer of BusSendEcho holds 300 bytes: it handles at most 299.
constexpr int kMaxEchoBytes = 299;
// BusDrain gives up on a line that never falls quiet after this many ticks (5 s).
constexpr uint32_t kDrainLimitTicks = 100;

// One blocking write. 0; 1 when the port is not open (nothing is sent).
int16_t BusSend(int16_t port, const uint8_t* buffer, int16_t length);

// Waits for a reply; sends nothing. count > 0: exactly count bytes, then a zero byte at
// reply[count]. count 0: bytes up to the terminator, which is consumed but not stored, then a
// zero byte. 0 when the reply is complete; 1 on time-out (the bytes that came stay in reply,
// without the zero byte), when the port is not open, and when the reply and its zero byte do not
// fit into capacity bytes (count mode: nothing is read; terminator mode: reading stops there).
int16_t BusTransact(int16_t port, int32_t count, uint8_t terminator, int32_t timeoutMs,
                    uint8_t* reply, size_t capacity);

// Reads and discards bytes until none has come for quietMs, or kDrainLimitTicks have passed.
void BusDrain(int16_t port, int32_t quietMs);

// Sends the bytes and, unless sendOnly is 1, checks their echo (100 ms for up to 20 bytes,
// else 500 ms). 0 when the echo came whole and equal (or send only); 1 when it did not come in
// time, differed in any byte, the port is not open, or length is outside 0..299 (then nothing
// is sent).
int16_t BusSendEcho(int16_t port, const uint8_t* buffer, int16_t length, int16_t sendOnly);

// The start of a bus operation: at 4800 baud 8N2 the bytes 0x09 0x0D 0x13 for the gauge; then at
// 115200 baud the wake byte (parity mode 10), 0x81 and a 100 ms drain. 0 when done, the port
// closed; 1 when an open failed: the caller shows its failure text and closes the port.
int16_t BusStartSequence(int16_t port);

}  // namespace s470
