#include <windows.h>

#include <string>

#include "serial/line_settings_win32.h"
#include "serial/serial_device.h"

namespace s470 {

void SetLineDcb(const LineSettings& settings, DCB* dcb) {
  const DcbFields f = MakeDcbFields(settings);
  dcb->BaudRate = f.baudRate;
  dcb->ByteSize = f.byteSize;
  dcb->Parity = f.parity;  // always set: after mark/space the driver may report garbage here
  dcb->StopBits = f.stopBits;
  dcb->fParity = f.fParity;
  dcb->fOutxCtsFlow = f.fOutxCtsFlow;
  dcb->fOutxDsrFlow = f.fOutxDsrFlow;
  dcb->fDtrControl = f.fDtrControl;
  dcb->fDsrSensitivity = f.fDsrSensitivity;
  dcb->fTXContinueOnXoff = f.fTXContinueOnXoff;
  dcb->fOutX = f.fOutX;
  dcb->fInX = f.fInX;
  if (f.clearNull) dcb->fNull = 0;
  if (f.clearErrorChar) dcb->fErrorChar = 0;
  dcb->fRtsControl = f.fRtsControl;
  dcb->XonLim = f.xonLim;
  dcb->XoffLim = f.xoffLim;
  dcb->XonChar = static_cast<char>(f.xonChar);
  dcb->XoffChar = static_cast<char>(f.xoffChar);
  dcb->EvtChar = static_cast<char>(f.evtChar);
}

namespace {

// The parity (high byte) and data bits (low byte) each port last took in this process.
constexpr int kPorts = 256;
uint16_t g_lastApplied[kPorts];

class Win32SerialDevice final : public SerialDevice {
 public:
  ~Win32SerialDevice() override { Close(); }

  bool Open(int port) override {
    Close();
    port_ = port;
    // The \\.\ form opens COM10 and above as well.
    const std::string name = "\\\\.\\COM" + std::to_string(port);
    handle_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle_ != INVALID_HANDLE_VALUE;
  }

  bool Apply(const LineSettings& settings) override {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    // The bus port keeps what the driver reports and fails without it; the direct port goes on
    // with its own settings regardless.
    if (!GetCommState(handle_, &dcb) && settings.style == DcbStyle::kBus) return false;
    SetLineDcb(settings, &dcb);
    if (SetCommState(handle_, &dcb) != FALSE ||
        (RefusedAsUnchanged(dcb) && ApplyThroughOtherParity(dcb))) {
      Remember(dcb);
      return true;
    }
    return false;
  }

  bool SetQueues(uint32_t inBytes, uint32_t outBytes) override {
    return SetupComm(handle_, inBytes, outBytes) != FALSE;
  }

  bool SetReadTimeouts(ReadTimeouts timeouts) override {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    if (timeouts == ReadTimeouts::kWait300ms) {
      t.ReadTotalTimeoutMultiplier = MAXDWORD;
      t.ReadTotalTimeoutConstant = 300;
    }
    return SetCommTimeouts(handle_, &t) != FALSE;
  }

  int Read(uint8_t* buffer, int count) override {
    DWORD n = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &n, nullptr)) return 0;
    return static_cast<int>(n);
  }

  int Write(const uint8_t* buffer, int count) override {
    DWORD n = 0;
    if (!WriteFile(handle_, buffer, static_cast<DWORD>(count), &n, nullptr)) return 0;
    return static_cast<int>(n);
  }

  bool SetDtr(bool on) override {
    return EscapeCommFunction(handle_, on ? SETDTR : CLRDTR) != FALSE;
  }
  bool SetRts(bool on) override {
    return EscapeCommFunction(handle_, on ? SETRTS : CLRRTS) != FALSE;
  }

  void Close() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  // Wine on a pseudo-terminal refuses (ERROR_INVALID_PARAMETER) settings that ask for a parity
  // or 7 data bits when they change nothing the terminal holds: it drops the parity enable and
  // keeps 8 data bits, and that counts as an error when nothing else changed. So the parity and
  // data bits this port last took, applied again, are refused although all is in place. Only
  // that case passes through another parity; any other refusal is final.
  bool RefusedAsUnchanged(const DCB& dcb) const {
    const uint16_t wanted = static_cast<uint16_t>(dcb.Parity << 8 | dcb.ByteSize);
    return GetLastError() == ERROR_INVALID_PARAMETER && wanted != (NOPARITY << 8 | 8) &&
           port_ >= 0 && port_ < kPorts && g_lastApplied[port_] == wanted;
  }
  bool ApplyThroughOtherParity(DCB dcb) {
    DCB other = dcb;
    other.Parity = dcb.Parity == NOPARITY ? EVENPARITY : NOPARITY;
    return SetCommState(handle_, &other) != FALSE && SetCommState(handle_, &dcb) != FALSE;
  }
  void Remember(const DCB& dcb) {
    if (port_ >= 0 && port_ < kPorts)
      g_lastApplied[port_] = static_cast<uint16_t>(dcb.Parity << 8 | dcb.ByteSize);
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  int port_ = -1;
};

}  // namespace

std::unique_ptr<SerialDevice> NewPlatformSerialDevice() {
  return std::make_unique<Win32SerialDevice>();
}

void SleepMs(uint32_t ms) {
  Sleep(ms);
}

}  // namespace s470
