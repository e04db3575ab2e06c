#include "serial/bus_ops.h"

#include <cstring>

#include "serial/bus_port.h"

namespace s470 {

int16_t BusSend(int16_t port, const uint8_t* buffer, int16_t length) {
  SerialDevice* device = BusDevice(port);
  if (device == nullptr) return 1;
  // A write that did not go out shows up as a missing echo or answer.
  if (length > 0) device->Write(buffer, length);
  return 0;
}

int16_t BusTransact(int16_t port, int32_t count, uint8_t terminator, int32_t timeoutMs,
                    uint8_t* reply, size_t capacity) {
  SerialDevice* device = BusDevice(port);
  if (device == nullptr || reply == nullptr || count < 0 || capacity == 0) return 1;
  if (count > 0 && static_cast<size_t>(count) >= capacity) return 1;  // no room for the zero byte
  const bool onlyWaiting = timeoutMs <= 0;
  const uint32_t allowed = onlyWaiting ? 0 : static_cast<uint32_t>(timeoutMs) / kTickMs;
  size_t stored = 0;
  for (;;) {
    // Each byte has its own wait, counted from the previous byte.
    const uint32_t start = BusTicks(port);
    uint8_t byte = 0;
    for (;;) {
      // Polled without sleeping so that an answer is taken the moment it arrives.
      if (BusTicks(port) - start > allowed) return 1;
      if (device->Read(&byte, 1) == 1) break;
      if (onlyWaiting) return 1;
    }
    if (count == 0) {
      if (byte == terminator) {
        reply[stored] = 0;
        return 0;
      }
      if (stored + 1 >= capacity) return 1;  // the answer does not fit
    }
    reply[stored++] = byte;
    if (count > 0 && stored == static_cast<size_t>(count)) {
      reply[stored] = 0;
      return 0;
    }
  }
}

void BusDrain(int16_t port, int32_t quietMs) {
  if (!BusPortIsOpen(port)) return;
  const uint32_t begin = BusTicks(port);
  uint8_t byte[2];
  while (BusTransact(port, 1, 0, quietMs, byte, sizeof byte) == 0) {
    if (BusTicks(port) - begin > kDrainLimitTicks) return;
  }
}

int16_t BusSendEcho(int16_t port, const uint8_t* buffer, int16_t length, int16_t sendOnly) {
  if (length < 0 || length > kMaxEchoBytes || !BusPortIsOpen(port)) return 1;
  BusSend(port, buffer, length);
  if (sendOnly == 1 || length == 0) return 0;
  uint8_t echo[kMaxEchoBytes + 1];
  if (BusTransact(port, length, 0, length <= 20 ? 100 : 500, echo, sizeof echo) != 0) return 1;
  return std::memcmp(echo, buffer, static_cast<size_t>(length)) == 0 ? 0 : 1;
}

int16_t BusStartSequence(int16_t port) {
  // The gauge that carries the bus is told at 4800 baud to pass the bus through.
  if (OpenBusPort(port, 4800, 0, 8, 2, 1, 1) != 0) return 1;
  const uint8_t gauge[] = {0x09, 0x0D, 0x13};
  BusSend(port, gauge, sizeof gauge);
  CloseBusPort(port);
  // The modules are woken by 0x00 with mark parity; 0x81 follows with space parity.
  if (OpenBusPort(port, 115200, kParityWake, 8, 2, 1, 1) != 0) return 1;
  const uint8_t start = 0x81;
  BusSend(port, &start, 1);
  BusDrain(port, 100);
  CloseBusPort(port);
  return 0;
}

}  // namespace s470
