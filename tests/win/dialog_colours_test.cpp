// The dialog colour rule with real GDI brushes and device contexts, as a PE under wine64. Which
// message has which colour role is proven natively; here what only real GDI shows.
#include "colours/dialog_colours.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "../unit/fake_lang.h"
#include "colours/colour_table.h"

namespace s470 {
namespace {

COLORREF BrushColour(INT_PTR brush) {
  LOGBRUSH info{};
  if (GetObjectW(reinterpret_cast<HGDIOBJ>(brush), sizeof info, &info) != sizeof info)
    return CLR_INVALID;
  return info.lbColor;
}

// The answer is the role's brush, of the role's colour (default colours here), with the
// background colour set on the device context; the text colour is set only when the dialog gives
// one, and only for a message the rule colours; the brushes are gone after the export, and with
// them the answers.
TEST(DialogColoursTest, RolesBrushAndBackgroundColourOnARealDeviceContext) {
  FakeLang lang;
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  const WPARAM w = reinterpret_cast<WPARAM>(dc);
  LoadColours();
  EXPECT_EQ(AnswerColourMessage(WM_CTLCOLORMSGBOX, w, RGB(255, 0, 0)), 0);
  const INT_PTR stat = AnswerColourMessage(WM_CTLCOLORSTATIC, w, RGB(255, 0, 0));
  EXPECT_EQ(BrushColour(stat), 0xD0E9F0u);
  EXPECT_EQ(GetTextColor(dc), 0x0000FFu);
  EXPECT_EQ(GetBkColor(dc), 0xD0E9F0u);
  SaveColours();
  EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(stat)), 0u);
  EXPECT_EQ(AnswerColourMessage(WM_CTLCOLORDLG, w), 0);
  DeleteDC(dc);
}

}  // namespace
}  // namespace s470
