/* s470_pc.dll: configuration and programming of R470/S470 gauge modules and QLBus modules over an
 * RS232 port. The twelve functions use the standard Windows calling convention (WINAPI) and are
 * exported under their plain names; link with s470_pc.lib (Visual C++) or libs470_pc.dll.a
 * (MinGW), and keep the Language DLL (ORV_LangWinNT.DLL, ORV_LangWin95.DLL) beside s470_pc.dll,
 * and ORV_DDK.DLL for RS470_QLB_Prog.
 *
 * Call them from one thread, one at a time. Usual order: RS470_OpenSetup; any of the value
 * functions, RS470_ReadFile, RS470_WriteFile, RS470_Setup; RS470_CloseSetup, which writes the
 * setup file. RS470_Analysis, RS470_QLB_Prog and RS470_Firmware need no open setup.
 *
 * Language/brand word (the last argument of the window functions): bits 0-7 the language number
 * of the Language DLL (1 English, 2 German with the stand-in DLL), bits 8-15 the brand (0 none,
 * 1-4 a brand's names in the texts), bits 16-31 ignored.
 * Port: the COM port number (COM1 = 1); the bus functions take COM1 to COM8.
 * Parent: the window that owns the dialogs and message boxes (may be NULL).
 */
#ifndef S470_PC_H
#define S470_PC_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the setup file (path, wide string) into memory as a 7500-byte setup image; a missing file
 * is created, a file of another length is taken as a new setup. The file on disk changes only at
 * RS470_CloseSetup. 0 opened; 1 the file can be neither opened nor created; 2 it cannot be read. */
short WINAPI RS470_OpenSetup(const WCHAR* path);

/* Writes the setup image back to the file and closes it. 0 written (or nothing open); 1 the
 * write failed. */
short WINAPI RS470_CloseSetup(void);

/* Byte and 16-bit little-endian word access to the open setup image, addresses 0 to 7499. Reads
 * without an open setup or outside the image give 0; such writes are ignored. */
void WINAPI RS470_GetChar(DWORD address, BYTE* value);
void WINAPI RS470_GetInt(DWORD address, WORD* value);
void WINAPI RS470_SetChar(DWORD address, DWORD value); /* low 8 bits stored */
void WINAPI RS470_SetInt(DWORD address, DWORD value);  /* low 16 bits stored */

/* Reads the setup memory of the gauge on COM<port> into the open setup (progress dialog, message
 * on failure). 0 done; 1 failed (the user has seen why). Needs an open setup. */
short WINAPI RS470_ReadFile(HWND parent, DWORD port, DWORD languageBrand);

/* Writes the open setup into the gauge on COM<port>. 0 done; 1 failed. Needs an open setup. */
short WINAPI RS470_WriteFile(HWND parent, DWORD port, DWORD languageBrand);

/* The setup editor dialog on the open setup. 1 when the user cancelled (the setup is as it
 * was); 0 otherwise. Needs an open setup. */
short WINAPI RS470_Setup(HWND parent, DWORD languageBrand);

/* Finds and numbers the modules on the QLBus at COM<port>, writes the report "Analysis.txt" in
 * the current folder and opens it in Notepad. */
void WINAPI RS470_Analysis(HWND parent, DWORD port, DWORD languageBrand);

/* Prepares the QLBus at COM<port> and hands the module setup to ORV_DDK.DLL (Device_Setup). */
void WINAPI RS470_QLB_Prog(HWND parent, DWORD port, DWORD languageBrand);

/* Firmware programming of a module at COM<port> behind an access code. */
void WINAPI RS470_Firmware(HWND parent, DWORD port, DWORD languageBrand);

#ifdef __cplusplus
}
#endif

#endif /* S470_PC_H */
