// General settings dialog 12 against an in-memory dialog and a real slot 0.
#include <gtest/gtest.h>

#include "api/call_frame.h"
#include "editor/editor_numbers.h"
#include "editor/general_dialog.h"
#include "editor/setup_layout.h"
#include "fake_controls.h"
#include "fake_lang.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "slots/file_slots.h"
#include "test_files.h"

namespace s470 {
namespace {

using Bytes = std::vector<uint8_t>;

class GeneralTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 0; n < 300; ++n) lang_.texts[n] = u"T" + Widen(std::to_string(n).c_str());
    SetBrand(0);
    ASSERT_EQ(OpenSetup(FromUtf8(dir_.Path("g.s47")).c_str()), 0);
    const auto d = SetupDefaults();
    Put(0, Bytes(d.begin(), d.end()));
  }
  void TearDown() override { CloseFileSlot(0); }
  static Bytes Image(uint32_t from, uint32_t to) {
    Bytes b;
    for (uint32_t a = from; a < to; ++a) b.push_back(GetSlotByte(0, a));
    return b;
  }
  static void Put(uint32_t address, const Bytes& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) SetSlotByte(0, address + i, bytes[i]);
  }
  static FakeControls Open() {
    FakeControls view;
    OpenGeneralDialog(view);
    return view;
  }
  // Opens the dialog over the current image, presses OK, and gives addresses 257 to 304.
  static Bytes OpenAndConfirm() {
    FakeControls view = Open();
    EXPECT_EQ(GeneralDialogCommand(view, 1, 0).endWith, 1);
    return Image(257, 305);
  }
  FakeLang lang_;
  TempDir dir_;
};

TEST_F(GeneralTest, OpeningFillsEveryListAndFollowsTheModuleType) {
  Put(257, {0xFF, 0});  // switch no item: counts as on
  Put(265, {0x05});
  Put(269, {0x85, 0x25});
  Put(277, {5, 0x81, 0xFF, 0xFF, 0x9F, 0x00, 0x00, 0x10});
  FakeControls v = Open();
  EXPECT_EQ(GetSlotByte(0, 258), 12);  // written at once
  EXPECT_EQ(v.title, u"T200");
  std::vector<std::pair<int, int>> labels = {
      {100, 210}, {102, 213}, {110, 220}, {112, 221}, {114, 222}, {116, 223}, {118, 227},
      {120, 240}, {122, 249}, {140, 260}, {170, 270}, {172, 271}, {180, 280}, {190, 290}};
  for (int r = 0; r < 8; ++r) {
    labels.push_back({141 + 3 * r, 21 + r});
    labels.push_back({182 + r, 21 + r});
  }
  for (const auto& [id, text] : labels)
    EXPECT_EQ(v[id].text, u"T" + Widen(std::to_string(text).c_str())) << id;
  EXPECT_EQ(v[103].items.size(), 250u);
  EXPECT_EQ(v[103].items[249], u"250 um");
  EXPECT_EQ(v[103].selection, 11);
  EXPECT_TRUE(v[102].shown && v[103].shown);
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(v[111 + 2 * j].items, (std::vector<std::u16string>{u"T224", u"T225", u"T226", u"T227",
                                                                 u"T230", u"T231", u"T232"}));
    EXPECT_EQ(v[111 + 2 * j].selection, j + 1);
  }
  EXPECT_TRUE(v[118].shown && v[119].shown);
  EXPECT_EQ(v[121].items,
            (std::vector<std::u16string>{u"T241", u"T246", u"T242", u"T243", u"T244", u"T245"}));
  EXPECT_EQ(v[121].selection, 4);
  EXPECT_EQ(v[130].text, u"T250 :  T251");
  EXPECT_EQ(v[131].items.size(), 9u);
  EXPECT_EQ(v[131].items[7], u"5.000 mm / 0.5000 inch");
  EXPECT_EQ(v[131].items[8], u"T256");
  EXPECT_EQ(v[131].selection, 0);
  EXPECT_FALSE(v[132].shown);
  EXPECT_EQ(v[134].selection, 1);
  EXPECT_EQ(v[142].items.size(), 31u);
  EXPECT_EQ(v[142].items[30], u"T261 :  30");
  EXPECT_EQ(v[142].selection, 5);
  EXPECT_TRUE(v[143].shown);
  EXPECT_EQ(v[143].selection, 0);
  EXPECT_EQ(v[145].selection, 0);  // 0x25: off, option list hidden with item 1
  EXPECT_FALSE(v[146].shown);
  EXPECT_EQ(v[146].selection, 1);
  EXPECT_EQ(v[181].items.size(), 256u);
  EXPECT_EQ(v[181].items[0], u"---");
  EXPECT_EQ(v[181].items[4], u"1 h  0 min");
  EXPECT_EQ(v[181].items[255], u"63 h  45 min");
  EXPECT_EQ(v[181].selection, 5);
  EXPECT_EQ(v[181].items[5], u"1 h  15 min");
  EXPECT_TRUE(v[182].checked && v[182].enabled && v[189].checked && !v[183].checked);
  EXPECT_TRUE(v[170].checked && v[171].enabled);
  EXPECT_EQ(v[171].text, u"-1");
  EXPECT_FALSE(v[172].checked || v[173].enabled);
  EXPECT_EQ(v[173].text, u"-1048576");

  // Module type 1: one row, one interval box, no micrometre lists even with the switch on, no
  // item 245, and the two-way choice fixed to 1.
  Put(255, {1});
  Put(257, {1});
  Put(277, {0});
  v = Open();
  EXPECT_EQ(GetSlotByte(0, 296), 1);
  EXPECT_EQ(v[191].selection, 1);
  EXPECT_FALSE(v[191].enabled);
  EXPECT_EQ(v[121].items.size(), 5u);
  for (int id : {100, 101, 102, 103, 116, 117, 144, 146, 160, 162, 164, 183, 189})
    EXPECT_FALSE(v[id].shown) << id;
  for (int id : {110, 111, 141, 142, 143, 182}) EXPECT_TRUE(v[id].shown) << id;
  EXPECT_FALSE(v[182].enabled);  // interval off
}

