// Binds the Language DLL for the length of one export call.
#include <windows.h>

#include "colours/colour_platform.h"
#include "lang/dll_beside.h"
#include "lang/lang_api.h"
#include "lang/lang_entry_points.h"

namespace s470 {

namespace {

template <class T>
bool Find(HMODULE dll, const char* name, T* fn) {
  *fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  return *fn != nullptr;
}

const WCHAR* W(const char16_t* text) { return reinterpret_cast<const WCHAR*>(text); }
WCHAR* W(char16_t* text) { return reinterpret_cast<WCHAR*>(text); }

class LangDll final : public LangApi {
 public:
  // false when an entry point is missing: the binding is then not used at all.
  bool Bind(HMODULE dll) {
    return Find(dll, "Lang_LoadLanguage", &loadLanguage_) && Find(dll, "Lang_GetStr", &getStr_) &&
           Find(dll, "Lang_SetWindowText", &setWindowText_) &&
           Find(dll, "Lang_GetWindowText", &getWindowText_) &&
           Find(dll, "Lang_OpenDialog", &openDialog_) &&
           Find(dll, "Lang_CreateDialog", &createDialog_) &&
           Find(dll, "Lang_ComboBox", &comboBox_) && Find(dll, "Lang_MessageBox", &messageBox_) &&
           Find(dll, "Lang_strlen", &strlen_) && Find(dll, "Lang_strcpy", &strcpy_) &&
           Find(dll, "Lang_strcat", &strcat_) && Find(dll, "Lang_strconv", &strconv_) &&
           Find(dll, "Lang_strconv2", &strconv2_) && Find(dll, "Lang_CreateFile", &createFile_) &&
           Find(dll, "Lang_RegOpenKey", &regOpenKey_) &&
           Find(dll, "Lang_RegCreateKey", &regCreateKey_) &&
           Find(dll, "Lang_RegEnumValue", &regEnumValue_) &&
           Find(dll, "Lang_RegSetValue", &regSetValue_);
  }

  int LoadLanguage(int language, int mode) override { return loadLanguage_(language, mode); }
  const char16_t* GetStr(int number) override {
    return reinterpret_cast<const char16_t*>(getStr_(number));
  }
  void SetText(Window window, const char16_t* text) override {
    setWindowText_(static_cast<HWND>(window), W(text));
  }
  int GetTextOf(Window window, char16_t* buffer, int capacity) override {
    return getWindowText_(static_cast<HWND>(window), W(buffer), capacity);
  }
  intptr_t OpenDialog(Window parent, int number, void* proc) override {
    return openDialog_(static_cast<HWND>(parent), number, reinterpret_cast<DLGPROC>(proc));
  }
  Window CreateModeless(Window parent, int number, void* proc) override {
    return createDialog_(static_cast<HWND>(parent), number, reinterpret_cast<DLGPROC>(proc));
  }
  void ComboBoxAdd(Window combo, const char16_t* text) override {
    comboBox_(0, static_cast<HWND>(combo), W(text));
  }
  int ShowMessageBox(Window owner, const char16_t* text, const char16_t* caption,
                 unsigned style) override {
    return messageBox_(static_cast<HWND>(owner), W(text), W(caption), style);
  }
  FileHandle OpenFile(const char16_t* path) override {
    return reinterpret_cast<FileHandle>(createFile_(W(path), 3, 4, 0x80));
  }
  long OpenKey(uintptr_t root, const char16_t* subkey, uint32_t options, uint32_t sam,
                  RegKey* key) override {
    HKEY k = nullptr;
    const LONG r = regOpenKey_(reinterpret_cast<HKEY>(root), W(subkey), options, sam, &k);
    *key = k;
    return r;
  }
  long CreateKey(uintptr_t root, const char16_t* subkey, const char16_t* keyClass,
                    uint32_t sam, RegKey* key, uint32_t* disposition) override {
    HKEY k = nullptr;
    DWORD d = 0;
    const LONG r = regCreateKey_(reinterpret_cast<HKEY>(root), W(subkey), 0,
                                 const_cast<WCHAR*>(W(keyClass)), 0, sam, nullptr, &k, &d);
    *key = k;
    if (disposition != nullptr) *disposition = d;
    return r;
  }
  long EnumValue(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength,
                    uint32_t* type, uint8_t* data, uint32_t* dataLength) override {
    DWORD n = *nameLength, t = 0, d = *dataLength;
    const LONG r = regEnumValue_(static_cast<HKEY>(key), index, W(name), &n, nullptr, &t, data, &d);
    *nameLength = n;
    *type = t;
    *dataLength = d;
    return r;
  }
  long SetValue(RegKey key, const char16_t* name, uint32_t type, const uint8_t* data,
                   uint32_t dataLength) override {
    return regSetValue_(static_cast<HKEY>(key), W(name), 0, type, data, dataLength);
  }
  void CloseKey(RegKey key) override { ::RegCloseKey(static_cast<HKEY>(key)); }

 private:
  Lang_LoadLanguage_t loadLanguage_ = nullptr;
  Lang_GetStr_t getStr_ = nullptr;
  Lang_SetWindowText_t setWindowText_ = nullptr;
  Lang_GetWindowText_t getWindowText_ = nullptr;
  Lang_OpenDialog_t openDialog_ = nullptr;
  Lang_CreateDialog_t createDialog_ = nullptr;
  Lang_ComboBox_t comboBox_ = nullptr;
  Lang_MessageBox_t messageBox_ = nullptr;
  Lang_strlen_t strlen_ = nullptr;
  Lang_strcpy_t strcpy_ = nullptr;
  Lang_strcat_t strcat_ = nullptr;
  Lang_strconv_t strconv_ = nullptr;
  Lang_strconv2_t strconv2_ = nullptr;
  Lang_CreateFile_t createFile_ = nullptr;
  Lang_RegOpenKey_t regOpenKey_ = nullptr;
  Lang_RegCreateKey_t regCreateKey_ = nullptr;
  Lang_RegEnumValue_t regEnumValue_ = nullptr;
  Lang_RegSetValue_t regSetValue_ = nullptr;
};

HMODULE g_dll = nullptr;
LangDll g_binding;

}  // namespace

const char* LanguageDllName() { return RunsOnNtPlatform() ? S470_LANG_DLL_NT : S470_LANG_DLL_9X; }

int OpenLanguage(int language, int mode) {
  CloseLanguage();
  HMODULE dll = static_cast<HMODULE>(LoadDllBeside(LanguageDllName()));
  if (dll == nullptr) return 1;
  g_binding = LangDll();
  if (!g_binding.Bind(dll)) {
    FreeLibrary(dll);
    return 1;
  }
  g_dll = dll;
  SetLang(&g_binding);
  if ((language & 0xFFFF) == 0xFFFF) return 0;
  return g_binding.LoadLanguage(language, mode);
}

void CloseLanguage() {
  SetLang(nullptr);
  if (g_dll != nullptr) FreeLibrary(g_dll);
  g_dll = nullptr;
}

}  // namespace s470
