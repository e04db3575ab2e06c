// The few file operations a file slot needs, one implementation per platform.
// On Windows the file is opened through the Language DLL (Lang_CreateFile); elsewhere with open().
#pragma once

#include <cstdint>

#include "lang/lang_api.h"

namespace s470 {

FileHandle SlotFileOpen(const char16_t* path);  // read/write, created when missing; kBadFile on failure
bool SlotFileLength(FileHandle file, uint32_t* length);
bool SlotFileSetEnd(FileHandle file, uint32_t length);
// Both return the number of bytes transferred.
uint32_t SlotFileRead(FileHandle file, uint32_t offset, uint8_t* buffer, uint32_t count);
uint32_t SlotFileWrite(FileHandle file, uint32_t offset, const uint8_t* buffer, uint32_t count);
void SlotFileClose(FileHandle file);

// The file layer the slots go through: the functions above, or a layer a test installs to make
// one step fail.
struct SlotFileLayer {
  FileHandle (*open)(const char16_t* path);
  bool (*length)(FileHandle file, uint32_t* length);
  bool (*setEnd)(FileHandle file, uint32_t length);
  uint32_t (*read)(FileHandle file, uint32_t offset, uint8_t* buffer, uint32_t count);
  uint32_t (*write)(FileHandle file, uint32_t offset, const uint8_t* buffer, uint32_t count);
  void (*close)(FileHandle file);
};
extern const SlotFileLayer kPlatformSlotFiles;
void SetSlotFileLayer(const SlotFileLayer* layer);  // null: the platform's

}  // namespace s470
