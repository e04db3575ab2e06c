// The setup editor's dialogs 10, 11 and 12 against an in-memory dialog and a real slot 0, and the
// number routines they show and read values with.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <limits>
#include <tuple>

#include "api/call_frame.h"
#include "editor/channel_dialog.h"
#include "editor/editor_numbers.h"
#include "editor/general_dialog.h"
#include "editor/setup_dialog.h"
#include "editor/setup_layout.h"
#include "editor_test_helpers.h"
#include "fake_controls.h"
#include "fake_lang.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "slots/file_slots.h"
#include "test_files.h"

namespace s470 {
namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::u16string>;
using Edits = std::vector<std::pair<int, std::u16string>>;

// The stand-in text of number n.
std::u16string T(int n) {
  return u"T" + Widen(std::to_string(n).c_str());
}

TEST(EditorNumbers, FormatFixedRoundsHalfAwayFromZeroWithAPointInAnyLocale) {
  // A German number locale must not turn the point into a comma (where the locale exists).
  const std::string old = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  const std::tuple<float, int, const char*> cases[] = {
      // value, decimals, text
      {0.04f, 4, "0.0400"},     {-0.03f, 4, "-0.0300"},     {999.999f, 3, "999.999"},
      {-0.0001f, 3, "-0.000"},  {0.0f, 4, "0.0000"},        {2.5f, 0, "3"},
      {-2.5f, 0, "-3"},         {1234567.0f, 0, "1234567"}, {0.00015f, 4, "0.0002"},
      {9.99999f, 5, "9.99999"}, {59.999f, 3, "59.999"},     {1.5f, 6, ""},
      {1.5f, -1, ""},
  };
  for (const auto& [value, decimals, text] : cases)
    EXPECT_EQ(FormatFixed(value, decimals), text) << value << " " << decimals;
  std::setlocale(LC_NUMERIC, old.c_str());
}

TEST(EditorNumbers, ParsingReadsTheLeadingNumberAsAtofDoes) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<const char*, double> numbers[] = {
      {"12,5", 12},   {"letters", 0}, {" 3.5e-1", 0.35},  {"-.5", -0.5},  {"+7.", 7},
      {"1e", 1},      {"1e+", 1},     {"2E2x", 200},      {".", 0},       {"-", 0},
      {"\t\n42", 42}, {"0x10", 0},    {"inf", 0},         {"1e999", inf}, {"-1e999", -inf},
      {"1e-999", 0},  {"", 0},        {"59.999", 59.999}, {"- 1", 0},
  };
  for (const auto& [text, value] : numbers) EXPECT_EQ(ParseLeadingNumber(text), value) << text;
  EXPECT_EQ(NarrowText(u"1\u00e9\u20ac"), "1\xe9?");
}

// What the dialogs show for a raw value reads back as the same raw value, over the base and pair
// range at each resolution and for a code that is none of them (raw integers shown); the step
// lands on both bounds. Three decimals are also how a factor is shown and read.
TEST(EditorNumbers, EveryShownValueReadsBackToTheSameRawValue) {
  for (uint8_t code : {8, 16, 32, 5}) {
    for (int32_t raw = kBaseMin; raw <= kBaseMax; raw += 9) {
      const std::string shown = NarrowText(Widen(FormatRaw(raw, code).c_str()));
      ASSERT_EQ(RoundToRaw(ParseLeadingNumber(shown), ScaleOfResolution(code)), raw)
          << "code " << int(code) << " shown " << shown;
    }
  }
}

// --- The dialogs ---

constexpr uint32_t kRecord3 = 384 + 2 * 80;

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 0; n < 2200; ++n) lang_.texts[n] = T(n);
    lang_.texts[100] = u"Channel";
    lang_.texts[2000] = u"&ORV S470";
    SetBrand(0);
    Open("setup.s47");
    Put(0, ExpectedSetupDefaults());
    SetCurrentChannel(2);
  }
  void TearDown() override { CloseFileSlot(0); }
  void Open(const std::string& name) { ASSERT_EQ(OpenSetup(FromUtf8(dir_.Path(name)).c_str()), 0); }
  static Bytes Image(uint32_t from, uint32_t to) {
    Bytes b;
    for (uint32_t a = from; a < to; ++a) b.push_back(GetSlotByte(0, a));
    return b;
  }
  static void Put(uint32_t address, const Bytes& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) SetSlotByte(0, address + i, bytes[i]);
  }
  static FakeControls Opened(void (*open)(ControlsView&)) {
    FakeControls view;
    open(view);
    return view;
  }
  FakeLang lang_;
  TempDir dir_;
};

