// scramble / unscramble: plain Intel HEX files to the modules' scrambled firmware files and back,
// with the code the DLL reads firmware files with. OUT is written only after IN was read whole.
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "programming/firmware_file.h"
#include "tool.h"
#include "tool_platform.h"

namespace s470::tool {

namespace {

std::vector<uint8_t> ReadWhole(const std::string& path) {
  std::FILE* in = OpenFile(path, "rb");
  if (in == nullptr) throw Failure(kExitUsage, "cannot open " + path + ": " + std::strerror(errno));
  std::vector<uint8_t> bytes;
  bool ok = true;
  try {
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, in)) > 0)
      bytes.insert(bytes.end(), block, block + n);
    ok = std::ferror(in) == 0;
  } catch (const std::bad_alloc&) {
    std::fclose(in);
    throw Failure(kExitUsage, path + " is too large to hold in memory");
  }
  std::fclose(in);
  if (!ok) throw Failure(kExitUsage, "cannot read " + path + ": check the file and the disk");
  return bytes;
}

void WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* out = OpenFile(path, "wb");
  if (out == nullptr)
    throw Failure(kExitUsage, "cannot create " + path + ": " + std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) throw Failure(kExitUsage, "cannot write " + path + ": check the disk");
}

// What the firmware loader would make of a plain HEX text, so that a file it cannot use is noticed
// before it is delivered.
void WarnAboutPlainText(const Console& console, const std::string& path,
                        const std::vector<uint8_t>& text) {
  bool cr = false;
  for (const uint8_t c : text) cr = cr || c == '\r';
  if (!text.empty() && !cr)
    console.Warning(path + " has no CR line ends; the firmware loader reads no records from it");
  if (!ReadFirmwareRecords(text.data(), text.size()))
    console.Warning(path + " has a record past flash address " +
                    std::to_string(kFlashImageSize - 1) + " or a line longer than " +
                    std::to_string(kHexLineBufferSize) +
                    " characters; the firmware loader refuses it");
}

}  // namespace

int ScrambleCommand(const Console& console, bool scramble, const std::string& in,
                    const std::string& out) {
  std::vector<uint8_t> bytes = ReadWhole(in);
  if (scramble) {
    WarnAboutPlainText(console, in, bytes);
    ScrambleFirmwareBytes(bytes.data(), bytes.size());
  } else {
    DescrambleFirmwareBytes(bytes.data(), bytes.size());
  }
  WriteWhole(out, bytes);
  return kExitDone;
}

}  // namespace s470::tool
