#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lang/text16.h"
#include "slots/slot_file.h"

namespace s470 {

FileHandle SlotFileOpen(const char16_t* path) {
  const int fd = ::open(ToUtf8(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  return fd < 0 ? kBadFile : fd;
}

bool SlotFileLength(FileHandle file, uint32_t* length) {
  struct stat st {};
  if (::fstat(static_cast<int>(file), &st) != 0 || st.st_size < 0 || st.st_size > UINT32_MAX - 1)
    return false;
  *length = static_cast<uint32_t>(st.st_size);
  return true;
}

bool SlotFileSetEnd(FileHandle file, uint32_t length) {
  return ::ftruncate(static_cast<int>(file), static_cast<off_t>(length)) == 0;
}

uint32_t SlotFileRead(FileHandle file, uint32_t offset, uint8_t* buffer, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(static_cast<int>(file), buffer + done, count - done, offset + done);
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

uint32_t SlotFileWrite(FileHandle file, uint32_t offset, const uint8_t* buffer, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(static_cast<int>(file), buffer + done, count - done, offset + done);
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

void SlotFileClose(FileHandle file) {
  if (file != kBadFile) ::close(static_cast<int>(file));
}

}  // namespace s470
