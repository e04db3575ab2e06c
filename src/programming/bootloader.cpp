#include "programming/bootloader.h"

#include <ctime>

#include "programming/bootloader_packet.h"
#include "programming/firmware_file.h"
#include "serial/bus_ops.h"
#include "serial/bus_port.h"
#include "serial/serial_device.h"

namespace s470 {

namespace {

FlashGeometry g_geometry;

constexpr char kPortFailure[] = " Error on opening the COM-Port";
constexpr char kCommunicationError[] = " Communication error";
constexpr size_t kIdentificationCapacity = 101;  // the longest identification line and its zero

// The line settings of the bootloader protocol: 2 stop bits, DTR and RTS on.
bool Open(int16_t port, int32_t baud, uint16_t parityMode, uint16_t dataBits) {
  return OpenBusPort(port, baud, parityMode, dataBits, 2, 1, 1) == 0;
}

void Send(const BootLink& link, std::initializer_list<uint8_t> bytes) {
  BusSend(link.port, bytes.begin(), static_cast<int16_t>(bytes.size()));
}

int16_t SendEcho(const BootLink& link, std::initializer_list<uint8_t> bytes) {
  return BusSendEcho(link.port, bytes.begin(), static_cast<int16_t>(bytes.size()), link.sendOnly);
}

// Waits for count answer bytes; false on time-out.
bool Answer(const BootLink& link, int32_t count, int32_t timeoutMs, uint8_t* reply,
            size_t capacity) {
  return BusTransact(link.port, count, 0, timeoutMs, reply, capacity) == 0;
}

// One answer byte; a time-out counts as `missing`.
uint8_t AnswerByte(const BootLink& link, int32_t timeoutMs, uint8_t missing) {
  uint8_t reply[2];
  return Answer(link, 1, timeoutMs, reply, sizeof reply) ? reply[0] : missing;
}

StepOutcome Failure(const std::string& text) {
  return {text, false};
}

// The module's wake pair at 4800 baud: the byte twice, 100 ms apart, then quiet.
void WakeAt4800(const BootLink& link, uint8_t byte) {
  Send(link, {byte});
  SleepMs(100);
  Send(link, {byte});
  BusDrain(link.port, 100);
}

std::string ReplyText(const uint8_t* reply) {
  return reinterpret_cast<const char*>(reply);
}

bool ReadCell(const BootLink& link, uint16_t address, uint8_t* content) {
  uint8_t reply[2];
  SendEcho(link, {0x84, 0x7B});
  if (!Answer(link, 1, 300, reply, sizeof reply)) return false;
  SendEcho(link, {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)});
  if (!Answer(link, 1, 300, reply, sizeof reply)) return false;
  *content = reply[0];
  return true;
}

bool WriteCell(const BootLink& link, uint16_t address, uint8_t value) {
  uint8_t reply[2];
  SendEcho(link, {0x83, 0x7C});
  if (!Answer(link, 1, 300, reply, sizeof reply)) return false;
  SendEcho(link, {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), value});
  return Answer(link, 1, 300, reply, sizeof reply) && reply[0] == 0;
}

}  // namespace

bool GeometryOf(int processorType, FlashGeometry* geometry) {
  switch (processorType) {
    case kProcessorType12: *geometry = {2, 6, 1024, 64}; return true;
    case kProcessorType11: *geometry = {4, 27, 512, 64}; return true;
    default: return false;
  }
}

FlashGeometry& CurrentFlashGeometry() {
  return g_geometry;
}

std::string BinaryText(uint32_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + (value & 1)));
    value >>= 1;
  } while (value != 0);
  return digits;
}

std::string HexText(uint32_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return digits;
}

std::string HexOfSignedByte(uint8_t value) {
  return HexText(static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value))));
}

