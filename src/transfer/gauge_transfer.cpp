#include "transfer/gauge_transfer.h"

#include <array>
#include <cstring>

#include "lang/fixed_message.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "serial/direct_port.h"
#include "serial/serial_device.h"
#include "slots/file_slots.h"

namespace s470 {

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint32_t kHandshakePauseMs = 100;
constexpr uint32_t kDoneShownMs = 1000;

// Fixed 8-bit texts of the progress line.
constexpr char kRs232[] = " : RS232";
constexpr char kBusy[] = " Please wait ... ( Gauge is busy ) ";
constexpr char kOfTotal[] = " / 1024";
constexpr char kDone[] = "o.k.";

template <size_t N>
void Send(const uint8_t (&bytes)[N]) {
  WriteDirectPort(bytes, static_cast<int>(N));
}

void SendByte(uint8_t b) { WriteDirectPort(&b, 1); }

// One byte, or -1 after 300 ms of silence.
int ReceiveByte() {
  uint8_t b = 0;
  return ReadDirectPort(&b, 1) == 1 ? b : -1;
}

class Deadline {
 public:
  explicit Deadline(uint32_t ms) : end_(DirectPortNowMs() + ms) {}
  bool Passed() const { return DirectPortNowMs() > end_; }

 private:
  double end_;
};

// Text n, copied at once: GetText's buffer lives only until the next lookup.
std::u16string Text(int n) { return GetText(n); }

std::u16string ProgressLine(uint32_t address) {
  return StatusLine(Text(kTextTransferred), Widen((std::to_string(address) + kOfTotal).c_str()));
}

void ShowStart(Window parent, int title, ProgressView& view) {
  view.Create(parent, Text(title));
  view.SetStatus(StatusLine(Text(kTextConnection), Widen(kRs232)));
  view.Repaint();
}

// Port and dialog opened, gauge woken: 0, else 1 with the port still to be closed.
int16_t OpenAndWake(int16_t port, ProgressView& view) {
  if (OpenDirectPort(port) != 0) return 1;
  view.SetStatus(StatusLine(Widen(kBusy), u""));
  view.Repaint();
  return WakeGauge();
}

int16_t Fail(ProgressView& view, int text) {
  view.ShowMessage(Text(text), kExclamationIcon);
  CloseDirectPort();
  view.Destroy();
  return 1;
}

int16_t Succeed(ProgressView& view) {
  view.SetStatus(StatusLine(Widen(kDone), u""));
  view.Repaint();
  DirectPortSleep(kDoneShownMs);
  view.Destroy();
  return 0;
}

// The identification line, each byte masked to 7 bits, up to and including its CR, or up to
// the silence that ends a line without one. false when the gauge is still talking when the
// buffer is full or after kQuietLimitMs.
bool ReadIdentification(std::string* line) {
  line->clear();
  const Deadline deadline(kQuietLimitMs);
  for (;;) {
    const int b = ReceiveByte();
    if (b < 0) return true;
    line->push_back(static_cast<char>(b & 0x7F));
    if ((b & 0x7F) == kCr) return true;
    if (line->size() >= kIdentificationBufferSize - 1 || deadline.Passed()) return false;
  }
}

}  // namespace

uint8_t BlockChecksum(const uint8_t* block) {
  uint8_t sum = 0;
  for (int i = 0; i < kGaugeBlockBytes; ++i) sum = static_cast<uint8_t>(sum + block[i]);
  return static_cast<uint8_t>(~sum);
}

uint8_t ModuleTypeFromIdentification(const std::string& line) {
  static const char kPrefix[] = "R/S470-";
  if (line.size() < 7 || std::memcmp(line.data(), kPrefix, 7) != 0) return 0;
  // A line too short to reach index 9 reads the zeroed buffer behind it.
  const int digit = (line.size() > 9 ? static_cast<unsigned char>(line[9]) : 0) - '0';
  return digit == 1 ? 1 : 2;
}

std::u16string StatusLine(const std::u16string& text, const std::u16string& tail) {
  std::u16string line = text + tail;
  if (line.size() > kStatusLineSize - 1) line.resize(kStatusLineSize - 1);
  return line;
}