TEST_F(GeneralTest, OkWritesEverySettingWithItsBitRules) {
  Put(259, {0x31, 0x42, 0x84 | 0x20, 0x18, 0x50, 0x60});  // bits 4 to 7 belong to others
  Put(266, {0x4A, 0xDC, 0x05});  // own scale, index 2 kept; 1500 in channel 1's resolution
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> selections;
    std::vector<std::pair<int, std::u16string>> texts;
    std::vector<std::pair<int, bool>> checks;
    uint8_t resolution;
    std::vector<std::pair<uint32_t, Bytes>> bytes;
  } cases[] = {
      {"unchanged",
       {},
       {},
       {},
       16,
       {{259, {0x31, 0x42, 0xA4, 0x18, 0x50, 0x60, 0x01, 0x4A, 0xDC, 0x05}}}},
      {"assignment 2 to choice 5, choice-3 option",
       {{113, 5}, {119, 0}},
       {},
       {},
       16,
       {{259, {0x31, 0x40, 0x24, 0x18, 0x52, 0x60}}}},
      {"assignment 4 to choice 6, micrometre 1 um",
       {{117, 6}, {103, 0}},
       {},
       {},
       16,
       {{258, {1, 0x31, 0x42, 0xA4, 0x10, 0x50, 0x68}}}},
      {"assignment 1 off, one-hot item 1",
       {{111, 0}, {121, 1}},
       {},
       {},
       16,
       {{259, {0x30, 0x42, 0xA4, 0x18, 0x50, 0x60, 0x40}}}},
      {"scale item 3, style 2, own scale 2 of 3 decimals",
       {{131, 3}, {134, 2}},
       {{132, u"-2"}},
       {},
       8,
       {{266, {0x83, 0xD0, 0x07}}}},
      {"own scale capped", {}, {{132, u"70"}}, {}, 32, {{266, {0x4A, 0x5F, 0xEA}}}},
      {"channel numbers and options",
       {{142, 30}, {143, 1}, {145, 0}, {146, 1}, {148, 1}, {149, 0}},
       {},
       {},
       16,
       {{269, {0xBE, 0x20, 0x81, 0x20}}}},
      {"signed values, micrometre, interval, two-way",
       {{101, 1}, {103, 249}, {181, 255}, {191, 1}},
       {{171, u" -1048577x"}, {173, u"1048575"}},  // -1048577 keeps its low 21 bits: 1048575
       {{170, true}, {172, false}, {122, true}, {182, true}, {189, true}},
       16,
       {{257, {1, 250}},
        {277, {255, 0x81, 0xFF, 0xFF, 0x8F, 0xFF, 0xFF, 0x0F}},
        {296, {1, 0, 0, 0, 0, 0, 0, 0, 1}}}},
  };
  const Bytes start = Image(0, 1024);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Put(0, start);
    Put(385, {c.resolution});
    FakeControls v = Open();
    EXPECT_EQ(v[131].selection, 8);
    EXPECT_TRUE(v[132].shown);
    for (const auto& [id, item] : c.selections) {
      v[id].selection = item;
      EXPECT_FALSE(GeneralDialogCommand(v, id, 1).handled);
    }
    for (const auto& [id, text] : c.texts) v[id].text = text;
    for (const auto& [id, on] : c.checks) {
      v[id].checked = on;
      GeneralDialogCommand(v, id, 0);
    }
    const Bytes before = Image(0, 1024);
    EXPECT_EQ(GeneralDialogCommand(v, 1, 0).endWith, 1);
    for (const auto& [address, bytes] : c.bytes)
      EXPECT_EQ(Image(address, address + bytes.size()), bytes) << address;
    // Nothing outside the general settings is written.
    const Bytes after = Image(0, 1024);
    EXPECT_EQ(Bytes(after.begin(), after.begin() + 257),
              Bytes(before.begin(), before.begin() + 257));
    EXPECT_EQ(Bytes(after.begin() + 305, after.end()), Bytes(before.begin() + 305, before.end()));
  }
}

