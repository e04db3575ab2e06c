// A serial port as the protocols see it. One implementation per platform:
// serial_device_win32.cpp (CreateFileA "\\.\COMn", DCB, COMMTIMEOUTS) and
// serial_device_posix.cpp (termios; mark/space parity through CMSPAR).
#pragma once

#include <cstdint>
#include <memory>

namespace s470 {

enum class Parity : uint8_t { kNone, kEven, kOdd, kSpace, kMark };

// The direct port clears null stripping; the bus port keeps what the driver reports for it.
enum class DcbStyle : uint8_t { kDirect, kBus };

struct LineSettings {
  DcbStyle style = DcbStyle::kBus;
  uint32_t baud = 4800;
  uint8_t dataBits = 8;
  Parity parity = Parity::kNone;
  uint8_t stopBits = 2;  // 1 or 2
  bool dtr = true;
  bool rts = true;
};

enum class ReadTimeouts : uint8_t {
  kWait300ms,   // a read returns at once with waiting bytes, else waits up to 300 ms for one
  kReturnAtOnce // a read returns at once with whatever has arrived, possibly nothing
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  // Opens COM<port> for reading and writing, unshared. false when it cannot be opened.
  virtual bool Open(int port) = 0;
  virtual bool Apply(const LineSettings& settings) = 0;
  virtual bool SetQueues(uint32_t inBytes, uint32_t outBytes) = 0;
  virtual bool SetReadTimeouts(ReadTimeouts timeouts) = 0;
  // Both return the number of bytes moved (0 on failure or time-out).
  virtual int Read(uint8_t* buffer, int count) = 0;
  virtual int Write(const uint8_t* buffer, int count) = 0;
  // DTR/RTS changes; pseudo-terminals refuse them, which callers tolerate.
  virtual bool SetDtr(bool on) = 0;
  virtual bool SetRts(bool on) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

// The Win32 device control block fields the system sets, worked out portably so they can be
// checked natively. Fields not listed keep what the driver reports.
struct DcbFields {
  uint32_t baudRate;
  uint8_t byteSize;
  uint8_t parity;    // NOPARITY 0, ODDPARITY 1, EVENPARITY 2, MARKPARITY 3, SPACEPARITY 4
  uint8_t stopBits;  // ONESTOPBIT 0, TWOSTOPBITS 2
  bool fParity, fOutxCtsFlow, fOutxDsrFlow, fDsrSensitivity, fTXContinueOnXoff, fOutX, fInX;
  bool clearNull;        // direct port: fNull 0
  bool clearErrorChar;   // bus port: fErrorChar 0
  uint8_t fDtrControl;   // DTR_CONTROL_DISABLE 0, DTR_CONTROL_ENABLE 1
  uint8_t fRtsControl;   // RTS_CONTROL_DISABLE 0, RTS_CONTROL_ENABLE 1
  uint16_t xonLim, xoffLim;
  uint8_t xonChar, xoffChar, evtChar;
};
DcbFields MakeDcbFields(const LineSettings& settings);

// A new, closed device of this platform (or of the factory a test installed).
std::unique_ptr<SerialDevice> NewSerialDevice();
using SerialDeviceFactory = std::unique_ptr<SerialDevice> (*)();
void SetSerialDeviceFactory(SerialDeviceFactory factory);  // null restores the platform's

// The platform's own device, whatever factory is installed.
std::unique_ptr<SerialDevice> NewPlatformSerialDevice();

// Fixed pauses of the protocols.
void SleepMs(uint32_t ms);

}  // namespace s470