// Each dialog opens over the defaults of an empty setup, with channel 3 chosen.
using ChannelTest = EditorTest;
using GeneralTest = EditorTest;

// An empty setup opens with the defaults written. Pages 11 and 12 run over a copy of addresses 0
// to 1023: Cancel in the page (end 2) puts the copy back, any other end keeps what the page wrote.
// Cancel in dialog 10 puts the whole file back as it was before the dialog.
TEST_F(EditorTest, EmptySetupOpensWithDefaultsAndEachCancelUndoesItsPart) {
  Put(0, Bytes(1024, 0x5A));  // all overwritten with the defaults
  Put(256, {0});              // no channel on: an empty setup
  Put(2000, {'A', 0, 'b', 0});
  Put(7000, {0x77});
  const Bytes before = Image(0, 7500);
  FakeControls view = Opened(OpenSetupDialog);
  EXPECT_EQ(Image(0, 1024), ExpectedSetupDefaults());
  EXPECT_EQ(view.title, u"T10");
  const std::pair<int, int> labels[] = {{100, 10}, {10, 2102}, {1, 1},    {2, 2},
                                        {124, 29}, {126, 30},  {300, 50}, {307, 54}};
  for (const auto& [id, text] : labels) EXPECT_EQ(view[id].text, T(text)) << id;
  EXPECT_EQ(view[11].items,
            (Texts{u"ORV S470 + QLB-mc1", u"ORV S470 + R/S470-ae1", u"ORV S470 + R/S470-im2"}));
  for (int k = 1; k <= 8; ++k) EXPECT_EQ(view[109 + 2 * k].text, T(20 + k)) << k;
  EXPECT_EQ(view[302].text, u"Ab");
  intptr_t pageEnd = 0;
  view.onOpenPage = [&](int) {  // each page writes its own count
    const auto mark = static_cast<uint8_t>(view.pagesOpened.size());
    SetSlotByte(0, CurrentRecordOffset() + 2, mark);
    SetSlotByte(0, 300, mark);
    return pageEnd;
  };
  // Button, the page's end, the channel chosen afterwards.
  const std::tuple<int, intptr_t, int> clicks[] = {
      {115, 2, 2}, {125, 1, 7}, {111, -1, 0}, {126, 2, 0}, {126, 3, 0}};
  uint8_t mark = 0;
  for (const auto& [button, end, channel] : clicks) {
    Bytes expected = Image(0, 1024);
    pageEnd = end;
    SetupDialogCommand(view, button, 0);
    EXPECT_EQ(CurrentChannel(), channel);
    ++mark;
    if (end != 2) expected[CurrentRecordOffset() + 2] = expected[300] = mark;
    EXPECT_EQ(Image(0, 1024), expected) << button << " " << end;
  }
  EXPECT_EQ(view.pagesOpened, (std::vector<int>{11, 11, 11, 12, 12}));
  EXPECT_EQ(SetupDialogCommand(view, 2, 0).endWith, 2);
  EXPECT_EQ(Image(0, 7500), before);
}

