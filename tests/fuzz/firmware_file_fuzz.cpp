// Firmware files of any content: loading never writes outside the flash image or the line buffer,
// the file on disk comes back byte for byte, and scrambling is undone exactly.
// First input byte modulo 3: 0 = the rest is a scrambled file as found on disk; 1 = the rest is
// the plain record text; 2 = the rest describes records (type, address, count, data), written out
// as record lines, so that addresses and counts near the end of the image are reached. Plain
// texts are scrambled here before they are written, and also read from the buffer, which must
// give the same image and outcome as the slot.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "lang/text16.h"
#include "programming/firmware_file.h"
#include "slots/file_slots.h"

namespace {

std::string g_path;

void RemoveFile() { ::unlink(g_path.c_str()); }

const std::string& TempPath() {
  if (g_path.empty()) {
    char pattern[] = "/tmp/s470-fw-fuzz-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) std::abort();
    ::close(fd);
    g_path = pattern;
    std::atexit(RemoveFile);
  }
  return g_path;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "firmware_file_fuzz: %s\n", what);
    std::abort();
  }
}

// Record lines from a description: per record a type byte (mostly 0), a 16-bit address, a count
// and the data bytes; a spare bit adds spaces or leaves off the CR LF.
std::vector<uint8_t> RecordLines(const uint8_t* d, size_t n) {
  std::string text;
  size_t i = 0;
  const auto hex = [&text](unsigned v, int digits) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    text += buf;
  };
  while (i + 4 <= n) {
    const uint8_t flags = d[i];
    const unsigned type = (flags & 0x0F) < 12 ? 0 : flags & 0x07;
    const unsigned address = d[i + 1] << 8 | d[i + 2];
    const unsigned count = d[i + 3];
    i += 4;
    text += ':';
    hex(count, 2);
    if (flags & 0x10) text += "  ";
    hex(address, 4);
    hex(type, 2);
    for (unsigned j = 0; j < count && i < n; ++j) hex(d[i++], 2);
    hex(0, 2);
    if (flags & 0x20) text += std::string(flags & 0x40 ? 990 : 3, '0');
    if (!(flags & 0x80) || i < n) text += "\r\n";
  }
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> ReadBack(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  Check(in != nullptr, "file gone");
  int c;
  while ((c = std::fgetc(in)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(in);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] % 3;
  const bool plain = mode != 0;
  std::vector<uint8_t> file =
      mode == 2 ? RecordLines(data + 1, size - 1) : std::vector<uint8_t>(data + 1, data + size);

  bool bufferRead = true;
  s470::FlashImageEntries bufferImage{};
  if (plain) {
    bufferRead = s470::ReadFirmwareRecords(file.data(), file.size());
    bufferImage = s470::FlashImage();
    s470::ScrambleFirmwareBytes(file.data(), file.size());
  }

  std::vector<uint8_t> copy = file;
  s470::DescrambleFirmwareBytes(copy.data(), copy.size());
  s470::ScrambleFirmwareBytes(copy.data(), copy.size());
  Check(copy == file, "unscramble then scramble changed the bytes");
  s470::ScrambleFirmwareBytes(copy.data(), copy.size());
  s470::DescrambleFirmwareBytes(copy.data(), copy.size());
  Check(copy == file, "scramble then unscramble changed the bytes");

  const std::string& path = TempPath();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  Check(out != nullptr, "cannot write the temporary file");
  Check(std::fwrite(file.data(), 1, file.size(), out) == file.size(), "short write");
  std::fclose(out);

  const s470::FirmwareLoad result = s470::LoadFirmwareImage(s470::FromUtf8(path).c_str());
  Check(result != s470::FirmwareLoad::kNotLoaded, "an existing file was not loaded");
  Check((result == s470::FirmwareLoad::kEmpty) == file.empty(), "empty outcome wrong");
  if (plain && !file.empty()) {
    Check((result == s470::FirmwareLoad::kLoaded) == bufferRead, "slot and buffer outcomes differ");
    Check(s470::FlashImage() == bufferImage, "slot and buffer images differ");
  }
  for (const uint16_t entry : s470::FlashImage()) Check(entry <= 0xFF, "entry above a byte");
  Check(s470::CloseFileSlot(s470::kFirmwareSlot) == 0, "write-back failed");
  Check(ReadBack(path) == file, "the file on disk changed");
  return 0;
}
