#include "serial/direct_port.h"

#include <chrono>
#include <memory>

#include "serial/serial_device.h"

namespace s470 {

namespace {

std::unique_ptr<SerialDevice> g_port;  // null while closed

constexpr uint32_t kQueueBytes = 8192;

DirectPortClock* g_clock = nullptr;

}  // namespace

int16_t OpenDirectPort(int16_t port) {
  CloseDirectPort();
  g_port = NewSerialDevice();
  if (!g_port->Open(port)) {
    g_port.reset();
    return 1;
  }
  LineSettings line;
  line.style = DcbStyle::kDirect;
  line.baud = 4800;
  line.dataBits = 8;
  line.parity = Parity::kNone;
  line.stopBits = 2;
  line.dtr = true;
  line.rts = true;
  if (!g_port->Apply(line)) return 1;
  if (!g_port->SetQueues(kQueueBytes, kQueueBytes)) return 1;
  if (!g_port->SetReadTimeouts(ReadTimeouts::kWait300ms)) return 1;
  // Whatever the gauge sent before we were listening is stale.
  return EmptyDirectPortInput() ? 0 : 1;
}

void CloseDirectPort() {
  if (g_port) g_port->Close();
  g_port.reset();
}

bool IsDirectPortOpen() { return g_port != nullptr && g_port->IsOpen(); }

int WriteDirectPort(const uint8_t* bytes, int count) {
  return g_port ? g_port->Write(bytes, count) : 0;
}

int ReadDirectPort(uint8_t* buffer, int count) {
  return g_port ? g_port->Read(buffer, count) : 0;
}

bool EmptyDirectPortInput() {
  const double start = DirectPortNowMs();
  uint8_t b = 0;
  while (ReadDirectPort(&b, 1) > 0) {
    if (DirectPortNowMs() - start > kQuietLimitMs) return false;
  }
  return true;
}

void SetDirectPortClock(DirectPortClock* clock) { g_clock = clock; }

double DirectPortNowMs() {
  if (g_clock != nullptr) return g_clock->NowMs();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void DirectPortSleep(uint32_t ms) {
  if (g_clock != nullptr)
    g_clock->Sleep(ms);
  else
    SleepMs(ms);
}

}  // namespace s470
