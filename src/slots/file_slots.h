// File slots: whole files held in memory while they are worked on, written back on close.
// Slot 0 holds the setup image, slot 1 a firmware file.
#pragma once

#include <cstdint>

namespace s470 {

constexpr int kSlotCount = 20;
constexpr int32_t kSetupFileSize = 7500;

// 0 opened; 1 neither opened nor created; 2 not readable whole (or too large to hold).
int16_t OpenFileSlot(int16_t slot, const char16_t* path, int32_t size);
// 0 written back (or nothing open); 1 the write-back was short.
int16_t CloseFileSlot(int16_t slot);

// Reads outside an open slot's image give 0; writes there are ignored.
uint8_t GetSlotByte(int16_t slot, uint32_t address);
uint16_t GetSlotWord(int16_t slot, uint32_t address);
void SetSlotByte(int16_t slot, uint32_t address, uint8_t value);
void SetSlotWord(int16_t slot, uint32_t address, uint16_t value);
uint32_t GetSlotSize(int16_t slot);
bool IsSlotOpen(int16_t slot);

}  // namespace s470