StepOutcome EnterBootloaderDirect(const BootLink& link) {
  // The gauge is woken at 4800 baud and told to pass the bus through.
  if (!Open(link.port, 4800, 0, 8)) return Failure(kPortFailure);
  WakeAt4800(link, 0x8D);
  Send(link, {0x09, 0x0D, 0x13});
  CloseBusPort(link.port);
  // The wake byte 0x00 with mark parity, then 0x81 with space parity: the module starts its
  // bootloader.
  if (!Open(link.port, 115200, kParityWake, 8)) return {kPortFailure, true};
  Send(link, {0x81});
  BusDrain(link.port, 100);
  CloseBusPort(link.port);
  if (!Open(link.port, 115200, 4, 8)) return {kPortFailure, true};
  BusDrain(link.port, 50);
  const uint8_t zero = 0x00;
  BusSendEcho(link.port, &zero, 1, 0);  // the echo is read, its outcome does not matter
  BusDrain(link.port, 50);
  return {};
}

StepOutcome ReadFirstIdentification(const BootLink& link, std::string* reply) {
  if (!Open(link.port, 4800, 1, 7)) return Failure(kPortFailure);
  WakeAt4800(link, 0x0D);
  Send(link, {'I', 0x0D});
  uint8_t text[kIdentificationCapacity];
  // Bounded by the buffer too: a line that never ends is a communication error.
  if (BusTransact(link.port, 0, 0x0D, 300, text, sizeof text) != 0)
    return Failure(kCommunicationError);
  *reply = ReplyText(text);
  CloseBusPort(link.port);
  return {};
}

StepOutcome ReadSecondIdentification(const BootLink& link, std::string* sevenCharacters) {
  if (!Open(link.port, 4800, 0, 8)) return Failure(kPortFailure);
  WakeAt4800(link, 0x8D);
  Send(link, {0xC9, 0x8D});  // "I" and CR with the high bit set
  uint8_t text[kIdentificationCapacity];
  if (BusTransact(link.port, 0, 0x8D, 300, text, sizeof text) != 0)
    return Failure(kCommunicationError);
  std::string seven;
  for (size_t i = 0; i < 7 && text[i] != 0; ++i) seven.push_back(static_cast<char>(text[i] & 0x7F));
  *sevenCharacters = seven;
  return {};
}

StepOutcome UploadPart1(const BootLink& link) {
  const FlashImageEntries& image = FlashImage();
  Send(link, {0x10, 0x0D, 0x13});
  SleepMs(100);
  Send(link, {0xC4, 0x3B});
  for (int n = 0; n < kPart1Blocks; ++n) {
    uint8_t sum = 0;
    for (int i = 0; i < kPart1BlockSize; ++i) {
      const uint8_t byte = static_cast<uint8_t>(image[kPart1Address + kPart1BlockSize * n + i]);
      Send(link, {byte});
      sum = static_cast<uint8_t>(sum + byte);
    }
    Send(link, {static_cast<uint8_t>(~sum)});
    uint8_t reply[2];
    if (!Answer(link, 1, 300, reply, sizeof reply)) return Failure(kCommunicationError);
    if (reply[0] != 0x01) return Failure(" Programming error");  // blocks are acknowledged with 1
    link.view.ShowStatus(" Part 1 -> " + std::to_string(kPart1BlockSize * (n + 1)));
  }
  Send(link, {0xC8, 0x37});
  return {};
}

StepOutcome DetectModule(const BootLink& link, bool* hasSerial, uint32_t* serial) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    link.view.ShowStatus(BinaryText(0x02));
    if (SendEcho(link, {0x02, 0xFD}) != 0) continue;
    uint8_t first[26];  // status byte and the first half of the identity block
    if (!Answer(link, 25, 500, first, sizeof first) || first[0] != 0) continue;
    if (first[1] == 1) {  // a block that begins with 1 ends here, without a serial number
      *hasSerial = false;
      return {};
    }
    uint8_t second[25] = {};
    Answer(link, 24, 500, second, sizeof second);
    *serial = uint32_t{second[12]} << 24 | uint32_t{second[13]} << 16 | uint32_t{second[14]} << 8 |
              second[15];
    if (link.sendOnly == 0) {
      if (SendEcho(link, {0x05, 0xFA}) != 0) continue;
      AnswerByte(link, 500, 0);
    }
    *hasSerial = true;
    return {};
  }
  return Failure(" The module could not be detected");
}

