// A host program for s470_pc.dll, built the normal way (the public header and the import
// library), with one command per export, so scripts and tests drive the DLL as a real host would. Message boxes are
// answered with OK by a watcher thread and recorded on standard output as
//   MSGBOX <caption>|<text>
// Commands (numbers in decimal or 0x hex), run in order:
//   open <path>   close   get <addr>   getint <addr>   set <addr> <v>   setint <addr> <v>
//   read <port> <lang>   write <port> <lang>   setup <lang>   analysis <port> <lang>
//   firmware <port> <lang>   qlb <port> <lang>   sleep <ms>
//   threads   (prints "threads -> N", the number of threads of this process)
//   owner     (makes a window of the host's, prints "owner -> <handle>"; later window exports get
//              it as their parent window instead of none)
//   comtest <port> <hex bytes>   (no DLL: writes the bytes to COM<port>, prints what comes back)
//
// Other dialogs of the process are recorded too: "DIALOG <caption>|<id>=<text>" each time a
// control's text changes (the first time for every control). `--script FILE` (first argument)
// drives dialogs from a second thread while the commands run; one action a line:
//   wait <caption part>       until such a dialog is visible (20 s at most); later actions act on it
//   settext <id> <text>       check <id> <0|1>       select <id> <index>       click <id>
//   dump                      prints every control as "CONTROL <id>=<text>" (with [disabled] /
//                             [hidden] / [checked] marks, and [item N] for a list's selection)
//   sleep <ms>
//   gone <caption part>       until no such dialog is visible any more (20 s at most)
//   boxes <n>                 until n message boxes in all have been answered (20 s at most)
//   waittext <id> <text>      until the control shows exactly that text (120 s at most); prints
//                             "SCRIPT text <id>" or "SCRIPT no text <id>"
//   waitenabled               until the dialog window is enabled (20 s at most); "SCRIPT enabled"
//   text <id>                 prints "TEXT <id>=<text>"
//   items <id>                prints a combo box's entries as "ITEMS <id>=<a>|<b>|..."
//   state                     prints "STATE enabled" or "STATE disabled" for the dialog window
// A wait, waittext or waitenabled that fails ends the host (exit code 4) with what the dialog
// shows: the calls it drives would otherwise wait for good.
//   file <path>               until that file exists (60 s at most): another program's turn,
//                             such as taking a picture of the dialog
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "s470_pc.h"

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

// Message boxes of this process: record and answer them. Other dialogs: record their texts.
volatile LONG g_watching = 1;
volatile LONG g_boxesAnswered = 0;
std::set<HWND> g_answered;
std::map<HWND, std::map<int, std::wstring>> g_seen;  // dialog -> control id -> last text

bool IsDialogOfMine(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return false;
  char cls[32] = {};
  GetClassNameA(window, cls, sizeof cls);
  return std::string(cls) == "#32770";
}

// Read without sending a message: the dialog's thread may be busy (a transfer pumps messages
// only between blocks).
std::wstring TextOf(HWND window) {
  WCHAR text[4096] = {};
  InternalGetWindowText(window, text, 4096);
  return text;
}

BOOL CALLBACK RecordControl(HWND control, LPARAM dialog) {
  const HWND parent = reinterpret_cast<HWND>(dialog);
  if (GetParent(control) != parent) return TRUE;
  const int id = GetDlgCtrlID(control);
  const std::wstring text = TextOf(control);
  auto& seen = g_seen[parent];
  auto it = seen.find(id);
  if (it == seen.end() || it->second != text) {
    seen[id] = text;
    Print("DIALOG " + Utf8(TextOf(parent).c_str()) + "|" + std::to_string(id) + "=" + Utf8(text.c_str()));
  }
  return TRUE;
}

// A message box has its text in a static with id 0xFFFF, an icon and push buttons IDOK..IDHELP,
// and nothing else; a dialog whose labels use IDC_STATIC (-1, the same 0xFFFF) has other controls.
BOOL CALLBACK NotMessageBoxControl(HWND control, LPARAM result) {
  const int id = GetDlgCtrlID(control) & 0xFFFF;
  const bool boxControl = id == 0xFFFF || (id >= IDOK && id <= IDHELP) || id == 0x14 || id == 0x440;
  if (!boxControl) *reinterpret_cast<bool*>(result) = true;
  return boxControl;
}

bool IsMessageBox(HWND window) {
  if (GetDlgItem(window, 0xFFFF) == nullptr) return false;
  bool other = false;
  EnumChildWindows(window, NotMessageBoxControl, reinterpret_cast<LPARAM>(&other));
  return !other;
}

BOOL CALLBACK FindBox(HWND window, LPARAM) {
  if (!IsDialogOfMine(window)) return TRUE;
  if (!IsMessageBox(window)) {
    EnumChildWindows(window, RecordControl, reinterpret_cast<LPARAM>(window));
    return TRUE;
  }
  if (g_answered.count(window) != 0) return TRUE;
  WCHAR caption[512] = {}, text[4096] = {};
  GetWindowTextW(window, caption, 512);
  GetDlgItemTextW(window, 0xFFFF, text, 4096);
  Print("MSGBOX " + Utf8(caption) + "|" + Utf8(text));
  g_answered.insert(window);
  PostMessageW(window, WM_COMMAND, IDOK, 0);
  InterlockedIncrement(&g_boxesAnswered);
  return TRUE;
}

