// Stands in for notepad.exe beside the host: WinExec("notepad ...") finds it first. It appends
// its command line to "notepad-calls.txt" in the current directory and ends at once.
#include <windows.h>

#include <cstdio>

int main() {
  FILE* log = fopen("notepad-calls.txt", "ab");
  if (log == nullptr) return 1;
  fprintf(log, "%s\n", GetCommandLineA());
  fclose(log);
  return 0;
}
