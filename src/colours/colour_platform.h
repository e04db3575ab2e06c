// What the colour table needs of the platform: solid brushes and the Windows NT test.
#pragma once

#include "colours/colour_table.h"

namespace s470 {

Brush CreateColourBrush(Colour colour);  // CreateSolidBrush; 0 when none could be made
void DeleteColourBrush(Brush brush);     // DeleteObject
bool RunsOnNtPlatform();                 // GetVersionExA reports platform id 2

#ifndef _WIN32
// The POSIX build counts brushes instead of making them, and lets tests choose the platform.
struct FakeBrushCounts {
  int created = 0;
  int deleted = 0;
  int badDeletes = 0;  // deletions of a brush that is not alive (twice, or never made)
  int alive = 0;
};
FakeBrushCounts FakeBrushes();
void ResetFakeBrushes();
// The colour a live fake brush was made with, or 0xFFFFFFFF when the brush is not alive.
Colour FakeBrushColour(Brush brush);
void SetFakeNtPlatform(bool nt);
#endif

}  // namespace s470
