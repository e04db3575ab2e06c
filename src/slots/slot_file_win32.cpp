#include <windows.h>

#include "slots/slot_file.h"

namespace s470 {

namespace {
HANDLE H(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool Seek(FileHandle file, uint32_t offset) {
  LONG high = 0;
  return SetFilePointer(H(file), static_cast<LONG>(offset), &high, FILE_BEGIN) !=
             INVALID_SET_FILE_POINTER ||
         GetLastError() == NO_ERROR;
}
}  // namespace

FileHandle SlotFileOpen(const char16_t* path) {
  LangApi* lang = Lang();
  return lang != nullptr ? lang->OpenFile(path) : kBadFile;
}

bool SlotFileLength(FileHandle file, uint32_t* length) {
  DWORD high = 0;
  const DWORD low = GetFileSize(H(file), &high);
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || low == MAXDWORD)
    return false;
  *length = low;
  return true;
}

bool SlotFileSetEnd(FileHandle file, uint32_t length) {
  return Seek(file, length) && SetEndOfFile(H(file)) != FALSE;
}

uint32_t SlotFileRead(FileHandle file, uint32_t offset, uint8_t* buffer, uint32_t count) {
  if (!Seek(file, offset)) return 0;
  uint32_t done = 0;
  while (done < count) {
    DWORD n = 0;
    if (!ReadFile(H(file), buffer + done, count - done, &n, nullptr) || n == 0) break;
    done += n;
  }
  return done;
}

uint32_t SlotFileWrite(FileHandle file, uint32_t offset, const uint8_t* buffer, uint32_t count) {
  if (!Seek(file, offset)) return 0;
  DWORD n = 0;
  if (!WriteFile(H(file), buffer, count, &n, nullptr)) return 0;
  return n;
}

void SlotFileClose(FileHandle file) {
  if (file != kBadFile) CloseHandle(H(file));
}

}  // namespace s470
