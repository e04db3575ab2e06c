#include <windows.h>

#include "analysis/report_file.h"

namespace s470 {

bool WriteReportFile(const char* name, const std::string& bytes) {
  HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  SetEndOfFile(file);
  CloseHandle(file);
  return ok != FALSE && written == bytes.size();
}

void StartNotepad(const char* commandLine) { WinExec(commandLine, SW_SHOW); }

std::vector<std::string> TakeNotepadCalls() { return {}; }

}  // namespace s470