int16_t WakeGauge() {
  bool awake = false;
  for (int attempt = 0; attempt < kWakeAttempts && !awake; ++attempt) {
    Send(kWakePair);
    // Bytes before the echo are skipped; a gauge that chatters without ever echoing is given up.
    const Deadline deadline(kQuietLimitMs);
    for (;;) {
      const int b = ReceiveByte();
      if (b < 0) break;
      if (b == kEchoByte) {
        awake = true;
        break;
      }
      if (deadline.Passed()) return 1;
    }
  }
  if (!awake) return 1;
  SendByte(kEchoByte);
  DirectPortSleep(kHandshakePauseMs);
  SendByte(kEchoByte);
  return EmptyDirectPortInput() ? 0 : 1;
}

int16_t ReadSetupFromGauge(Window parent, int16_t port, ProgressView& view) {
  ShowStart(parent, kTextReadTitle, view);
  if (OpenAndWake(port, view) != 0) return Fail(view, kTextNoConnection);

  Send(kWakePair);
  std::string identification;
  if (!ReadIdentification(&identification)) return Fail(view, kTextNoConnection);
  const uint8_t moduleType = ModuleTypeFromIdentification(identification);

  Send(kLeadIn);
  DirectPortSleep(kHandshakePauseMs);
  Send(kReadCommand);

  // Nothing reaches the setup before the last block has been checked.
  std::array<uint8_t, kGaugeBytes> setup{};
  for (int block = 0; block < kGaugeBlocks; ++block) {
    uint8_t* data = &setup[static_cast<size_t>(block) * kGaugeBlockBytes];
    for (int i = 0; i < kGaugeBlockBytes; ++i) {
      const int b = ReceiveByte();
      if (b < 0) return Fail(view, kTextNoConnection);
      data[i] = static_cast<uint8_t>(b);
    }
    const int checksum = ReceiveByte();
    if (checksum < 0 || checksum != BlockChecksum(data)) return Fail(view, kTextNoConnection);
    view.SetStatus(ProgressLine(kGaugeFirstAddress + (block + 1) * kGaugeBlockBytes));
    view.Repaint();
    view.PumpMessages();
  }
  for (int i = 0; i < kGaugeBytes; ++i) SetSlotByte(0, kGaugeFirstAddress + i, setup[i]);
  SetSlotByte(0, kModuleTypeAddress, moduleType);

  Send(kEndCommand);
  CloseDirectPort();
  return Succeed(view);
}

void PrepareChannelRecords() {
  for (uint32_t k = 0; k < 8; ++k) {
    const uint32_t base = 384 + 80 * k;
    if (GetSlotByte(0, base + 65) == 0 && GetSlotByte(0, base + 66) == 0)
      SetSlotByte(0, base + 66, 0x80);
  }
}

int16_t WriteSetupToGauge(Window parent, int16_t port, ProgressView& view) {
  ShowStart(parent, kTextWriteTitle, view);
  if (OpenAndWake(port, view) != 0) return Fail(view, kTextNoConnection);

  Send(kLeadIn);
  DirectPortSleep(kHandshakePauseMs);
  Send(kWriteCommand);

  uint32_t address = kGaugeFirstAddress;
  for (int block = 0; block < kGaugeBlocks; ++block) {
    uint8_t data[kGaugeBlockBytes];
    for (int i = 0; i < kGaugeBlockBytes; ++i) {
      data[i] = GetSlotByte(0, address++);
      SendByte(data[i]);
    }
    SendByte(BlockChecksum(data));
    const int answer = ReceiveByte();
    if (answer < 0) return Fail(view, kTextNoConnection);
    if (answer != kBlockAccepted) return Fail(view, kTextNotAccepted);
    view.SetStatus(ProgressLine(address));
    view.Repaint();
    view.PumpMessages();
  }

  Send(kEndCommand);
  CloseDirectPort();
  return Succeed(view);
}

bool CheckSetupOpen(Window parent) {
  if (IsSlotOpen(0) && GetSlotSize(0) >= kGaugeFirstAddress + kGaugeBytes) return true;
  ShowFixedMessage(parent, "No setup file is open. Open a setup file first.", nullptr,
                   kStopIcon);
  return false;
}

}  // namespace s470
