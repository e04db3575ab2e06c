/* A host built from the release package alone: its header and the MinGW import library. Opens a
 * setup file, changes it and closes it, printing each result. */
#include <stdio.h>

#include "s470_pc.h"

int main(void) {
  BYTE b = 0;
  WORD w = 0;
  const short opened = RS470_OpenSetup(L"package.s47");
  RS470_SetInt(2000, 0x0041);
  RS470_SetChar(7499, 0x15A);
  RS470_GetInt(2000, &w);
  RS470_GetChar(0, &b);
  printf("open %d getint %u get %u\n", opened, (unsigned)w, (unsigned)b);
  printf("close %d\n", RS470_CloseSetup());
  return 0;
}
