#include <windows.h>

#include "lang/dll_beside.h"
#include "programming/device_setup.h"

namespace s470 {

namespace {
// The callee removes its four arguments (stdcall on i686).
using DeviceSetupFn = int(WINAPI*)(int32_t language, const char* file, HWND owner, char* code);
}  // namespace

DeviceSetupResult CallDeviceSetup(int32_t language, const char* file, Window owner, char* code) {
  HMODULE dll = static_cast<HMODULE>(LoadDllBeside(kDeviceSetupDll));
  if (dll == nullptr) return DeviceSetupResult::kNotFound;
  const auto entry = reinterpret_cast<DeviceSetupFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, kDeviceSetupEntry)));
  if (entry == nullptr) {
    FreeLibrary(dll);
    return DeviceSetupResult::kNoEntryPoint;
  }
  entry(language, file, static_cast<HWND>(owner), code);
  FreeLibrary(dll);
  return DeviceSetupResult::kCalled;
}

}  // namespace s470