// Module type and brand decide the list and which channels can be used; the regular-file flag
// locks the list and hides the text fields.
TEST_F(EditorTest, ModuleTypeBrandAndFileKindShapeTheDialog) {
  // Module type, brand, item selected (brands other than 0 and 4 list only the first), a
  // temporary file, all channels usable.
  const std::tuple<uint8_t, uint16_t, int, bool, bool> cases[] = {
      {0, 0, 0, false, true},      {1, 0, 1, false, false},  {2, 4, 2, false, false},
      {0xFF, 0, -1, false, false}, {2, 1, -1, false, false}, {0, 3, 0, true, true},
      {7, 0, -1, true, false},
  };
  for (const auto& [type, brand, selected, tmpFile, allChannels] : cases) {
    CloseFileSlot(0);
    Open(tmpFile ? "setup.tmp" : "setup.s47");
    SetBrand(brand);
    Put(255, {type, 0x04});  // channel 3 on
    FakeControls view = Opened(OpenSetupDialog);
    SCOPED_TRACE(testing::Message() << "type " << int(type) << " brand " << brand);
    EXPECT_EQ(view[11].selection, selected);
    EXPECT_EQ(view[11].enabled, !tmpFile);
    // Channel 1 is forced on (its box locked) for every type but 0.
    EXPECT_EQ(view[110].checked && view[111].enabled, type != 0);
    EXPECT_TRUE(view[114].checked && view[115].enabled);
    EXPECT_EQ(view[110].enabled, allChannels);
    for (int id = 110; id <= 125; ++id) EXPECT_EQ(view[id].shown, allChannels || id < 112) << id;
    EXPECT_FALSE(view[112].checked || view[113].enabled);
    for (int id = 300; id <= 309; ++id) EXPECT_EQ(view[id].shown, !tmpFile) << id;
    EXPECT_EQ(Image(255, 257), (Bytes{type, 0x04}));  // no defaults for a setup in use
  }
}

TEST_F(EditorTest, OkWritesChannelMaskAndTextFieldsWithHiddenChannelsKept) {
  Put(255, {0, 0x83});
  // Field 2 filled completely (no terminator), field 3 with a short text over old characters.
  for (int i = 0; i < 100; ++i) Put(2200 + 2 * i, {static_cast<uint8_t>('a' + i % 26), 0});
  for (int i = 0; i < 50; ++i) Put(2400 + 2 * i, {'z', 0});
  FakeControls view = Opened(OpenSetupDialog);
  view[308].text = u"xy";
  view[304].text = std::u16string(2500, u'\u00e4');
  view[302].text = std::u16string(150, u'q');  // more than the field: cut to its 100 characters
  // Type 1 hides channels 2 to 8; their boxes keep their states and are written all the same.
  view[11].selection = -1;  // nothing chosen: the stored type stays
  EXPECT_TRUE(SetupDialogCommand(view, 11, 1).handled);
  EXPECT_EQ(GetSlotByte(0, 255), 0);
  view[11].selection = 1;
  EXPECT_TRUE(SetupDialogCommand(view, 11, 1).handled);
  EXPECT_EQ(GetSlotByte(0, 255), 1);  // at once
  view[116].checked = true;
  view[11].selection = 0;
  SetupDialogCommand(view, 11, 1);
  EXPECT_TRUE(view[112].shown && view[110].enabled);
  view[110].checked = false;
  SetupDialogCommand(view, 110, 0);
  EXPECT_FALSE(view[111].enabled);
  EXPECT_FALSE(SetupDialogCommand(view, 999, 0).handled);
  EXPECT_EQ(SetupDialogCommand(view, 1, 0).endWith, 1);
  EXPECT_EQ(GetSlotByte(0, 256), 0x80 | 0x08 | 0x02);
  EXPECT_EQ(GetSlotWord(0, 2000 + 2 * 99), u'q');
  EXPECT_EQ(GetSlotWord(0, 2200 + 2 * 99), 'a' + 99 % 26);
  Bytes field3 = {'x', 0, 'y'};  // the old characters behind the terminator become zeros
  field3.resize(100);
  EXPECT_EQ(Image(2400, 2500), field3);
  EXPECT_EQ(GetSlotWord(0, 2500 + 2 * 2499), 0xE4);
}

// --- Dialog 11 ---