StepOutcome ReadProcessorType(const BootLink& link, int* processorType) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    link.view.ShowStatus(BinaryText(0xF2));
    if (SendEcho(link, {0xF2, 0x0D}) != 0) continue;
    uint8_t reply[3];
    if (!Answer(link, 2, 150, reply, sizeof reply) || reply[0] != 0) continue;
    *processorType = static_cast<int8_t>(reply[1]);
    if (!GeometryOf(*processorType, &g_geometry))
      return Failure(" The read processor type is not plausible");
    return {};
  }
  return Failure(" The processor type could not be read");
}

StepOutcome EraseFlash(const BootLink& link) {
  bool accepted = false;
  for (int attempt = 0; attempt < 3 && !accepted; ++attempt) {
    link.view.ShowStatus(BinaryText(0x81));
    accepted = SendEcho(link, {0x81, 0x7E}) == 0 && AnswerByte(link, 150, 1) == 0;
  }
  if (!accepted) return Failure(" The writing process could not be initialized");
  uint8_t reply[2];
  if (!Answer(link, 1, 2000, reply, sizeof reply))
    return Failure(" The confirmation byte for deleting the flash is not returned");
  if (reply[0] != 0)
    return Failure(" The confirmation byte for deleting the flash is not correct -> Error Code " +
                   HexOfSignedByte(reply[0]));
  return {};
}

StepOutcome WriteFlash(const BootLink& link) {
  const FlashGeometry g = g_geometry;
  const FlashImageEntries& image = FlashImage();
  uint8_t data[kMaxEchoBytes];
  uint8_t packet[kMaxEchoBytes];
  if (g.PacketSize() > kMaxEchoBytes)
    return Failure(" The writing process could not be initialized");
  for (int32_t n = 0; n < g.Blocks(); ++n) {
    for (int i = 0; i < g.blockSize; ++i)
      data[i] = static_cast<uint8_t>(image[g.StartAddress() + n * g.blockSize + i]);
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    BuildPacket(data, static_cast<size_t>(g.blockSize), PacketKeyAt(now), PacketFillerAt(now),
                packet);
    link.view.ShowStatus(" Programming -> " + std::to_string(n));
    link.view.PumpMessages();
    if (BusSendEcho(link.port, packet, static_cast<int16_t>(g.PacketSize()), link.sendOnly) != 0)
      return Failure(
          " The write command could not be executed -> Not all sent bytes are returned from the "
          "bus");
    uint8_t reply[2];
    if (!Answer(link, 1, 2000, reply, sizeof reply))
      return Failure(
          " The write command could not be executed -> Confirmation byte is not returned from "
          "\xB5P");
    if ((reply[0] & 0x0F) != 0)
      return Failure(
          " The processor has returned an error on the writing into the flash -> Error Code " +
          HexText(reply[0] & 0x0F));
  }
  return {};
}

