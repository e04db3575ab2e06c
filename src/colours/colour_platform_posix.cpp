// A countable stand-in for GDI brushes, so the brush life cycle can be checked off Windows.
#include <map>

#include "colours/colour_platform.h"

namespace s470 {

namespace {
FakeBrushCounts g_counts;
std::map<Brush, Colour> g_alive;
Brush g_next = 0x1000;
bool g_nt = true;
}  // namespace

Brush CreateColourBrush(Colour colour) {
  const Brush brush = g_next++;
  g_alive[brush] = colour;
  ++g_counts.created;
  return brush;
}

void DeleteColourBrush(Brush brush) {
  if (g_alive.erase(brush) == 1)
    ++g_counts.deleted;
  else
    ++g_counts.badDeletes;
}

bool RunsOnNtPlatform() { return g_nt; }

FakeBrushCounts FakeBrushes() {
  FakeBrushCounts counts = g_counts;
  counts.alive = static_cast<int>(g_alive.size());
  return counts;
}

void ResetFakeBrushes() {
  g_counts = {};
  g_alive.clear();
}

Colour FakeBrushColour(Brush brush) {
  const auto it = g_alive.find(brush);
  return it != g_alive.end() ? it->second : 0xFFFFFFFFu;
}

void SetFakeNtPlatform(bool nt) { g_nt = nt; }

}  // namespace s470