TEST_F(ChannelTest, DefaultRecordOpensWithItsNumbers) {
  Put(kRecord3 + 24, {0x06, 0x02, 0xE8, 0x03, 0x39, 0x30});  // input 2 on too, at -12.345
  FakeControls view = Opened(OpenChannelDialog);
  EXPECT_EQ(view.title, u"Channel  3");
  const std::pair<int, int> labels[] = {{100, 110}, {110, 120}, {120, 130}, {121, 131}, {123, 132},
                                        {125, 133}, {127, 134}, {130, 140}, {131, 141}, {140, 150},
                                        {160, 159}, {150, 160}, {151, 161}, {153, 162}};
  for (const auto& [id, text] : labels) EXPECT_EQ(view[id].text, T(text)) << id;
  EXPECT_EQ(view[101].items, (Texts{T(111), T(112), T(113), T(114)}));
  EXPECT_EQ(view[141].items, (Texts{T(151), T(152), T(153), T(154), T(155), T(156)}));
  EXPECT_EQ(view[101].selection, 0);
  const std::pair<int, std::u16string> numbers[] = {
      {111, u"0.0000"},  {122, u"0.0400"}, {124, u"0.0300"}, {126, u"-0.0300"},
      {128, u"-0.0400"}, {152, u"0.0000"}, {154, u"0.0000"}};
  for (const auto& [id, text] : numbers) EXPECT_EQ(view[id].text, text) << id;
  for (int k = 1; k <= 8; ++k)
    EXPECT_EQ(view[131 + k].text, k == 3 ? u"1.000" : k == 2 ? u"-12.345" : u"0.000");
  // Inputs: module type 1 keeps input 1, 2 keeps two, 0xFF none (headings too), 0 and 8 all.
  const std::pair<uint8_t, int> types[] = {{1, 1}, {2, 2}, {7, 7}, {0xFF, 0}, {0, 8}, {8, 8}};
  for (const auto& [type, inputs] : types) {
    SetSlotByte(0, 255, type);
    FakeControls v = Opened(OpenChannelDialog);
    for (int k = 0; k <= 8; ++k)
      for (int id : {131 + k, 161 + k, 171 + k})
        EXPECT_EQ(v[id].shown, k == 0 ? inputs > 0 : k <= inputs) << int(type) << " " << id;
  }
}

// Entries at OK: what is stored, what is refused and with which message. Fields checked before
// a refused one are already written.
TEST_F(ChannelTest, OkChecksEachFieldInTurnAndStoresExactBytes) {
  // Resolution list item, edits, a box whose check flips (or 0), where the bytes below are then,
  // the message (empty: accepted), the bytes.
  const std::tuple<int, Edits, int, int, std::u16string, Bytes> cases[] = {
      // Three decimals show the default numbers as 0.000, 0.040, ...: the same raw values.
      {1, {}, 0, 0, u"", {0, 8, 0, 0, 0, 0, 0x0F, 40, 0, 0, 30, 0, 0, 0xE2, 0xFF, 0xFF, 0xD8}},
      {1, {{111, u"999.999"}}, 0, 2, u"", {0x3F, 0x42, 0x0F, 0x00}},  // the bounds
      {1, {{122, u"59.999"}, {124, u"-59.999"}}, 0, 7, u"", {0x5F, 0xEA, 0x00, 0xA1, 0x15, 0xFF}},
      {1, {{111, u"1000.000"}}, 0, 0, u"T180T190", {0, 8, 0, 0, 0, 0}},
      {1, {{111, u"-99.999"}}, 0, 2, u"", {0x61, 0x79, 0xFE, 0xFF}},
      {2, {{111, u"-1"}}, 0, 0, u"T180T192", {1, 32, 0, 0, 0, 0}},
      // A limit too large: the base before it and the limit's box are written.
      {0, {{111, u"1.5"}, {124, u"6"}}, 123, 2, u"T181T194", {0x98, 0x3A, 0, 0, 0x0D, 0x90, 1}},
      {1, {{128, u"60"}}, 127, 6, u"T181T193", {0x07}},  // a box that is off is checked too
      // Factors: sign and rounding, both bounds; too large; none left.
      {0, {{132, u"-2.5"}, {133, u"1.0014"}}, 0, 24, u"", {0x07, 0x01, 0xC4, 0x09, 0xE9, 0x03}},
      {0, {{135, u"59.999"}, {134, u"-59.999"}}, 0, 24, u"", {12, 4, 0, 0, 0, 0, 0x5F, 0xEA}},
      {0, {{132, u"60"}}, 0, 24, u"T184", {0x04, 0x00}},
      {0, {{132, std::u16string(97, u' ') + u"60"}}, 0, 24, u"T184", {0x04}},  // read whole
      {0, {{134, u"abc"}}, 0, 24, u"T185", {0x00, 0x00, 0, 0, 0, 0, 0, 0}},
      // Pair values: at least 10 raw units apart while pair 2 is on.
      {0, {{152, u"1"}, {154, u"1.0009"}}, 153, 52, u"T183", {0x10, 0x27, 0, 0, 0x19}},
      {0, {{152, u"1"}, {154, u"1.001"}}, 153, 52, u"", {0x10, 0x27, 0, 0, 0x1A, 0x27, 0, 0, 1}},
      {0, {{152, u"-1"}, {154, u"-1"}}, 0, 55, u"", {0xFF, 0xF0, 0xD8, 0xFF, 0xFF, 0}},
      {3, {{154, u"100"}}, 0, 0, u"T182T191", {1, 16}},  // inch, four decimals: out of range
  };
  for (const auto& c : cases) {
    const auto& [resolution, edits, click, offset, message, bytes] = c;
    SCOPED_TRACE(testing::Message() << "row " << &c - cases);
    Put(0, ExpectedSetupDefaults());
    FakeControls view = Opened(OpenChannelDialog);
    view[101].selection = resolution;
    for (const auto& [id, text] : edits) view[id].text = text;
    view[click].checked = !view[click].checked;
    const CommandOutcome ok = ChannelDialogCommand(view, 1, 0);
    EXPECT_EQ(ok.endWith, message.empty() ? 1 : 0);
    EXPECT_EQ(view.messages, message.empty() ? Texts{} : Texts{message});
    EXPECT_EQ(Image(kRecord3 + offset, kRecord3 + offset + bytes.size()), bytes);
  }
}

