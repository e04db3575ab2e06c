// The Language DLL as the rest of the system sees it.
//
// Texts, dialogs, message boxes, file opening and registry access all go through the Language
// DLL. Portable code talks to this interface only; the Win32 binding (lang_binding_win32.cpp)
// forwards to the DLL's entry points, and native tests install a double with SetLang().
#pragma once

#include <cstddef>
#include <cstdint>

namespace s470 {

using Window = void*;         // HWND on Windows, opaque elsewhere
using RegKey = void*;         // HKEY on Windows, opaque elsewhere
using FileHandle = intptr_t;  // HANDLE value on Windows, a descriptor elsewhere
constexpr FileHandle kBadFile = -1;  // INVALID_HANDLE_VALUE: all bits set

// Message box styles used by the system.
constexpr unsigned kStopIcon = 16;
constexpr unsigned kExclamationIcon = 48;
constexpr unsigned kInformationIcon = 64;

// Registry constants, with their Win32 values, so portable code can pass them on.
// Predefined keys are 32-bit values sign-extended to pointer width (0xFFFFFFFF80000002 on x86_64).
constexpr uintptr_t kHkeyLocalMachine = static_cast<uintptr_t>(static_cast<intptr_t>(INT32_MIN + 2));
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kRegSz = 1;

class LangApi {
 public:
  virtual ~LangApi() = default;

  virtual int LoadLanguage(int language, int mode) = 0;
  // The text with that number; valid until the next call. Null or empty for an unknown number.
  virtual const char16_t* GetStr(int number) = 0;
  virtual void SetText(Window window, const char16_t* text) = 0;
  virtual int GetTextOf(Window window, char16_t* buffer, int capacity) = 0;
  // proc is a DLGPROC; only the Win32 layer creates dialogs.
  virtual intptr_t OpenDialog(Window parent, int number, void* proc) = 0;
  virtual Window CreateModeless(Window parent, int number, void* proc) = 0;
  virtual void ComboBoxAdd(Window combo, const char16_t* text) = 0;
  virtual int ShowMessageBox(Window owner, const char16_t* text, const char16_t* caption, unsigned style) = 0;

  // Lang_CreateFile(path, 3, 4, 0x80): read and write, shared, created when missing.
  virtual FileHandle OpenFile(const char16_t* path) = 0;

  // Registry, with the arguments of RegOpenKeyEx / RegCreateKeyEx / RegEnumValue / RegSetValueEx.
  virtual long OpenKey(uintptr_t root, const char16_t* subkey, uint32_t options, uint32_t sam,
                          RegKey* key) = 0;
  virtual long CreateKey(uintptr_t root, const char16_t* subkey, const char16_t* keyClass,
                            uint32_t sam, RegKey* key, uint32_t* disposition) = 0;
  virtual long EnumValue(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength,
                            uint32_t* type, uint8_t* data, uint32_t* dataLength) = 0;
  virtual long SetValue(RegKey key, const char16_t* name, uint32_t type, const uint8_t* data,
                           uint32_t dataLength) = 0;
  virtual void CloseKey(RegKey key) = 0;
};

// The bound Language DLL, or null while none is loaded.
LangApi* Lang();
void SetLang(LangApi* lang);

// Loads the Language DLL ("ORV_LangWinNT.DLL" on NT, else "ORV_LangWin95.DLL") and, unless the
// low 16 bits of language are 0xFFFF, the language. 1 when the DLL cannot be loaded or lacks an
// entry point (nothing is then bound), else Lang_LoadLanguage's result or 0.
int OpenLanguage(int language, int mode);
void CloseLanguage();
// The file name OpenLanguage loads on this platform.
const char* LanguageDllName();

}  // namespace s470
