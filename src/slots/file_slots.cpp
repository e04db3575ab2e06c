#include "slots/file_slots.h"

#include <cstring>
#include <new>

#include "slots/slot_file.h"

namespace s470 {

namespace {

struct Slot {
  FileHandle file = kBadFile;
  uint32_t size = 0;
  uint8_t* image = nullptr;  // size + 1 bytes; the spare last byte is never written back
};

Slot g_slots[kSlotCount];
const SlotFileLayer* g_files = &kPlatformSlotFiles;

Slot* OpenSlot(int16_t slot) {
  if (slot < 0 || slot >= kSlotCount || g_slots[slot].image == nullptr) return nullptr;
  return &g_slots[slot];
}

// Drops an open slot without writing it back.
void Release(Slot& s) {
  if (s.image != nullptr) g_files->close(s.file);
  delete[] s.image;
  s.image = nullptr;
  s.file = kBadFile;
  s.size = 0;
}

}  // namespace

const SlotFileLayer kPlatformSlotFiles = {SlotFileOpen, SlotFileLength, SlotFileSetEnd,
                                          SlotFileRead,  SlotFileWrite,  SlotFileClose};

void SetSlotFileLayer(const SlotFileLayer* layer) {
  g_files = layer != nullptr ? layer : &kPlatformSlotFiles;
}

int16_t OpenFileSlot(int16_t slot, const char16_t* path, int32_t size) {
  if (slot < 0 || slot >= kSlotCount) return 1;
  Slot& s = g_slots[slot];
  Release(s);  // a slot opened twice gives up its old file unwritten

  FileHandle file = g_files->open(path);
  if (file == kBadFile) return 1;

  uint32_t length = 0;
  if (!g_files->length(file, &length)) {
    g_files->close(file);
    return 2;
  }
  // A file of another length than the one asked for is brought to it in the image only: whole
  // 1000-byte blocks from the start zeroed, the rest kept where the file had it, zeros beyond.
  // The file itself changes when the slot is closed, so a wrong file picked by the user, or an
  // open that fails, leaves it as it was.
  const bool initialised = size > 0 && static_cast<uint32_t>(size) != length;
  const uint32_t imageSize = initialised ? static_cast<uint32_t>(size) : length;
  uint8_t* image = (imageSize < UINT32_MAX) ? new (std::nothrow) uint8_t[imageSize + 1ULL] : nullptr;
  if (image == nullptr) {
    g_files->close(file);
    return 2;
  }
  std::memset(image, 0, imageSize + 1ULL);
  const uint32_t from = initialised ? imageSize / 1000 * 1000 : 0;
  const uint32_t to = length < imageSize ? length : imageSize;
  if (to > from && g_files->read(file, from, image + from, to - from) != to - from) {
    delete[] image;
    g_files->close(file);
    return 2;
  }
  s.file = file;
  s.size = imageSize;
  s.image = image;
  if (initialised && size == kSetupFileSize) SetSlotWord(slot, 0, 0xFFFF);
  return 0;
}

int16_t CloseFileSlot(int16_t slot) {
  Slot* s = OpenSlot(slot);
  if (s == nullptr) return 0;
  // The image first, then the end of the file after it: a write cut short leaves the file no
  // shorter than it was.
  const bool whole = g_files->write(s->file, 0, s->image, s->size) == s->size;
  const bool ended = whole && g_files->setEnd(s->file, s->size);
  Release(*s);
  return ended ? 0 : 1;
}

uint8_t GetSlotByte(int16_t slot, uint32_t address) {
  const Slot* s = OpenSlot(slot);
  return (s != nullptr && address < s->size) ? s->image[address] : 0;
}

uint16_t GetSlotWord(int16_t slot, uint32_t address) {
  const Slot* s = OpenSlot(slot);
  if (s == nullptr || s->size < 2 || address > s->size - 2) return 0;
  return static_cast<uint16_t>(s->image[address] | (s->image[address + 1] << 8));
}

void SetSlotByte(int16_t slot, uint32_t address, uint8_t value) {
  Slot* s = OpenSlot(slot);
  if (s != nullptr && address < s->size) s->image[address] = value;
}

void SetSlotWord(int16_t slot, uint32_t address, uint16_t value) {
  Slot* s = OpenSlot(slot);
  if (s == nullptr || s->size < 2 || address > s->size - 2) return;
  s->image[address] = static_cast<uint8_t>(value & 0xFF);
  s->image[address + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t GetSlotSize(int16_t slot) {
  const Slot* s = OpenSlot(slot);
  return s != nullptr ? s->size : 0;
}

bool IsSlotOpen(int16_t slot) { return OpenSlot(slot) != nullptr; }

}  // namespace s470
