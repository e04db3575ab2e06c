// A host built from the release package alone: its header and the MinGW import library. It uses
// the six setup-file exports; what they do is run under Wine by the integration tests.
#include "s470_pc.h"

int main(void) {
  BYTE b = 0;
  WORD w = 0;
  RS470_OpenSetup(L"package.s47");
  RS470_SetInt(2000, 0x0041);
  RS470_SetChar(7499, 0x15A);
  RS470_GetInt(2000, &w);
  RS470_GetChar(0, &b);
  return RS470_CloseSetup() + w + b;
}
