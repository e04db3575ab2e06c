#include "serial/bus_port.h"

#include <atomic>
#include <memory>

#include "serial/bus_ops.h"
#include "serial/bus_tick_thread.h"

namespace s470 {

namespace {

struct BusPortRecord {
  std::unique_ptr<SerialDevice> device;  // null while the port is closed
  TickThreadHandle tickThread = 0;
  std::atomic<int16_t> running{0};   // 1 while the tick thread is to go on
  std::atomic<uint32_t> ticks{0};    // written by the tick thread alone
};

BusPortRecord g_ports[kBusPortCount];

// Shared by all ports: the tick thread sets 1 once it runs and 0 as its last act. Bus ports are
// therefore opened and closed one at a time, all on the host's thread.
std::atomic<int16_t> g_startStop{0};

BusClock* g_clock = nullptr;
TickThreadStarter g_starter = nullptr;

bool KnownBaud(int32_t baud) {
  switch (baud) {
    case 1200: case 2400: case 4800: case 9600: case 19200: case 38400: case 57600: case 115200:
      return true;
    default:
      return false;
  }
}

bool ParityOfMode(uint16_t mode, Parity* parity) {
  switch (mode) {
    case 0: *parity = Parity::kNone; return true;
    case 1: *parity = Parity::kEven; return true;
    case 2: *parity = Parity::kOdd; return true;
    case 3: *parity = Parity::kSpace; return true;
    case 4:
    case kParityWake: *parity = Parity::kMark; return true;  // the wake byte leaves with mark
    default: return false;
  }
}

BusPortRecord* Record(int16_t port) {
  return port >= 0 && port < kBusPortCount ? &g_ports[port] : nullptr;
}

}  // namespace

void RunTickThread(int16_t port) {
  BusPortRecord& r = g_ports[port];
  r.running.store(1);
  r.ticks.store(0);
  g_startStop.store(1);  // lets the opener go on
  do {
    r.ticks.store(r.ticks.load() + 1);
    PauseBetweenTicks();
  } while (r.running.load() == 1);
  g_startStop.store(0);
}

void SetTickThreadStarter(TickThreadStarter starter) { g_starter = starter; }

int16_t OpenBusPort(int16_t port, int32_t baud, uint16_t parityMode, uint16_t dataBits,
                    uint16_t stopBits, uint16_t dtr, uint16_t rts) {
  Parity parity = Parity::kNone;
  if (port < 1 || port >= kBusPortCount || !KnownBaud(baud) || !ParityOfMode(parityMode, &parity) ||
      (dataBits != 7 && dataBits != 8) || (stopBits != 1 && stopBits != 2))
    return 1;
  BusPortRecord& r = g_ports[port];
  // Reopening over an open port would leave its tick thread behind.
  if (r.device != nullptr) CloseBusPort(port);
  r.running.store(0);

  std::unique_ptr<SerialDevice> device = NewSerialDevice();
  if (!device->Open(port)) return 1;
  r.device = std::move(device);

  LineSettings settings;
  settings.style = DcbStyle::kBus;
  settings.baud = static_cast<uint32_t>(baud);
  settings.dataBits = static_cast<uint8_t>(dataBits);
  settings.parity = parity;
  settings.stopBits = static_cast<uint8_t>(stopBits);
  settings.dtr = dtr == 1;
  settings.rts = rts == 1;
  if (!r.device->Apply(settings)) return 1;
  if (!r.device->SetQueues(kBusQueueBytes, kBusQueueBytes)) return 1;
  if (!r.device->SetReadTimeouts(ReadTimeouts::kReturnAtOnce)) return 1;

  g_startStop.store(0);
  const TickThreadHandle thread = (g_starter != nullptr ? g_starter : StartTickThread)(port);
  if (thread == 0) return 1;  // a thread that never runs would leave us waiting for good
  r.tickThread = thread;
  while (g_startStop.load() != 1) SleepMs(1);

  if (parityMode == kParityWake) {
    // The wake byte goes out with mark parity. The parity changes only once its echo is back
    // (or 100 ms have passed), so that the byte has left the line with mark parity; the echo is
    // taken in so that later reads do not see it.
    const uint8_t wake = 0x00;
    BusSend(port, &wake, 1);
    uint8_t echo[2];
    BusTransact(port, 1, 0, 100, echo, sizeof echo);
    settings.parity = Parity::kSpace;
    if (!r.device->Apply(settings)) return 1;
  }
  return 0;
}

int16_t CloseBusPort(int16_t port) {
  BusPortRecord* r = Record(port);
  if (r == nullptr || r->device == nullptr) return 0;
  if (r->running.load() == 1) {
    g_startStop.store(1);
    r->running.store(0);
    WakeTickThread(r->tickThread);
    while (g_startStop.load() == 1) SleepMs(1);
  }
  r->device->SetDtr(false);
  SleepMs(10);
  r->device->SetRts(false);
  r->device->Close();
  r->device.reset();
  if (r->tickThread != 0) ReleaseTickThread(r->tickThread);
  r->tickThread = 0;
  return 0;
}

bool BusPortIsOpen(int16_t port) { return BusDevice(port) != nullptr; }

SerialDevice* BusDevice(int16_t port) {
  BusPortRecord* r = Record(port);
  return r != nullptr ? r->device.get() : nullptr;
}

uint32_t PortTickCounter(int16_t port) {
  BusPortRecord* r = Record(port);
  return r != nullptr ? r->ticks.load() : 0;
}

uint32_t BusTicks(int16_t port) {
  return g_clock != nullptr ? g_clock->Ticks(port) : PortTickCounter(port);
}

void SetBusClock(BusClock* clock) { g_clock = clock; }

}  // namespace s470
