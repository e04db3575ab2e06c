// The dialog colour rule with real GDI brushes and device contexts, as a PE under wine64.
#include "colours/dialog_colours.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "../unit/fake_lang.h"
#include "colours/colour_table.h"

namespace s470 {
namespace {

class DialogColoursTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc_, nullptr);
    const std::string blue = "0 0 255 ";
    std::vector<uint8_t> data(blue.begin(), blue.end());
    data.push_back(0);
    lang_.registry[u"SOFTWARE\\ORV\\MERIDEX"].push_back({u"COLOR 05", {kRegSz, data}});
  }
  void TearDown() override { DeleteDC(dc_); }

  WPARAM Dc() const { return reinterpret_cast<WPARAM>(dc_); }
  static COLORREF BrushColour(INT_PTR brush) {
    LOGBRUSH info{};
    if (GetObjectW(reinterpret_cast<HGDIOBJ>(brush), sizeof info, &info) != sizeof info)
      return CLR_INVALID;
    return info.lbColor;
  }

  FakeLang lang_;
  HDC dc_ = nullptr;
};

TEST_F(DialogColoursTest, EachControlColourMessageGetsItsRolesColourAndBrush) {
  LoadColours();
  EXPECT_EQ(GetWideRegistryFlag(), 1);  // Wine reports Windows NT
  const struct {
    UINT message;
    COLORREF colour;
  } cases[] = {
      {WM_CTLCOLORBTN, 0xC8D0D4},  {WM_CTLCOLOREDIT, 0xFF0000},      {WM_CTLCOLORLISTBOX, 0xFF0000},
      {WM_CTLCOLORSCROLLBAR, 0xC8D0D4}, {WM_CTLCOLORDLG, 0xD0E9F0}, {WM_CTLCOLORSTATIC, 0xD0E9F0},
  };
  std::vector<INT_PTR> brushes;
  for (const auto& c : cases) {
    SetBkColor(dc_, 0x123456);
    SetTextColor(dc_, 0x654321);
    const INT_PTR brush = AnswerColourMessage(c.message, Dc());
    ASSERT_NE(brush, 0) << std::hex << c.message;
    EXPECT_EQ(BrushColour(brush), c.colour) << std::hex << c.message;
    EXPECT_EQ(GetBkColor(dc_), c.colour) << std::hex << c.message;
    EXPECT_EQ(GetTextColor(dc_), 0x654321u) << std::hex << c.message;  // left alone
    brushes.push_back(brush);
  }
  // Edit controls and list boxes share role 5's brush; dialogs and static controls role 1's.
  EXPECT_EQ(brushes[1], brushes[2]);
  EXPECT_EQ(brushes[4], brushes[5]);

  SaveColours();
  for (INT_PTR brush : brushes) EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(brush)), 0u);
}

TEST_F(DialogColoursTest, OtherMessagesAndTheMessageBoxAreLeftAlone) {
  LoadColours();
  SetBkColor(dc_, 0x123456);
  SetTextColor(dc_, 0x654321);
  for (UINT message : {static_cast<UINT>(WM_CTLCOLORMSGBOX), static_cast<UINT>(WM_COMMAND),
                       static_cast<UINT>(WM_INITDIALOG), static_cast<UINT>(WM_PAINT)}) {
    EXPECT_EQ(AnswerColourMessage(message, Dc(), RGB(255, 0, 0)), 0) << std::hex << message;
    EXPECT_EQ(GetBkColor(dc_), 0x123456u);
    EXPECT_EQ(GetTextColor(dc_), 0x654321u);
  }
  SaveColours();
}

TEST_F(DialogColoursTest, ADialogsOwnTextColourIsSetWithTheBackground) {
  LoadColours();
  SetTextColor(dc_, 0x654321);
  EXPECT_NE(AnswerColourMessage(WM_CTLCOLORSTATIC, Dc(), RGB(255, 0, 0)), 0);
  EXPECT_EQ(GetTextColor(dc_), 0x0000FFu);
  EXPECT_EQ(GetBkColor(dc_), 0xD0E9F0u);
  SaveColours();
}

TEST_F(DialogColoursTest, OutsideAWindowExportThereIsNoBrush) {
  LoadColours();
  SaveColours();
  SetBkColor(dc_, 0x123456);
  EXPECT_EQ(AnswerColourMessage(WM_CTLCOLORDLG, Dc()), 0);
  EXPECT_EQ(GetBkColor(dc_), 0x123456u);
}

}  // namespace
}  // namespace s470
