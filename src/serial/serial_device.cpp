#include "serial/serial_device.h"

namespace s470 {

namespace {
SerialDeviceFactory g_factory = nullptr;
}

std::unique_ptr<SerialDevice> NewSerialDevice() {
  return g_factory != nullptr ? g_factory() : NewPlatformSerialDevice();
}

void SetSerialDeviceFactory(SerialDeviceFactory factory) { g_factory = factory; }

DcbFields MakeDcbFields(const LineSettings& s) {
  DcbFields d{};
  d.baudRate = s.baud;
  d.byteSize = s.dataBits;
  switch (s.parity) {
    case Parity::kNone: d.parity = 0; break;
    case Parity::kOdd: d.parity = 1; break;
    case Parity::kEven: d.parity = 2; break;
    case Parity::kMark: d.parity = 3; break;
    case Parity::kSpace: d.parity = 4; break;
  }
  d.stopBits = s.stopBits == 2 ? 2 : 0;
  // No parity checking on receive and no flow control of any kind.
  d.fParity = d.fOutxCtsFlow = d.fOutxDsrFlow = d.fDsrSensitivity = false;
  d.fTXContinueOnXoff = d.fOutX = d.fInX = false;
  d.clearNull = s.style == DcbStyle::kDirect;
  d.clearErrorChar = s.style == DcbStyle::kBus;
  d.fDtrControl = s.dtr ? 1 : 0;
  d.fRtsControl = s.rts ? 1 : 0;
  d.xonLim = d.xoffLim = 0;
  d.xonChar = 0x11;
  d.xoffChar = 0x13;
  d.evtChar = 0;
  return d;
}

}  // namespace s470
