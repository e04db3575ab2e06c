// The twelve exports of s470_pc.dll. No exception may cross this interface.
#include "s470_pc.h"

#include "api/call_frame.h"
#include "api/window_work.h"
#include "slots/file_slots.h"

using namespace s470;

namespace {

int16_t Port(DWORD port) { return static_cast<int16_t>(port & 0xFFFF); }

template <class Work>
int16_t Guarded(int16_t failure, Work work) {
  try {
    return work();
  } catch (...) {
    return failure;
  }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" {

short WINAPI RS470_OpenSetup(const WCHAR* path) {
  return Guarded(1, [&] { return OpenSetup(reinterpret_cast<const char16_t*>(path)); });
}

short WINAPI RS470_CloseSetup(void) {
  return Guarded(1, [] { return CloseFileSlot(0); });
}

void WINAPI RS470_GetChar(DWORD address, BYTE* value) {
  if (value != nullptr) *value = GetSlotByte(0, address);
}

void WINAPI RS470_GetInt(DWORD address, WORD* value) {
  if (value != nullptr) *value = GetSlotWord(0, address);
}

void WINAPI RS470_SetChar(DWORD address, DWORD value) {
  SetSlotByte(0, address, static_cast<uint8_t>(value & 0xFF));
}

void WINAPI RS470_SetInt(DWORD address, DWORD value) {
  SetSlotWord(0, address, static_cast<uint16_t>(value & 0xFFFF));
}

short WINAPI RS470_ReadFile(HWND parent, DWORD port, DWORD languageBrand) {
  return Guarded(1, [&] {
    return RunCallFrame(parent, languageBrand, 1, [&] { return ReadFileWork(parent, Port(port)); });
  });
}

short WINAPI RS470_WriteFile(HWND parent, DWORD port, DWORD languageBrand) {
  return Guarded(1, [&] {
    return RunCallFrame(parent, languageBrand, 1, [&] { return WriteFileWork(parent, Port(port)); });
  });
}

short WINAPI RS470_Setup(HWND parent, DWORD languageBrand) {
  return Guarded(0, [&] {
    return RunCallFrame(parent, languageBrand, 0,
                        [&]() -> int16_t { return SetupWork(parent) == 2 ? 1 : 0; });
  });
}

void WINAPI RS470_Analysis(HWND parent, DWORD port, DWORD languageBrand) {
  Guarded(0, [&] {
    return RunCallFrame(parent, languageBrand, 0, [&]() -> int16_t {
      AnalysisWork(parent, Port(port));
      return 0;
    });
  });
}

void WINAPI RS470_QLB_Prog(HWND parent, DWORD port, DWORD languageBrand) {
  Guarded(0, [&] {
    return RunCallFrame(parent, languageBrand, 0, [&]() -> int16_t {
      QlbProgWork(parent, Port(port));
      return 0;
    });
  });
}

void WINAPI RS470_Firmware(HWND parent, DWORD port, DWORD languageBrand) {
  Guarded(0, [&] {
    return RunCallFrame(parent, languageBrand, 0, [&]() -> int16_t {
      FirmwareWork(parent, Port(port));
      return 0;
    });
  });
}

}  // extern "C"
