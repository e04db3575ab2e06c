/* s470_pc.dll: the exported interface. Standard calling convention, plain export names. */
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

short WINAPI RS470_OpenSetup(const WCHAR* path);
short WINAPI RS470_CloseSetup(void);
void WINAPI RS470_GetChar(DWORD address, BYTE* value);
void WINAPI RS470_GetInt(DWORD address, WORD* value);
void WINAPI RS470_SetChar(DWORD address, DWORD value);
void WINAPI RS470_SetInt(DWORD address, DWORD value);
short WINAPI RS470_ReadFile(HWND parent, DWORD port, DWORD languageBrand);
short WINAPI RS470_WriteFile(HWND parent, DWORD port, DWORD languageBrand);
short WINAPI RS470_Setup(HWND parent, DWORD languageBrand);
void WINAPI RS470_Analysis(HWND parent, DWORD port, DWORD languageBrand);
void WINAPI RS470_QLB_Prog(HWND parent, DWORD port, DWORD languageBrand);
void WINAPI RS470_Firmware(HWND parent, DWORD port, DWORD languageBrand);

#ifdef __cplusplus
}
#endif
