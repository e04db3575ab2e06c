// The bus port: the serial port through which the system talks to the QLBus modules (115200
// baud) and to the gauge that carries the bus (4800 baud). One operation opens and closes it
// several times in a row with other settings. While a port is open, a tick thread of its own
// counts 50 ms ticks; the receive operations (bus_ops.h) measure their time-outs against it.
#pragma once

#include <cstdint>

#include "serial/serial_device.h"

namespace s470 {

// Port numbers are COM numbers: records 0 to 8, COM1 to COM8 usable.
constexpr int kBusPortCount = 9;
constexpr uint32_t kTickMs = 50;
constexpr uint32_t kBusQueueBytes = 8192;

// Parity modes of OpenBusPort: 0 none, 1 even, 2 odd, 3 space, 4 mark, and 10: the wake byte
// 0x00 leaves with mark parity, everything after it with space parity.
constexpr uint16_t kParityWake = 10;

// 0 when the port is open and ready; 1 on any failure, also for a port, baud rate, parity
// mode, data-bit count or stop-bits code outside the tables. A port that is still open is
// closed first. After a failure the caller still calls CloseBusPort.
int16_t OpenBusPort(int16_t port, int32_t baud, uint16_t parityMode, uint16_t dataBits,
                    uint16_t stopBits, uint16_t dtr, uint16_t rts);
// Stops the tick thread, switches DTR off and 10 ms later RTS off, closes the device. Always 0;
// harmless on a port that is not open.
int16_t CloseBusPort(int16_t port);

bool BusPortIsOpen(int16_t port);
// The open device of the port, or null.
SerialDevice* BusDevice(int16_t port);

// The tick counter as the bus waits read it: afresh at every call.
uint32_t BusTicks(int16_t port);

// Where the bus waits read the time. Normally each port's own tick counter; tests of the
// time-out rules install a clock they drive themselves.
class BusClock {
 public:
  virtual ~BusClock() = default;
  virtual uint32_t Ticks(int16_t port) = 0;
};
void SetBusClock(BusClock* clock);  // null: the ports' own tick counters

// The port's own tick counter, whatever clock is installed.
uint32_t PortTickCounter(int16_t port);

}  // namespace s470
