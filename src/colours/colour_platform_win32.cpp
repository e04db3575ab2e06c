#include <windows.h>

#include "colours/colour_platform.h"

namespace s470 {

Brush CreateColourBrush(Colour colour) {
  return reinterpret_cast<Brush>(CreateSolidBrush(static_cast<COLORREF>(colour)));
}

void DeleteColourBrush(Brush brush) { DeleteObject(reinterpret_cast<HGDIOBJ>(brush)); }

bool RunsOnNtPlatform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
}

}  // namespace s470
