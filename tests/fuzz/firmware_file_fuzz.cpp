// Firmware files of any content: the load never writes outside the flash image or the line
// buffer, gives back the file on disk byte for byte, and agrees with the reading of the same text
// from a buffer. First byte odd: the rest is the plain text, scrambled here before it is written;
// even: the rest is the file as found on disk.
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "../unit/test_files.h"
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
  WriteFileBytes(path, file);
  const FirmwareLoad result = LoadFirmwareImage(FromUtf8(path).c_str());
  bool ok = result != FirmwareLoad::kNotLoaded && (result == FirmwareLoad::kEmpty) == file.empty();
  if (plain && !file.empty())
    ok = ok && (result == FirmwareLoad::kLoaded) == read && FlashImage() == image;
  ok = ok && CloseFileSlot(kFirmwareSlot) == 0 && ReadFileBytes(path) == file;
  ::unlink(path.c_str());
  if (!ok) std::abort();
  return 0;
}
