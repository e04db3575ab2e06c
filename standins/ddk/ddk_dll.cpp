// Stand-in for the maker's Device-setup DLL "ORV_DDK.DLL": Device_Setup reads the device file
// (from the current folder) when it is there and shows a small dialog of its own, owned by the
// given window, with what it was given; OK closes it. With S470_DDK_LOG set to a file path it
// appends one line with its arguments there, so tests can see them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HINSTANCE g_instance = nullptr;

constexpr int kDialog = 1;
constexpr int kLanguageField = 101, kFileField = 102, kCodeField = 103, kDeviceFileField = 104;

struct Arguments {
  int language;
  std::string file;
  std::string code;
  std::string deviceFile;  // "<n> bytes" or "missing"
};

INT_PTR CALLBACK DeviceSetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* a = reinterpret_cast<const Arguments*>(lParam);
    SetDlgItemTextA(dialog, kLanguageField, std::to_string(a->language).c_str());
    SetDlgItemTextA(dialog, kFileField, a->file.c_str());
    SetDlgItemTextA(dialog, kCodeField, a->code.c_str());
    SetDlgItemTextA(dialog, kDeviceFileField, a->deviceFile.c_str());
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

std::string DeviceFileState(const char* file) {
  FILE* f = file != nullptr ? std::fopen(file, "rb") : nullptr;
  if (f == nullptr) return "missing";
  long n = 0;
  while (std::fgetc(f) != EOF) ++n;
  std::fclose(f);
  return std::to_string(n) + " bytes";
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) int WINAPI
    Device_Setup(int language, const char* file, HWND owner, char* code) {
  Arguments a{language, file != nullptr ? file : "",
              code != nullptr ? std::string(code, strnlen(code, 4)) : "", DeviceFileState(file)};
  if (const char* log = std::getenv("S470_DDK_LOG")) {
    if (FILE* f = std::fopen(log, "ab")) {
      std::fprintf(f, "Device_Setup language=%d file=%s owner=%p code=%s device file=%s\n",
                   a.language, a.file.c_str(), static_cast<void*>(owner), a.code.c_str(),
                   a.deviceFile.c_str());
      std::fclose(f);
    }
  }
  DialogBoxParamA(g_instance, MAKEINTRESOURCEA(kDialog), owner, DeviceSetupDialogProc,
                  reinterpret_cast<LPARAM>(&a));
  return 0;
}