DWORD WINAPI Watch(LPVOID) {
  while (g_watching != 0) {
    for (auto it = g_answered.begin(); it != g_answered.end();)
      it = IsWindow(*it) ? std::next(it) : g_answered.erase(it);
    for (auto it = g_seen.begin(); it != g_seen.end();)
      it = IsWindow(it->first) ? std::next(it) : g_seen.erase(it);
    EnumWindows(FindBox, 0);
    Sleep(10);
  }
  return 0;
}

// The dialog script.
std::vector<std::wstring> g_script;
HWND g_found = nullptr;
std::wstring g_wanted;

BOOL CALLBACK FindDialog(HWND window, LPARAM) {
  if (!IsDialogOfMine(window) || IsMessageBox(window)) return TRUE;
  if (TextOf(window).find(g_wanted) == std::wstring::npos) return TRUE;
  g_found = window;
  return FALSE;
}

BOOL CALLBACK DumpControl(HWND control, LPARAM dialog) {
  if (GetParent(control) != reinterpret_cast<HWND>(dialog)) return TRUE;
  // The dialog waits in its message loop here: its controls can be asked for their texts.
  WCHAR text[4096] = {};
  GetWindowTextW(control, text, 4096);
  std::string line = "CONTROL " + std::to_string(GetDlgCtrlID(control)) + "=" + Utf8(text);
  char cls[32] = {};
  GetClassNameA(control, cls, sizeof cls);
  if (lstrcmpiA(cls, "ComboBox") == 0)
    line += " [item " + std::to_string(SendMessageW(control, CB_GETCURSEL, 0, 0)) + "]";
  if (!IsWindowEnabled(control)) line += " [disabled]";
  if (!IsWindowVisible(control)) line += " [hidden]";
  if (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) line += " [checked]";
  Print(line);
  return TRUE;
}

void GiveUp(HWND dialog) {
  if (dialog != nullptr && IsWindow(dialog)) EnumChildWindows(dialog, DumpControl, reinterpret_cast<LPARAM>(dialog));
  Print("host end (script gave up)");
  ExitProcess(4);
}

DWORD WINAPI RunScript(LPVOID) {
  HWND dialog = nullptr;
  for (const std::wstring& raw : g_script) {
    std::wstring action = raw, rest;
    const size_t space = raw.find(L' ');
    if (space != std::wstring::npos) {
      action = raw.substr(0, space);
      rest = raw.substr(space + 1);
    }
    const int id = _wtoi(rest.c_str());
    const size_t second = rest.find(L' ');
    const std::wstring arg = second == std::wstring::npos ? L"" : rest.substr(second + 1);
    if (action == L"wait") {
      g_wanted = rest;
      g_found = nullptr;
      for (int i = 0; i < 2000 && g_found == nullptr; ++i) {
        EnumWindows(FindDialog, 0);
        if (g_found == nullptr) Sleep(10);
      }
      Print(g_found != nullptr ? "SCRIPT found " + Utf8(rest.c_str()) : "SCRIPT no dialog " + Utf8(rest.c_str()));
      if (g_found == nullptr) GiveUp(dialog);
      dialog = g_found;
    } else if (action == L"sleep") {
      Sleep(static_cast<DWORD>(id));
    } else if (action == L"gone") {
      g_wanted = rest;
      for (int i = 0; i < 2000; ++i) {
        g_found = nullptr;
        EnumWindows(FindDialog, 0);
        if (g_found == nullptr) break;
        Sleep(10);
      }
      Print(g_found == nullptr ? "SCRIPT gone " + Utf8(rest.c_str()) : "SCRIPT still " + Utf8(rest.c_str()));
    } else if (action == L"boxes") {
      for (int i = 0; i < 2000 && g_boxesAnswered < id; ++i) Sleep(10);
      Print("SCRIPT boxes " + std::to_string(g_boxesAnswered));
    } else if (action == L"file") {
      Print("SCRIPT awaits file " + Utf8(rest.c_str()));
      bool there = false;
      for (int i = 0; i < 6000 && !there; ++i) {
        there = GetFileAttributesW(rest.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!there) Sleep(10);
      }
      Print((there ? "SCRIPT file " : "SCRIPT no file ") + Utf8(rest.c_str()));
    } else if (dialog == nullptr) {
      continue;
    } else if (action == L"settext") {
      SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg.c_str()));
    } else if (action == L"check") {
      SendMessageW(GetDlgItem(dialog, id), BM_SETCHECK, _wtoi(arg.c_str()) ? BST_CHECKED : BST_UNCHECKED, 0);
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    } else if (action == L"select") {
      HWND combo = GetDlgItem(dialog, id);
      SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(_wtoi(arg.c_str())), 0);
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    } else if (action == L"click") {
      PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    } else if (action == L"dump") {
      EnumChildWindows(dialog, DumpControl, reinterpret_cast<LPARAM>(dialog));
    } else if (action == L"waittext") {
      // Read without messages: the dialog's thread may be busy with a long run.
      bool shown = false;
      for (int i = 0; i < 12000 && !(shown = TextOf(GetDlgItem(dialog, id)) == arg); ++i) Sleep(10);
      Print((shown ? "SCRIPT text " : "SCRIPT no text ") + std::to_string(id));
      if (!shown) GiveUp(dialog);
    } else if (action == L"waitenabled") {
      for (int i = 0; i < 2000 && !IsWindowEnabled(dialog); ++i) Sleep(10);
      Print(IsWindowEnabled(dialog) ? "SCRIPT enabled" : "SCRIPT still disabled");
      if (!IsWindowEnabled(dialog)) GiveUp(dialog);
    } else if (action == L"text") {
      Print("TEXT " + std::to_string(id) + "=" + Utf8(TextOf(GetDlgItem(dialog, id)).c_str()));
    } else if (action == L"items") {
      const HWND combo = GetDlgItem(dialog, id);
      const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
      std::string line = "ITEMS " + std::to_string(id) + "=";
      for (LRESULT i = 0; i < count; ++i) {
        WCHAR item[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        line += (i > 0 ? "|" : "") + Utf8(item);
      }
      Print(line);
    } else if (action == L"state") {
      Print(IsWindowEnabled(dialog) ? "STATE enabled" : "STATE disabled");
    }
  }
  return 0;
}