TEST_F(GeneralTest, ReactionsShowHideAndEnableTheirControls) {
  FakeControls v = Open();
  const std::tuple<int, int, int, bool> reactions[] = {
      // list or box, new selection (or check), control, shown / enabled afterwards
      {101, 0, 103, false}, {101, 1, 103, true}, {113, 3, 119, true},  {115, 0, 119, true},
      {113, 0, 119, false}, {131, 8, 132, true}, {131, 2, 132, false}, {142, 1, 143, true},
      {142, 0, 143, false}, {181, 1, 189, true}, {181, 0, 189, false}, {170, 1, 171, true},
      {172, 0, 173, false},
  };
  for (const auto& [id, value, control, on] : reactions) {
    if (id == 170 || id == 172) {
      v[id].checked = value != 0;
      EXPECT_TRUE(GeneralDialogCommand(v, id, 0).handled);
      EXPECT_EQ(v[control].enabled, on) << id;
    } else {
      v[id].selection = value;
      EXPECT_FALSE(GeneralDialogCommand(v, id, 1).handled);
      EXPECT_EQ(id == 181 ? v[control].enabled : v[control].shown, on) << id << " " << value;
    }
  }
  const Bytes before = Image(0, 1024);
  EXPECT_EQ(GeneralDialogCommand(v, 2, 0).endWith, 2);
  EXPECT_EQ(Image(0, 1024), before);
}

// OK without a change writes back exactly what it opened with: every value of each byte the
// dialog shows (those whose bits it keeps meaning for), every assignment state, and the own scale
// and signed values through the routines the dialog shows and reads them with.
TEST_F(GeneralTest, OkWithoutChangesWritesBackWhatItOpenedWith) {
  const Bytes base = Image(0, 1024);
  auto showable = [](uint32_t a, int v) {
    switch (a) {
      case 258: return v != 0;
      case 265: return v == 0 || v == 0x40 || v == 1 || v == 2 || v == 4 || v == 8;
      case 266: return (v & 0x30) == 0;
      case 281:
      case 284: return (v & 0x60) == 0;
      case 304: return v <= 1;
      default:
        if (a >= 269 && a <= 276) return (v & 0x40) == 0 && ((v & 0x80) != 0) == ((v & 0x1F) != 0);
        return true;
    }
  };
  for (uint32_t a : {257u, 258u, 265u, 266u, 269u, 272u, 276u, 277u, 278u, 279u, 280u, 281u, 282u,
                     283u, 284u, 296u, 304u}) {
    for (int v = 0; v < 256; ++v) {
      if (!showable(a, v)) continue;
      Put(0, base);
      Put(a, {static_cast<uint8_t>(v)});
      const Bytes before = Image(257, 305);
      ASSERT_EQ(OpenAndConfirm(), before) << a << " = " << v;
    }
  }
  for (int state = 0; state < 7 * 7 * 7 * 7; ++state) {  // choices of the four assignments
    Put(0, base);
    Bytes masks = {0x10, 0x20, 0x40, 0x80, 0x90, 0xF0};
    for (int j = 0, s = state; j < 4; ++j, s /= 7)
      if (s % 7 != 0) masks[s % 7 - 1] |= static_cast<uint8_t>(1 << j);
    masks[2] |= static_cast<uint8_t>(state & 0x80);
    Put(259, masks);
    const Bytes before = Image(257, 305);
    ASSERT_EQ(OpenAndConfirm(), before) << state;
  }
  for (uint8_t code : {8, 16, 32, 5})
    for (int ownScale = 0; ownScale <= kFactorMax; ++ownScale)
      ASSERT_EQ(OwnScaleFromNumber(ParseLeadingNumber(FormatRaw(ownScale, code)), code), ownScale)
          << int(code);
  for (uint32_t field = 0; field < 0x200000; ++field)
    for (bool on : {false, true})
      ASSERT_EQ(EncodeSigned21(ParseLeadingInteger(std::to_string(DecodeSigned21(field))), on),
                field | (on ? 0x800000u : 0u));
  Put(0, base);  // one own scale through the dialog at each resolution
  for (uint8_t code : {8, 16, 32, 5}) {
    Put(385, {code});
    Put(267, {0x5F, 0xEA});
    EXPECT_EQ(OpenAndConfirm()[10], 0x5F);
    EXPECT_EQ(GetSlotByte(0, 268), 0xEA);
  }
}

}  // namespace
}  // namespace s470
