// fwscramble: turns a plain Intel HEX file into a scrambled firmware file for the modules, and
// back, with the same code the DLL uses to read firmware files.
//
//   fwscramble scramble IN OUT     plain Intel HEX -> scrambled firmware file
//   fwscramble unscramble IN OUT   scrambled firmware file -> plain Intel HEX
//
// The bytes are taken as they are: the firmware loader needs CR LF line ends, so a HEX file with
// bare LF line ends draws a warning (it would load nothing). Exit code 0 on success, 1 on bad
// arguments or a file that cannot be read or written; OUT is written only after IN was read.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "programming/firmware_file.h"

namespace {

void Usage() {
  std::fputs(
      "usage: fwscramble scramble IN OUT     plain Intel HEX file -> scrambled firmware file\n"
      "       fwscramble unscramble IN OUT   scrambled firmware file -> plain Intel HEX file\n",
      stderr);
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "fwscramble: %s\n", what.c_str());
  return 1;
}

bool ReadWhole(const char* path, std::vector<uint8_t>* bytes, std::string* error) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) {
    *error = std::string("cannot open ") + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = true;
  try {
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, in)) > 0) bytes->insert(bytes->end(), block, block + n);
    if (std::ferror(in)) {
      *error = std::string("cannot read ") + path;
      ok = false;
    }
  } catch (const std::bad_alloc&) {
    *error = std::string(path) + " is too large to hold in memory";
    ok = false;
  }
  std::fclose(in);
  return ok;
}

bool WriteWhole(const char* path, const std::vector<uint8_t>& bytes, std::string* error) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    *error = std::string("cannot create ") + path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    *error = std::string("cannot write ") + path;
    return false;
  }
  return true;
}

// What the firmware loader would make of a plain HEX text, so that a file it cannot use is noticed
// before it is delivered.
void WarnAboutPlainText(const char* path, const std::vector<uint8_t>& text) {
  bool cr = false;
  for (const uint8_t c : text) cr = cr || c == '\r';
  if (!text.empty() && !cr)
    std::fprintf(stderr,
                 "fwscramble: warning: %s has no CR line ends; the firmware loader reads no "
                 "records from it\n",
                 path);
  if (!s470::ReadFirmwareRecords(text.data(), text.size()))
    std::fprintf(stderr,
                 "fwscramble: warning: %s has a record past flash address %u or a line longer than "
                 "%u characters; the firmware loader refuses it\n",
                 path, static_cast<unsigned>(s470::kFlashImageSize - 1),
                 static_cast<unsigned>(s470::kHexLineBufferSize));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    Usage();
    return 1;
  }
  const std::string mode = argv[1];
  const bool scramble = mode == "scramble";
  if (!scramble && mode != "unscramble") {
    std::fprintf(stderr, "fwscramble: unknown command '%s'\n", argv[1]);
    Usage();
    return 1;
  }
  const char* inPath = argv[2];
  const char* outPath = argv[3];

  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadWhole(inPath, &bytes, &error)) return Fail(error);
  if (scramble) {
    WarnAboutPlainText(inPath, bytes);
    s470::ScrambleFirmwareBytes(bytes.data(), bytes.size());
  } else {
    s470::DescrambleFirmwareBytes(bytes.data(), bytes.size());
  }
  if (!WriteWhole(outPath, bytes, &error)) return Fail(error);
  return 0;
}
