// A serial port as the protocols see it. One implementation per platform:
// serial_device_win32.cpp (CreateFileA "\\.\COMn", DCB, COMMTIMEOUTS) and
// serial_device_posix.cpp (termios; mark/space parity through CMSPAR).
#pragma once

#include <cstdint>
#include <memory>

namespace s470 {

enum class Parity : uint8_t { kNone, kEven, kOdd, kSpace, kMark };

struct LineSettings {
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

// A new, closed device of this platform (or of the factory a test installed).
std::unique_ptr<SerialDevice> NewSerialDevice();
using SerialDeviceFactory = std::unique_ptr<SerialDevice> (*)();
void SetSerialDeviceFactory(SerialDeviceFactory factory);  // null restores the platform's

// Fixed pauses of the protocols.
void SleepMs(uint32_t ms);

}  // namespace s470
