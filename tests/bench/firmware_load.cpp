// Time to load a firmware file that fills the whole 16000-byte flash image: 1000 records of 16
// bytes plus the end record (about 45 KB), scrambled, read through slot 1 and written back.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "lang/text16.h"
#include "programming/firmware_file.h"
#include "slots/file_slots.h"

namespace {

std::string FullImageText(const std::vector<uint8_t>& image) {
  std::string text;
  char buf[16];
  for (uint32_t address = 0; address < image.size(); address += 16) {
    unsigned sum = 16 + (address >> 8) + (address & 0xFF);
    std::snprintf(buf, sizeof buf, ":10%04X00", address);
    text += buf;
    for (uint32_t j = 0; j < 16; ++j) {
      std::snprintf(buf, sizeof buf, "%02X", image[address + j]);
      text += buf;
      sum += image[address + j];
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += buf;
  }
  return text + ":00000001FF\r\n";
}

template <class Work>
void Measure(const char* what, int rounds, Work work) {
  std::vector<double> ms;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    work();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s min %7.3f ms  median %7.3f ms  max %7.3f ms  (%d rounds)\n", what, ms.front(),
              ms[ms.size() / 2], ms.back(), rounds);
}

}  // namespace

int main() {
  std::mt19937 rng(1);
  std::vector<uint8_t> image(s470::kFlashImageSize);
  for (auto& b : image) b = static_cast<uint8_t>(rng());
  const std::string text = FullImageText(image);
  std::vector<uint8_t> file(text.begin(), text.end());
  s470::ScrambleFirmwareBytes(file.data(), file.size());

  char path[] = "/tmp/s470-fw-bench-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0 || ::write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) {
    std::fprintf(stderr, "bench_firmware_load: cannot write %s\n", path);
    return 1;
  }
  ::close(fd);
  const std::u16string name = s470::FromUtf8(path);
  std::printf("firmware file: %zu bytes, %u image bytes\n", file.size(), s470::kFlashImageSize);

  bool ok = true;
  Measure("LoadFirmwareImage + CloseFileSlot", 200, [&] {
    ok = ok && s470::LoadFirmwareImage(name.c_str()) == s470::FirmwareLoad::kLoaded;
    ok = ok && s470::CloseFileSlot(s470::kFirmwareSlot) == 0;
  });
  for (uint32_t a = 0; a < s470::kFlashImageSize; ++a) ok = ok && s470::FlashImage()[a] == image[a];

  std::vector<uint8_t> work = file;
  Measure("unscramble + scramble, 45 KB buffer", 200, [&] {
    s470::DescrambleFirmwareBytes(work.data(), work.size());
    s470::ScrambleFirmwareBytes(work.data(), work.size());
  });
  ok = ok && work == file;
  Measure("records into the image, plain buffer", 200, [&] {
    ok = ok && s470::ReadFirmwareRecords(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  });

  ::unlink(path);
  std::printf("image and file %s\n", ok ? "as expected" : "WRONG");
  return ok ? 0 : 1;
}
