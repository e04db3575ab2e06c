// Firmware files of any content: the load never writes outside the flash image or the line
// buffer, gives back the file on disk byte for byte, and agrees with the reading of the same text
// from a buffer. First byte odd: the rest is the plain text, scrambled here before it is written;
// even: the rest is the file as found on disk.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "lang/text16.h"
#include "programming/firmware_file.h"
#include "slots/file_slots.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace s470;
  if (size == 0) return 0;
  const bool plain = (data[0] & 1) != 0;
  std::vector<uint8_t> file(data + 1, data + size);
  bool read = true;
  FlashImageEntries image{};
  if (plain) {
    read = ReadFirmwareRecords(file.data(), file.size());
    image = FlashImage();
    ScrambleFirmwareBytes(file.data(), file.size());
  }
  const std::string path = "/tmp/s470-fw-fuzz-" + std::to_string(::getpid());
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) std::abort();
  std::fclose(out);

  const FirmwareLoad result = LoadFirmwareImage(FromUtf8(path).c_str());
  bool ok = result != FirmwareLoad::kNotLoaded && (result == FirmwareLoad::kEmpty) == file.empty();
  if (plain && !file.empty())
    ok = ok && (result == FirmwareLoad::kLoaded) == read && FlashImage() == image;
  ok = ok && CloseFileSlot(kFirmwareSlot) == 0;
  std::vector<uint8_t> back(file.size() + 1);
  std::FILE* in = std::fopen(path.c_str(), "rb");
  ok = ok && in != nullptr && std::fread(back.data(), 1, back.size(), in) == file.size();
  back.pop_back();
  if (in != nullptr) std::fclose(in);
  ::unlink(path.c_str());
  if (!ok || back != file) std::abort();
  return 0;
}
