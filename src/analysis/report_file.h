// The report file and Notepad: report_file_win32.cpp (CreateFileA, WinExec) and
// report_file_posix.cpp.
#pragma once

#include <string>
#include <vector>

namespace s470 {

// Creates the file anew in the current directory (replacing an old one, unshared), writes the
// bytes and ends the file there. false when it cannot be created or written whole.
bool WriteReportFile(const char* name, const std::string& bytes);

// Starts the command with WinExec, shown (SW_SHOW), without waiting for it.
void StartNotepad(const char* commandLine);

// Off Windows the command lines are collected here instead of run.
std::vector<std::string> TakeNotepadCalls();

}  // namespace s470