// --- Dialog 12 ---

TEST_F(GeneralTest, OpeningFillsEveryListAndFollowsTheModuleType) {
  Put(257, {0xFF, 0});     // switch no item: counts as on
  Put(265, {0x05, 0x43});  // one-hot bits 0 and 2: item 4; scale index 3, style 1
  Put(269, {0x85, 0x25});
  Put(277, {5, 0x81, 0xFF, 0xFF, 0x9F, 0x01, 0x00, 0x10});  // signed 2: off, bit 0 set
  FakeControls v = Opened(OpenGeneralDialog);
  EXPECT_EQ(v.title, u"T200");
  // The channel rows and the interval boxes are named by the first and the last.
  const std::pair<int, int> labels[] = {{100, 210}, {102, 213}, {110, 220}, {112, 221}, {114, 222},
                                        {116, 223}, {118, 227}, {120, 240}, {122, 249}, {140, 260},
                                        {170, 270}, {172, 271}, {180, 280}, {190, 290}, {141, 21},
                                        {162, 28},  {182, 21},  {189, 28}};
  for (const auto& [id, text] : labels) EXPECT_EQ(v[id].text, T(text)) << id;
  EXPECT_EQ(v[130].text, u"T250 :  T251");
  // Lists: id, length, one item and its text, the selection.
  const std::tuple<int, size_t, int, std::u16string, int> lists[] = {
      {101, 2, 0, T(211), -1},          {119, 2, 0, T(228), 0},
      {103, 250, 249, u"250 um", 11},   {131, 9, 7, u"5.000 mm / 0.5000 inch", 3},
      {131, 9, 8, T(256), 3},           {134, 3, 2, T(255), 1},
      {142, 31, 30, u"T261 :  30", 5},  {143, 2, 1, T(263), 0},
      {145, 31, 0, u"off", 0},          {146, 2, 0, T(262), 1},
      {181, 256, 0, u"---", 5},         {181, 256, 4, u"1 h  0 min", 5},
      {181, 256, 5, u"1 h  15 min", 5}, {181, 256, 255, u"63 h  45 min", 5},
  };
  for (const auto& [id, size, item, text, selected] : lists) {
    EXPECT_EQ(v[id].items.size(), size) << id;
    EXPECT_EQ(v[id].items.at(item), text) << id;
    EXPECT_EQ(v[id].selection, selected) << id;
  }
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(v[111 + 2 * j].items,
              (Texts{T(224), T(225), T(226), T(227), T(230), T(231), T(232)}));
    EXPECT_EQ(v[111 + 2 * j].selection, j + 1);
  }
  EXPECT_EQ(v[121].items, (Texts{T(241), T(246), T(242), T(243), T(244), T(245)}));
  EXPECT_FALSE(v[132].shown || v[146].shown);  // 0x25: option list hidden with item 1
  EXPECT_TRUE(v[182].checked && v[182].enabled && v[189].checked && !v[183].checked);
  EXPECT_FALSE(v[172].checked || v[173].enabled);
  EXPECT_EQ(v[173].text, u"-1048575");

  // Module type 1: one row, one interval box, no micrometre lists even with the switch on, and
  // the two-way choice fixed to 1.
  Put(255, {1});
  Put(257, {1});
  Put(277, {0});
  v = Opened(OpenGeneralDialog);
  EXPECT_TRUE(v[191].selection == 1 && !v[191].enabled);
  for (int id : {100, 101, 102, 103, 116, 117, 144, 146, 160, 162, 164, 183, 189})
    EXPECT_FALSE(v[id].shown) << id;
  for (int id : {110, 111, 141, 142, 143, 182}) EXPECT_TRUE(v[id].shown) << id;
}

