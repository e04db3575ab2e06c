// Declared as Visual C++ sees them through s470_pc.h (no Windows headers for this compiler).
__declspec(dllimport) short __stdcall RS470_OpenSetup(const unsigned short* path);
__declspec(dllimport) void __stdcall RS470_SetInt(unsigned long address, unsigned long value);
__declspec(dllimport) short __stdcall RS470_CloseSetup(void);
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);
void __stdcall start(void) {
  RS470_OpenSetup(L"x.s47");
  RS470_SetInt(0, 1);
  ExitProcess((unsigned)RS470_CloseSetup());
}
