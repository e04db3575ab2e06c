// Windows only: the entry points of the Language DLL, shared by the binding and the stand-in DLL.
// All use the standard calling convention and are exported under their plain names.
#pragma once

#include <windows.h>

extern "C" {
typedef int(WINAPI* Lang_LoadLanguage_t)(int language, int mode);
typedef const WCHAR*(WINAPI* Lang_GetStr_t)(int number);
typedef BOOL(WINAPI* Lang_SetWindowText_t)(HWND window, const WCHAR* text);
typedef int(WINAPI* Lang_GetWindowText_t)(HWND window, WCHAR* buffer, int capacity);
typedef INT_PTR(WINAPI* Lang_OpenDialog_t)(HWND parent, int number, DLGPROC proc);
typedef HWND(WINAPI* Lang_CreateDialog_t)(HWND parent, int number, DLGPROC proc);
typedef LRESULT(WINAPI* Lang_ComboBox_t)(int zero, HWND combo, const WCHAR* text);
typedef int(WINAPI* Lang_MessageBox_t)(HWND owner, const WCHAR* text, const WCHAR* caption, UINT style);
typedef int(WINAPI* Lang_strlen_t)(const WCHAR* text);
typedef WCHAR*(WINAPI* Lang_strcpy_t)(WCHAR* to, const WCHAR* from);
typedef WCHAR*(WINAPI* Lang_strcat_t)(WCHAR* to, const WCHAR* from);
typedef WCHAR*(WINAPI* Lang_strconv_t)(WCHAR* to, const char* from);
typedef char*(WINAPI* Lang_strconv2_t)(char* to, const WCHAR* from);
// (path, 3, 4, 0x80): share read|write, open always, normal attributes; always read and write.
typedef HANDLE(WINAPI* Lang_CreateFile_t)(const WCHAR* path, DWORD share, DWORD disposition,
                                          DWORD attributes);
typedef LONG(WINAPI* Lang_RegOpenKey_t)(HKEY root, const WCHAR* subkey, DWORD options, REGSAM sam,
                                        PHKEY key);
typedef LONG(WINAPI* Lang_RegCreateKey_t)(HKEY root, const WCHAR* subkey, DWORD reserved,
                                          WCHAR* keyClass, DWORD options, REGSAM sam,
                                          LPSECURITY_ATTRIBUTES security, PHKEY key,
                                          LPDWORD disposition);
typedef LONG(WINAPI* Lang_RegEnumValue_t)(HKEY key, DWORD index, WCHAR* name, LPDWORD nameLength,
                                          LPDWORD reserved, LPDWORD type, LPBYTE data,
                                          LPDWORD dataLength);
typedef LONG(WINAPI* Lang_RegSetValue_t)(HKEY key, const WCHAR* name, DWORD reserved, DWORD type,
                                         const BYTE* data, DWORD dataLength);
}

// The DLL's file names.
#define S470_LANG_DLL_NT "ORV_LangWinNT.DLL"
#define S470_LANG_DLL_9X "ORV_LangWin95.DLL"