// What OK writes for each change; nothing outside the general settings is written. A pick sets
// a list's item or a box's check.
TEST_F(GeneralTest, OkWritesEverySettingWithItsBitRules) {
  // Bits 4 to 7 of the assignment bytes belong to others; one-hot item 1 (0x40); own scale with
  // index 2 kept, 1500 in channel 1's resolution.
  Put(259, {0x31, 0x42, 0x84 | 0x20, 0x18, 0x50, 0x60, 0x40, 0x4A, 0xDC, 0x05});
  // Picks, texts, channel 1's resolution, where the bytes change (nothing else does), the bytes.
  const std::tuple<std::vector<std::pair<int, int>>, Edits, uint8_t, uint32_t, Bytes> cases[] = {
      {{}, {}, 16, 259, {0x31, 0x42, 0xA4, 0x18, 0x50, 0x60, 0x40, 0x4A, 0xDC, 0x05}},
      // Assignment 2 to choice 5, choice-3 option; assignment 4 to choice 6, 1 um; 1 off.
      {{{113, 5}, {119, 0}}, {}, 16, 259, {0x31, 0x40, 0x24, 0x18, 0x52, 0x60}},
      {{{117, 6}, {103, 0}}, {}, 16, 258, {1, 0x31, 0x42, 0xA4, 0x10, 0x50, 0x68}},
      {{{111, 0}, {121, 4}}, {}, 16, 259, {0x30, 0x42, 0xA4, 0x18, 0x50, 0x60, 0x04}},
      // Scale item 3, style 2, own scale of three decimals; own scale capped.
      {{{131, 3}, {134, 2}}, {{132, u"-2"}}, 8, 266, {0x83, 0xD0, 0x07}},
      {{}, {{132, u"70"}}, 32, 266, {0x4A, 0x5F, 0xEA}},
      {{{134, 0}}, {}, 16, 266, {0x0A}},
      {{{142, 30}, {143, 1}, {146, 1}, {148, 1}, {149, 0}}, {}, 16, 269, {0xBE, 0x20, 0x81, 0x20}},
      // Signed values (-1048577 keeps its low 21 bits), micrometre, interval, two-way and flag.
      {{{170, 1}}, {{171, u" -1048577x"}}, 16, 279, {0xFF, 0xFF, 0x8F}},
      {{}, {{173, u"1048575"}}, 16, 282, {0xFF, 0xFF, 0x0F}},
      {{{101, 1}, {103, 249}}, {}, 16, 257, {1, 250}},
      {{{181, 255}, {182, 1}, {189, 1}}, {}, 16, 277, {255, 0x81}},
      {{{191, 1}, {122, 1}}, {}, 16, 296, {1, 0, 0, 0, 0, 0, 0, 0, 1}},
  };
  const Bytes start = Image(0, 1024);
  for (const auto& c : cases) {
    const auto& [picks, texts, resolution, address, bytes] = c;
    SCOPED_TRACE(testing::Message() << "row " << &c - cases);
    Put(0, start);
    Put(385, {resolution});
    FakeControls v = Opened(OpenGeneralDialog);
    for (const auto& [id, value] : picks) {
      v[id].selection = value;
      v[id].checked = value != 0;
      GeneralDialogCommand(v, id, 1);
    }
    for (const auto& [id, text] : texts) v[id].text = text;
    Bytes expected = Image(0, 1024);
    std::copy(bytes.begin(), bytes.end(), expected.begin() + address);
    EXPECT_EQ(GeneralDialogCommand(v, 1, 0).endWith, 1);
    EXPECT_EQ(Image(0, 1024), expected);
  }
}

