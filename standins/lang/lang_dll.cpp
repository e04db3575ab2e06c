// Stand-in for the maker's Language DLL: texts and dialogs by number in English or German,
// wide-string helpers, file opening and registry access.
#include <windows.h>

#include "lang/lang_entry_points.h"
#include "lang_ids.h"

namespace {

HINSTANCE g_instance = nullptr;
int g_offset = 0;             // 0 English, LANG_GERMAN_OFFSET German
WCHAR g_text[4096];           // the last text handed out

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
  return TRUE;
}

extern "C" {

int WINAPI Lang_LoadLanguage(int language, int /*mode*/) {
  g_offset = (language == 2) ? LANG_GERMAN_OFFSET : 0;
  return 0;
}

const WCHAR* WINAPI Lang_GetStr(int number) {
  g_text[0] = 0;
  if (number < 0 || number >= LANG_GERMAN_OFFSET) return g_text;
  const WCHAR* resource = nullptr;
  int length = LoadStringW(g_instance, static_cast<UINT>(number + g_offset),
                           reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 && g_offset != 0)  // untranslated: English
    length = LoadStringW(g_instance, static_cast<UINT>(number), reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 || resource == nullptr) return g_text;
  if (length >= static_cast<int>(sizeof g_text / sizeof g_text[0]))
    length = sizeof g_text / sizeof g_text[0] - 1;
  for (int i = 0; i < length; ++i) g_text[i] = resource[i];
  g_text[length] = 0;
  return g_text;
}

BOOL WINAPI Lang_SetWindowText(HWND window, const WCHAR* text) {
  return SetWindowTextW(window, text);
}

int WINAPI Lang_GetWindowText(HWND window, WCHAR* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return 0;
  buffer[0] = 0;
  return GetWindowTextW(window, buffer, capacity);
}

static LPCWSTR DialogTemplate(int number) {
  if (g_offset != 0 &&
      FindResourceW(g_instance, MAKEINTRESOURCEW(number + g_offset), MAKEINTRESOURCEW(5)) != nullptr)
    return MAKEINTRESOURCEW(number + g_offset);
  return MAKEINTRESOURCEW(number);
}

INT_PTR WINAPI Lang_OpenDialog(HWND parent, int number, DLGPROC proc) {
  return DialogBoxParamW(g_instance, DialogTemplate(number), parent, proc, 0);
}

HWND WINAPI Lang_CreateDialog(HWND parent, int number, DLGPROC proc) {
  return CreateDialogParamW(g_instance, DialogTemplate(number), parent, proc, 0);
}

LRESULT WINAPI Lang_ComboBox(int /*zero*/, HWND combo, const WCHAR* text) {
  return SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

int WINAPI Lang_MessageBox(HWND owner, const WCHAR* text, const WCHAR* caption,
                                                 UINT style) {
  return MessageBoxW(owner, text, caption, style);
}

int WINAPI Lang_strlen(const WCHAR* text) { return lstrlenW(text); }

WCHAR* WINAPI Lang_strcpy(WCHAR* to, const WCHAR* from) {
  return lstrcpyW(to, from);
}

WCHAR* WINAPI Lang_strcat(WCHAR* to, const WCHAR* from) {
  return lstrcatW(to, from);
}

WCHAR* WINAPI Lang_strconv(WCHAR* to, const char* from) {
  int i = 0;
  for (; from[i] != 0; ++i) to[i] = static_cast<unsigned char>(from[i]);
  to[i] = 0;
  return to;
}

char* WINAPI Lang_strconv2(char* to, const WCHAR* from) {
  int i = 0;
  for (; from[i] != 0; ++i) to[i] = from[i] < 256 ? static_cast<char>(from[i]) : '?';
  to[i] = 0;
  return to;
}

HANDLE WINAPI Lang_CreateFile(const WCHAR* path, DWORD share, DWORD disposition,
                                                    DWORD attributes) {
  return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition, attributes,
                     nullptr);
}

LONG WINAPI Lang_RegOpenKey(HKEY root, const WCHAR* subkey, DWORD options,
                                                  REGSAM sam, PHKEY key) {
  return RegOpenKeyExW(root, subkey, options, sam, key);
}

LONG WINAPI Lang_RegCreateKey(HKEY root, const WCHAR* subkey, DWORD reserved,
                                                    WCHAR* keyClass, DWORD options, REGSAM sam,
                                                    LPSECURITY_ATTRIBUTES security, PHKEY key,
                                                    LPDWORD disposition) {
  return RegCreateKeyExW(root, subkey, reserved, keyClass, options, sam, security, key, disposition);
}

LONG WINAPI Lang_RegEnumValue(HKEY key, DWORD index, WCHAR* name,
                                                    LPDWORD nameLength, LPDWORD reserved,
                                                    LPDWORD type, LPBYTE data, LPDWORD dataLength) {
  return RegEnumValueW(key, index, name, nameLength, reserved, type, data, dataLength);
}

LONG WINAPI Lang_RegSetValue(HKEY key, const WCHAR* name, DWORD reserved,
                                                   DWORD type, const BYTE* data, DWORD dataLength) {
  return RegSetValueExW(key, name, reserved, type, data, dataLength);
}

}  // extern "C"