bool LoadScript(const wchar_t* path) {
  FILE* f = _wfopen(path, L"rb");
  if (f == nullptr) return false;
  std::string all;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) all.append(buffer, n);
  fclose(f);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) {
      const int len = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
      std::wstring w(len > 0 ? len - 1 : 0, L'\0');
      if (len > 1) MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, &w[0], len);
      g_script.push_back(w);
    }
    start = end + 1;
  }
  return true;
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

int CountThreads() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int n = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    n += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
  CloseHandle(snapshot);
  return n;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  InitializeCriticalSection(&g_out);
  // Linked against the import library: Windows loads s470_pc.dll with the program.
  const auto openSetup = RS470_OpenSetup;
  const auto closeSetup = RS470_CloseSetup;
  const auto getChar = RS470_GetChar;
  const auto getInt = RS470_GetInt;
  const auto setChar = RS470_SetChar;
  const auto setInt = RS470_SetInt;
  const auto readFile = RS470_ReadFile;
  const auto writeFile = RS470_WriteFile;
  const auto setup = RS470_Setup;
  const auto analysis = RS470_Analysis;
  const auto qlbProg = RS470_QLB_Prog;
  const auto firmware = RS470_Firmware;

  int first = 1;
  HANDLE script = nullptr;
  if (argc > 2 && std::wstring(argv[1]) == L"--script") {
    if (!LoadScript(argv[2])) {
      Print("cannot read the script");
      return 2;
    }
    first = 3;
    script = CreateThread(nullptr, 0, RunScript, nullptr, 0, nullptr);
  }
  HANDLE watcher = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
  int status = 0;
  HWND owner = nullptr;
  for (int i = first; i < argc; ++i) {
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
      const short r = (cmd == L"read" ? readFile : writeFile)(owner, port, lang);
      snprintf(line, sizeof line, "%s -> %d", cmd == L"read" ? "read" : "write", r);
    } else if (cmd == L"setup") {
      need(1);
      snprintf(line, sizeof line, "setup -> %d", setup(owner, Number(argv[++i])));
    } else if (cmd == L"analysis" || cmd == L"firmware" || cmd == L"qlb") {
      need(2);
      const DWORD port = Number(argv[i + 1]), lang = Number(argv[i + 2]);
      i += 2;
      (cmd == L"analysis" ? analysis : cmd == L"firmware" ? firmware : qlbProg)(owner, port, lang);
      snprintf(line, sizeof line, "%s done", Utf8(cmd.c_str()).c_str());
    } else if (cmd == L"comtest") {
      need(2);
      const unsigned long port = Number(argv[i + 1]);
      snprintf(line, sizeof line, "comtest -> %s", ComTest(port, argv[i + 2]).c_str());
      i += 2;
    } else if (cmd == L"owner") {
      owner = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                              nullptr, nullptr);
      snprintf(line, sizeof line, "owner -> %p", static_cast<void*>(owner));
    } else if (cmd == L"threads") {
      snprintf(line, sizeof line, "threads -> %d", CountThreads());
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
  if (script != nullptr) WaitForSingleObject(script, 20000);
  Sleep(50);  // let the watcher report a box that closed just now
  InterlockedExchange(&g_watching, 0);
  WaitForSingleObject(watcher, 2000);
  Print("host end");
  return status;
}