// The lists and boxes of dialogs 11 and 12 that show, hide, enable or disable another control;
// only dialog 12's lists report their change as not handled. Cancel ends either with 2.
TEST_F(GeneralTest, ReactionsShowHideAndEnableTheirControls) {
  // Dialog, control, value picked, the control that follows, whether its visibility follows (1)
  // or whether it is enabled (0), its state.
  const std::array<int, 6> reactions[] = {
      {11, 121, 0, 122, 0, 0}, {11, 127, 1, 128, 0, 1}, {11, 153, 1, 154, 0, 1},
      {11, 153, 0, 154, 0, 0}, {11, 141, 0, 160, 1, 0}, {11, 141, 3, 160, 1, 1},
      {12, 101, 0, 103, 1, 0}, {12, 101, 1, 103, 1, 1}, {12, 113, 3, 119, 1, 1},
      {12, 115, 0, 119, 1, 1}, {12, 113, 0, 119, 1, 0}, {12, 131, 8, 132, 1, 1},
      {12, 131, 2, 132, 1, 0}, {12, 142, 1, 143, 1, 1}, {12, 142, 0, 143, 1, 0},
      {12, 181, 1, 189, 0, 1}, {12, 181, 0, 189, 0, 0}, {12, 170, 1, 171, 0, 1},
      {12, 172, 0, 173, 0, 0},
  };
  // A code the list does not know (raw integers, no range in messages), limit 4 off.
  Put(kRecord3, {1, 5, 0, 0, 0, 0, 0x07});
  FakeControls channel = Opened(OpenChannelDialog), general = Opened(OpenGeneralDialog);
  for (const auto& [dialog, id, value, control, shows, on] : reactions) {
    SCOPED_TRACE(testing::Message() << "control " << id << " value " << value);
    FakeControls& v = dialog == 11 ? channel : general;
    v[id].selection = value;
    v[id].checked = value != 0;
    const CommandOutcome outcome =
        dialog == 11 ? ChannelDialogCommand(v, id, 1) : GeneralDialogCommand(v, id, 1);
    EXPECT_EQ(outcome.handled, dialog == 11 || id == 170 || id == 172);
    EXPECT_EQ(shows ? v[control].shown : v[control].enabled, on == 1);
  }
  channel[124].text = u"60000";
  EXPECT_FALSE(ChannelDialogCommand(channel, 1, 0).handled);
  EXPECT_EQ(channel.messages, Texts{u"T181"});
  // Mended, OK in dialog 11 stores what the reactions left there: limit 1 off, 4 on, mode 3.
  channel[124].text = u"300";
  EXPECT_EQ(ChannelDialogCommand(channel, 1, 0).endWith, 1);
  EXPECT_EQ(GetSlotByte(0, kRecord3 + 6), 0x0E);
  EXPECT_EQ(GetSlotByte(0, kRecord3 + 42), 3);
  EXPECT_EQ(ChannelDialogCommand(channel, 2, 0).endWith, 2);
  EXPECT_EQ(GeneralDialogCommand(general, 2, 0).endWith, 2);
}

}  // namespace
}  // namespace s470