StepOutcome VerifyFlash(const BootLink& link) {
  static uint8_t readBack[kReadBackSize + 1];  // indexed by flash address
  const FlashGeometry g = g_geometry;
  const FlashImageEntries& image = FlashImage();
  const int32_t start = g.StartAddress();
  const int32_t streamBytes = g.Blocks() * g.PacketSize();
  int comparisons = 0;
  int attempt = 1;
  for (;;) {
    link.view.ShowStatus(" Verifying ");
    bool read = SendEcho(link, {0x82, 0x7D}) == 0 && AnswerByte(link, 150, 1) == 0;
    if (read) {
      uint8_t reply[2];
      if (!Answer(link, 1, 2000, reply, sizeof reply))
        return Failure(" The confirmation byte for the correct processor type is not returned");
      if (reply[0] != 0) return Failure(" The bootloader detected an undefined processor type");
      read = Answer(link, streamBytes, 2000, readBack + start,
                    sizeof readBack - static_cast<size_t>(start));
    }
    if (!read) {
      if (++attempt > 3) {
        // Not fatal: the run goes on with the security bits, the cells and the reset.
        link.view.ShowStatus(" The flash contents could not be read");
        link.view.Beep();
        return {};
      }
      continue;
    }
    // Each packet is unscrambled with its own key; the data bytes move down so that entry a
    // holds the flash byte of address a.
    for (int32_t n = 0; n < g.Blocks(); ++n) {
      const int32_t from = start + n * g.PacketSize();
      const uint8_t key = readBack[from];
      for (int32_t i = 0; i < g.blockSize; ++i)
        readBack[start + n * g.blockSize + i] =
            UnscramblePacketByte(readBack[from + 1 + i], key, static_cast<size_t>(i));
    }
    int32_t differences = 0;
    for (int32_t a = start; a < start + g.Bytes(); ++a)
      differences += image[a] != readBack[a] ? 1 : 0;
    if (differences == 0) return {};
    if (++comparisons > 3) return Failure(" Error on verifying the flash contents");
    attempt = 1;
  }
}

StepOutcome SetSecurityBits(const BootLink& link) {
  const FlashGeometry g = g_geometry;
  const std::string writeFailure =
      " Error on sending the write command for setting the Security Bit";
  const std::string readFailure = " The Security Bit could not be read";
  for (int s = g.startSector + g.sectorCount - 1; s >= g.startSector; --s) {
    const uint8_t set = static_cast<uint8_t>(0xC8 + s);
    link.view.ShowStatus(BinaryText(set));
    if (SendEcho(link, {set, static_cast<uint8_t>(~set)}) != 0) return Failure(writeFailure);
    uint8_t answer = AnswerByte(link, 500, 1);
    if (answer != 0) return Failure(writeFailure + " --> Error Code " + HexOfSignedByte(answer));
    SendEcho(link, {0x03});
    answer = AnswerByte(link, 500, 1);
    if (answer != 0) return Failure(writeFailure + " --> Error Code " + HexOfSignedByte(answer));
    const uint8_t get = static_cast<uint8_t>(0xE8 + s);
    link.view.ShowStatus(BinaryText(get));
    if (SendEcho(link, {get, static_cast<uint8_t>(~get)}) != 0) return Failure(readFailure);
    uint8_t reply[3];
    if (!Answer(link, 2, 500, reply, sizeof reply)) reply[0] = 1;
    if (reply[0] != 0) return Failure(readFailure);
    if (reply[1] != 3) return Failure(" The Security Bit could not be set");
  }
  return {};
}

void ResetModule(const BootLink& link) {
  Send(link, {0x01, 0xFE});
  uint8_t echo[3];
  if (link.sendOnly == 0) Answer(link, 2, 100, echo, sizeof echo);
}

int16_t ProgramUserCell(const BootLink& link, uint16_t address, uint8_t value) {
  const auto fail = [&](const char* text) -> int16_t {
    link.view.ShowStatus(text);
    link.view.Beep();
    return 1;
  };
  link.view.ShowStatus(" Programme user setup data - Cell " + HexText(address));
  link.view.PumpMessages();
  uint8_t content = 0;
  if (!ReadCell(link, address, &content))
    return fail(" Timeout-Error on reading the flash cell of sector 1");
  if (content == value) return 0;
  if (!WriteCell(link, address, value))
    return fail(" Timeout-Error on writing the flash cell of sector 1");
  if (!ReadCell(link, address, &content))
    return fail(" Timeout-Error on reading the flash cell of sector 1");
  return content == value ? 0 : fail(" Cell of sector 1 could not be written");
}

}  // namespace s470
