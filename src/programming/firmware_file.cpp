#include "programming/firmware_file.h"

#include "programming/firmware_file_layers.h"
#include "slots/file_slots.h"

namespace s470 {

namespace {

FlashImageEntries g_flashImage{};

// The firmware file in slot 1 as a byte store for the layers and the record reader.
struct SlotBytes {
  size_t length = GetSlotSize(kFirmwareSlot);
  size_t size() const { return length; }
  uint8_t Get(size_t i) const { return GetSlotByte(kFirmwareSlot, static_cast<uint32_t>(i)); }
  void Set(size_t i, uint8_t value) { SetSlotByte(kFirmwareSlot, static_cast<uint32_t>(i), value); }
};

// A read-only text as a store for the record reader.
struct TextBytes {
  const uint8_t* bytes;
  size_t length;
  size_t size() const { return length; }
  uint8_t Get(size_t i) const { return bytes[i]; }
};

// A refused file leaves nothing in the image that could be written into a module.
bool Refuse() {
  g_flashImage.fill(0);
  return false;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A record line that can be trusted: record mark, hex digits only, as long as its byte count
// says, and a checksum that makes the sum of all its bytes 0.
bool IsSoundRecord(std::string_view line, const HexRecord& record) {
  if (line.size() != 11 + 2u * record.count || line[0] != ':') return false;
  uint8_t sum = 0;
  for (size_t i = 1; i < line.size(); i += 2) {
    if (!IsHexDigit(line[i]) || !IsHexDigit(line[i + 1])) return false;
    sum = static_cast<uint8_t>(sum + ParseHex(line.substr(i, 2)));
  }
  return sum == 0;
}

// Reads the records of an unscrambled firmware text into the cleared flash image. A line is the
// bytes up to a CR with every space dropped; the byte after the CR (the line feed) is passed over.
// Any record type but 0 ends the file. Bytes after the last CR are no line, however long.
// `checked`: every line read must be a sound record and at least one must carry data, so that a
// damaged or unscrambled file is refused before anything of it reaches a module.
template <class Bytes>
bool ReadRecords(const Bytes& bytes, bool checked = false) {
  bool data = false;
  g_flashImage.fill(0);
  char line[kHexLineBufferSize];
  size_t length = 0;
  bool overlong = false;  // more than the line buffer holds: refused once its CR turns up
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = bytes.Get(i);
    if (c == ' ') continue;
    if (c != '\r') {
      if (length < kHexLineBufferSize)
        line[length++] = static_cast<char>(c);
      else
        overlong = true;
      continue;
    }
    ++i;  // the line feed
    if (overlong) return Refuse();
    const std::string_view text(line, length);
    const HexRecord record = ParseHexRecord(text);
    length = 0;
    if (checked && !IsSoundRecord(text, record)) return Refuse();
    if (record.type != 0) break;
    if (record.count == 0) continue;
    if (uint32_t{record.address} + record.count > kFlashImageSize) return Refuse();
    for (uint16_t j = 0; j < record.count; ++j) g_flashImage[record.address + j] = record.data[j];
    data = true;
  }
  return checked && !data ? Refuse() : true;
}

}  // namespace

FlashImageEntries& FlashImage() { return g_flashImage; }

uint16_t ParseHex(std::string_view text) {
  uint32_t value = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9')
      value = value * 16 + static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      value = value * 16 + static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      value = value * 16 + static_cast<uint32_t>(c - 'A' + 10);
    value &= 0xFFFF;
  }
  return static_cast<uint16_t>(value);
}

HexRecord ParseHexRecord(std::string_view line) {
  // substr clamps a field that is cut short by the end of the line.
  const auto field = [line](size_t at, size_t width) {
    return at < line.size() ? ParseHex(line.substr(at, width)) : uint16_t{0};
  };
  HexRecord record;
  record.count = field(1, 2);
  record.address = field(3, 4);
  record.type = field(7, 2);
  for (uint16_t j = 0; j < record.count; ++j) record.data[j] = field(9 + 2u * j, 2);
  return record;
}

void DescrambleFirmwareFile() {
  SlotBytes slot;
  DescrambleLayers(slot);
}

void ScrambleFirmwareFile() {
  SlotBytes slot;
  ScrambleLayers(slot);
}

void DescrambleFirmwareBytes(uint8_t* bytes, size_t size) {
  ByteBuffer buffer{bytes, size};
  DescrambleLayers(buffer);
}

void ScrambleFirmwareBytes(uint8_t* bytes, size_t size) {
  ByteBuffer buffer{bytes, size};
  ScrambleLayers(buffer);
}

bool ReadFirmwareRecords(const uint8_t* text, size_t size) {
  return ReadRecords(TextBytes{text, size});
}

FirmwareLoad LoadFirmwareImage(const char16_t* name) { return LoadFirmwareImage(name, false); }

FirmwareLoad LoadCheckedFirmwareImage(const char16_t* name) { return LoadFirmwareImage(name, true); }

FirmwareLoad LoadFirmwareImage(const char16_t* name, bool checked) {
  if (OpenFileSlot(kFirmwareSlot, name, 0) != 0) return FirmwareLoad::kNotLoaded;
  if (GetSlotSize(kFirmwareSlot) == 0) return FirmwareLoad::kEmpty;
  DescrambleFirmwareFile();
  const bool read = ReadRecords(SlotBytes{}, checked);
  // Scrambled again whatever was read: closing the slot writes the file back as it was.
  ScrambleFirmwareFile();
  return read ? FirmwareLoad::kLoaded : FirmwareLoad::kRefused;
}

}  // namespace s470
