#include <windows.h>

#include <string>

#include "lang/dll_beside.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this module (the DLL, or a test program)

namespace s470 {

namespace {

// "C:\folder\" of a module; empty when its path cannot be had.
std::string FolderOf(HMODULE module) {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  const std::string p(path, n);
  const size_t slash = p.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

HMODULE LoadFrom(const std::string& folder, const char* name) {
  return folder.empty() ? nullptr : LoadLibraryA((folder + name).c_str());
}

}  // namespace

void* LoadDllBeside(const char* name) {
  HMODULE dll = LoadFrom(FolderOf(reinterpret_cast<HMODULE>(&__ImageBase)), name);
  if (dll == nullptr) dll = LoadFrom(FolderOf(nullptr), name);
  return dll;
}

}  // namespace s470
