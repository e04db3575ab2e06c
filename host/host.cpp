// A host program for s470_pc.dll: loads it by name, finds each export and calls it, one command
// per export, so scripts and tests drive the DLL as a real host would. Message boxes are
// answered with OK by a watcher thread and recorded on standard output as
//   MSGBOX <caption>|<text>
// Commands (numbers in decimal or 0x hex), run in order:
//   open <path>   close   get <addr>   getint <addr>   set <addr> <v>   setint <addr> <v>
//   read <port> <lang>   write <port> <lang>   setup <lang>   analysis <port> <lang>
//   firmware <port> <lang>   qlb <port> <lang>   sleep <ms>
//   comtest <port> <hex bytes>   (no DLL: writes the bytes to COM<port>, prints what comes back)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "api/s470_pc.h"

namespace {

CRITICAL_SECTION g_out;

std::string Utf8(const WCHAR* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &s[0], n, nullptr, nullptr);
  return s;
}

void Print(const std::string& line) {
  EnterCriticalSection(&g_out);
  fwrite(line.data(), 1, line.size(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
  LeaveCriticalSection(&g_out);
}

// Message boxes of this process: record and answer them.
volatile LONG g_watching = 1;
std::set<HWND> g_answered;

BOOL CALLBACK FindBox(HWND window, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  char cls[32] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (std::string(cls) != "#32770" || GetDlgItem(window, 0xFFFF) == nullptr) return TRUE;
  if (g_answered.count(window) != 0) return TRUE;
  WCHAR caption[512] = {}, text[4096] = {};
  GetWindowTextW(window, caption, 512);
  GetDlgItemTextW(window, 0xFFFF, text, 4096);
  Print("MSGBOX " + Utf8(caption) + "|" + Utf8(text));
  g_answered.insert(window);
  PostMessageW(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

DWORD WINAPI Watch(LPVOID) {
  while (g_watching != 0) {
    for (auto it = g_answered.begin(); it != g_answered.end();)
      it = IsWindow(*it) ? std::next(it) : g_answered.erase(it);
    EnumWindows(FindBox, 0);
    Sleep(10);
  }
  return 0;
}

// Writes bytes to a COM port and reads back what arrives within a second of silence.
std::string ComTest(unsigned long port, const std::wstring& hex) {
  const std::string name = "\\\\.\\COM" + std::to_string(port);
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "cannot open " + name;
  COMMTIMEOUTS t = {MAXDWORD, MAXDWORD, 1000, 0, 0};
  SetCommTimeouts(h, &t);
  std::vector<BYTE> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<BYTE>(wcstoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  DWORD n = 0;
  WriteFile(h, out.data(), static_cast<DWORD>(out.size()), &n, nullptr);
  std::string got;
  BYTE b = 0;
  while (ReadFile(h, &b, 1, &n, nullptr) && n == 1) {
    char x[3];
    snprintf(x, sizeof x, "%02x", b);
    got += x;
  }
  CloseHandle(h);
  return got;
}

unsigned long Number(const wchar_t* text) { return wcstoul(text, nullptr, 0); }

template <class T>
T Export(HMODULE dll, const char* name) {
  FARPROC p = GetProcAddress(dll, name);
  if (p == nullptr) {
    Print(std::string("missing export ") + name);
    ExitProcess(3);
  }
  return reinterpret_cast<T>(reinterpret_cast<void*>(p));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  InitializeCriticalSection(&g_out);
  HMODULE dll = LoadLibraryA("s470_pc.dll");
  if (dll == nullptr) {
    Print("cannot load s470_pc.dll");
    return 2;
  }
  auto openSetup = Export<decltype(&RS470_OpenSetup)>(dll, "RS470_OpenSetup");
  auto closeSetup = Export<decltype(&RS470_CloseSetup)>(dll, "RS470_CloseSetup");
  auto getChar = Export<decltype(&RS470_GetChar)>(dll, "RS470_GetChar");
  auto getInt = Export<decltype(&RS470_GetInt)>(dll, "RS470_GetInt");
  auto setChar = Export<decltype(&RS470_SetChar)>(dll, "RS470_SetChar");
  auto setInt = Export<decltype(&RS470_SetInt)>(dll, "RS470_SetInt");
  auto readFile = Export<decltype(&RS470_ReadFile)>(dll, "RS470_ReadFile");
  auto writeFile = Export<decltype(&RS470_WriteFile)>(dll, "RS470_WriteFile");
  auto setup = Export<decltype(&RS470_Setup)>(dll, "RS470_Setup");
  auto analysis = Export<decltype(&RS470_Analysis)>(dll, "RS470_Analysis");
  auto qlbProg = Export<decltype(&RS470_QLB_Prog)>(dll, "RS470_QLB_Prog");
  auto firmware = Export<decltype(&RS470_Firmware)>(dll, "RS470_Firmware");

  HANDLE watcher = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const std::wstring cmd = argv[i];
    auto need = [&](int n) {
      if (i + n >= argc) {
        Print("missing arguments for " + Utf8(cmd.c_str()));
        ExitProcess(2);
      }
    };
    char line[256];
    if (cmd == L"open") {
      need(1);
      snprintf(line, sizeof line, "open -> %d", openSetup(argv[++i]));
    } else if (cmd == L"close") {
      snprintf(line, sizeof line, "close -> %d", closeSetup());
    } else if (cmd == L"get") {
      need(1);
      const DWORD a = Number(argv[++i]);
      BYTE v = 0;
      getChar(a, &v);
      snprintf(line, sizeof line, "get %lu -> %u", static_cast<unsigned long>(a), v);
    } else if (cmd == L"getint") {
      need(1);
      const DWORD a = Number(argv[++i]);
      WORD v = 0;
      getInt(a, &v);
      snprintf(line, sizeof line, "getint %lu -> %u", static_cast<unsigned long>(a), v);
    } else if (cmd == L"set" || cmd == L"setint") {
      need(2);
      const DWORD a = Number(argv[i + 1]), v = Number(argv[i + 2]);
      i += 2;
      (cmd == L"set" ? setChar : setInt)(a, v);
      snprintf(line, sizeof line, "%s %lu %lu", cmd == L"set" ? "set" : "setint",
               static_cast<unsigned long>(a), static_cast<unsigned long>(v));
    } else if (cmd == L"read" || cmd == L"write") {
      need(2);
      const DWORD port = Number(argv[i + 1]), lang = Number(argv[i + 2]);
      i += 2;
      const short r = (cmd == L"read" ? readFile : writeFile)(nullptr, port, lang);
      snprintf(line, sizeof line, "%s -> %d", cmd == L"read" ? "read" : "write", r);
    } else if (cmd == L"setup") {
      need(1);
      snprintf(line, sizeof line, "setup -> %d", setup(nullptr, Number(argv[++i])));
    } else if (cmd == L"analysis" || cmd == L"firmware" || cmd == L"qlb") {
      need(2);
      const DWORD port = Number(argv[i + 1]), lang = Number(argv[i + 2]);
      i += 2;
      (cmd == L"analysis" ? analysis : cmd == L"firmware" ? firmware : qlbProg)(nullptr, port, lang);
      snprintf(line, sizeof line, "%s done", Utf8(cmd.c_str()).c_str());
    } else if (cmd == L"comtest") {
      need(2);
      const unsigned long port = Number(argv[i + 1]);
      snprintf(line, sizeof line, "comtest -> %s", ComTest(port, argv[i + 2]).c_str());
      i += 2;
    } else if (cmd == L"sleep") {
      need(1);
      Sleep(Number(argv[++i]));
      continue;
    } else {
      snprintf(line, sizeof line, "unknown command %s", Utf8(cmd.c_str()).c_str());
      status = 2;
      Print(line);
      break;
    }
    Print(line);
  }
  Sleep(50);  // let the watcher report a box that closed just now
  InterlockedExchange(&g_watching, 0);
  WaitForSingleObject(watcher, 2000);
  FreeLibrary(dll);
  Print("host end");
  return status;
}
