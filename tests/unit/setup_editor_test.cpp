// The setup editor's dialogs 10 and 11 against an in-memory dialog and a real slot 0, and the
// number routines they show and read values with.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "api/call_frame.h"
#include "editor/channel_dialog.h"
#include "editor/editor_numbers.h"
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

TEST(EditorNumbers, FormatFixedRoundsHalfAwayFromZeroWithAPointInAnyLocale) {
  // A German number locale must not turn the point into a comma (where the locale exists).
  const std::string old = std::setlocale(LC_NUMERIC, nullptr);
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  struct Case {
    float value;
    int decimals;
    const char* text;
  } cases[] = {
      {0.04f, 4, "0.0400"},     {-0.03f, 4, "-0.0300"},     {999.999f, 3, "999.999"},
      {-0.0001f, 3, "-0.000"},  {0.0f, 4, "0.0000"},        {2.5f, 0, "3"},
      {-2.5f, 0, "-3"},         {1234567.0f, 0, "1234567"}, {0.00015f, 4, "0.0002"},
      {9.99999f, 5, "9.99999"}, {59.999f, 3, "59.999"},     {1.5f, 6, ""},
      {1.5f, -1, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatFixed(c.value, c.decimals), c.text) << c.value << " " << c.decimals;
  std::setlocale(LC_NUMERIC, old.c_str());
}

TEST(EditorNumbers, ParsingReadsTheLeadingNumberAsAtofAndAtoiDo) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<const char*, double> numbers[] = {
      {"12,5", 12},   {"letters", 0}, {" 3.5e-1", 0.35},  {"-.5", -0.5},  {"+7.", 7},
      {"1e", 1},      {"1e+", 1},     {"2E2x", 200},      {".", 0},       {"-", 0},
      {"\t\n42", 42}, {"0x10", 0},    {"inf", 0},         {"1e999", inf}, {"-1e999", -inf},
      {"1e-999", 0},  {"", 0},        {"59.999", 59.999}, {"- 1", 0},
  };
  for (const auto& [text, value] : numbers) EXPECT_EQ(ParseLeadingNumber(text), value) << text;
  const std::pair<const char*, int32_t> integers[] = {
      {" -12ab", -12},        {"+5", 5},         {"x", 0}, {"1048575", 1048575},
      {"-1048577", -1048577}, {"4294967297", 1}, {"", 0},  {"7.9", 7},
  };
  for (const auto& [text, value] : integers) EXPECT_EQ(ParseLeadingInteger(text), value) << text;
  EXPECT_EQ(NarrowText(u"1\u00e9\u20ac"), "1\xe9?");
}

TEST(EditorNumbers, SignedFieldsDecodeAndEncode) {
  const std::pair<Bytes, int32_t> s24[] = {{{0xFF, 0xFF, 0x7F}, 8388607},
                                           {{0x00, 0x00, 0x80}, -8388608},
                                           {{0xD4, 0xFE, 0xFF}, -300},
                                           {{0x3F, 0x42, 0x0F}, 999999}};
  for (const auto& [bytes, value] : s24) {
    EXPECT_EQ(DecodeSigned24(bytes.data()), value);
    uint8_t back[3];
    EncodeSigned24(value, back);
    EXPECT_EQ(Bytes(back, back + 3), bytes);
  }
  EXPECT_EQ(DecodeSigned21(0x9FFFFF), -1);
  EXPECT_TRUE(Signed21Enabled(0x9FFFFF));
  EXPECT_EQ(DecodeSigned21(0x0FFFFF), 1048575);
  EXPECT_EQ(DecodeSigned21(0xF00000), -1048576);
  EXPECT_EQ(EncodeSigned21(-1, false), 0x1FFFFFu);
  EXPECT_EQ(EncodeSigned21(1048576, true), 0x900000u);  // only the low 21 bits are kept
}

// What the dialog shows for a raw value reads back as the same raw value, for every value of the
// base and pair range at each resolution (and raw integers for a code that is none of them).
TEST(EditorNumbers, EveryShownValueReadsBackToTheSameRawValue) {
  for (uint8_t code : {8, 16, 32, 5}) {
    int wrong = 0;
    for (int32_t raw = kBaseMin; raw <= kBaseMax; ++raw) {
      const std::string shown = NarrowText(Widen(FormatRaw(raw, code).c_str()));
      if (RoundToRaw(ParseLeadingNumber(shown), ScaleOfResolution(code)) != raw && ++wrong < 5)
        ADD_FAILURE() << "code " << int(code) << " raw " << raw << " shown " << shown;
    }
    EXPECT_EQ(wrong, 0);
  }
  for (int32_t word = 0; word <= kFactorMax; ++word)
    ASSERT_EQ(
        RoundToRaw(ParseLeadingNumber(FormatFixed(static_cast<float>(word * 0.001), 3)), 1000),
        word);
}

// --- The dialogs ---

constexpr uint32_t kRecord3 = 384 + 2 * 80;

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 0; n < 2200; ++n) lang_.texts[n] = u"T" + Widen(std::to_string(n).c_str());
    lang_.texts[100] = u"Channel";
    lang_.texts[2000] = u"&ORV S470";
    SetBrand(0);
    Open("setup.s47");
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
  // A setup with the given bytes over the defaults of an empty one.
  static void PutDefaults() {
    const auto d = SetupDefaults();
    Put(0, Bytes(d.begin(), d.end()));
  }
  FakeLang lang_;
  TempDir dir_;
};

TEST_F(EditorTest, EmptySetupOpensWithDefaultsAndCancelPutsTheFileBack) {
  Put(0, Bytes(255, 0x5A));  // the first 255 bytes are cleared with the defaults
  Put(2000, {'A', 0, 'b', 0});
  Put(7000, {0x77});
  const Bytes before = Image(0, 7500);
  FakeControls view;
  OpenSetupDialog(view);
  EXPECT_EQ(Image(0, 1024), ExpectedSetupDefaults());
  EXPECT_EQ(view.title, u"T10");
  EXPECT_EQ(view[100].text, u"T10");
  EXPECT_EQ(view[10].text, u"T2102");
  EXPECT_EQ(view[11].items,
            (std::vector<std::u16string>{u"ORV S470 + QLB-mc1", u"ORV S470 + R/S470-ae1",
                                         u"ORV S470 + R/S470-im2"}));
  EXPECT_EQ(view[11].selection, 0);
  for (int k = 1; k <= 8; ++k) {
    EXPECT_TRUE(view[108 + 2 * k].checked && view[109 + 2 * k].enabled && view[109 + 2 * k].shown);
    EXPECT_EQ(view[109 + 2 * k].text, u"T" + Widen(std::to_string(20 + k).c_str()));
  }
  EXPECT_EQ(view[302].text, u"Ab");
  EXPECT_EQ(view[304].limit, 2500);
  const CommandOutcome cancel = SetupDialogCommand(view, 2, 0);
  EXPECT_TRUE(cancel.handled);
  EXPECT_EQ(cancel.endWith, 2);
  EXPECT_EQ(Image(0, 7500), before);
}

// Module type and brand decide the list and which channels can be used; the regular-file flag
// locks the list and hides the text fields.
TEST_F(EditorTest, ModuleTypeBrandAndFileKindShapeTheDialog) {
  struct Case {
    uint8_t type;
    uint16_t brand;
    bool tmpFile;
    size_t items;
    int selected;
    bool allChannels;
  } cases[] = {
      {0, 0, false, 3, 0, true},      {1, 0, false, 3, 1, false},  {2, 4, false, 3, 2, false},
      {0xFF, 0, false, 3, -1, false}, {2, 1, false, 1, -1, false}, {0, 3, true, 1, 0, true},
      {7, 0, true, 3, -1, false},
  };
  for (const Case& c : cases) {
    CloseFileSlot(0);
    Open(c.tmpFile ? "setup.tmp" : "setup.s47");
    SetBrand(c.brand);
    Put(255, {c.type, 0x05});  // channels 1 and 3 on
    FakeControls view;
    OpenSetupDialog(view);
    SCOPED_TRACE(int(c.type));
    EXPECT_EQ(view[11].items.size(), c.items);
    EXPECT_EQ(view[11].selection, c.selected);
    EXPECT_EQ(view[11].enabled, !c.tmpFile);
    EXPECT_EQ(view[110].checked, true);
    EXPECT_EQ(view[110].enabled, c.allChannels);
    EXPECT_TRUE(view[111].enabled);
    for (int id = 112; id <= 125; ++id) EXPECT_EQ(view[id].shown, c.allChannels) << id;
    EXPECT_EQ(view[114].checked, true);
    EXPECT_EQ(view[115].enabled, true);
    EXPECT_EQ(view[112].checked || view[113].enabled, false);
    for (int id = 300; id <= 309; ++id) EXPECT_EQ(view[id].shown, !c.tmpFile) << id;
    EXPECT_EQ(Image(255, 257), (Bytes{c.type, 0x05}));  // no defaults for a setup in use
  }
}

TEST_F(EditorTest, OkWritesChannelMaskAndTextFieldsWithHiddenChannelsKept) {
  Put(255, {0, 0x83});
  // Field 2 filled completely (no terminator), field 3 with a short text over old characters.
  for (int i = 0; i < 100; ++i) Put(2200 + 2 * i, {static_cast<uint8_t>('a' + i % 26), 0});
  for (int i = 0; i < 50; ++i) Put(2400 + 2 * i, {'z', 0});
  FakeControls view;
  OpenSetupDialog(view);
  EXPECT_EQ(view[306].text.size(), 100u);  // shown whole
  view[308].text = u"xy";
  view[304].text = std::u16string(2500, u'\u00e4');
  view[302].text = std::u16string(150, u'q');  // more than the field: cut to its 100 characters
  // Type 1 hides channels 2 to 8; their boxes keep their states and are written all the same.
  view[11].selection = 1;
  EXPECT_TRUE(SetupDialogCommand(view, 11, 1).handled);
  EXPECT_EQ(GetSlotByte(0, 255), 1);  // at once
  EXPECT_FALSE(view[112].shown);
  view[116].checked = true;
  view[11].selection = 0;
  SetupDialogCommand(view, 11, 1);
  EXPECT_TRUE(view[112].shown && view[110].enabled);
  view[110].checked = false;
  SetupDialogCommand(view, 110, 0);
  EXPECT_FALSE(view[111].enabled);
  const CommandOutcome ok = SetupDialogCommand(view, 1, 0);
  EXPECT_EQ(ok.endWith, 1);
  EXPECT_EQ(GetSlotByte(0, 256), 0x80 | 0x08 | 0x02);
  EXPECT_EQ(GetSlotWord(0, 2000 + 2 * 99), u'q');
  EXPECT_EQ(GetSlotWord(0, 2200 + 2 * 99), 'a' + 99 % 26);
  Bytes field3(100, 0);  // the old characters behind the terminator become zeros
  field3[0] = 'x';
  field3[2] = 'y';
  EXPECT_EQ(Image(2400, 2500), field3);
  EXPECT_EQ(GetSlotWord(0, 2500 + 2 * 2499), 0xE4);
}

// Each page runs over a copy of addresses 0 to 1023: Cancel in the page puts the copy back, any
// other end keeps what the page wrote; Cancel in dialog 10 undoes everything.
TEST_F(EditorTest, PagesAreUndoneByTheirOwnCancelAndByCancelOfTheSetupDialog) {
  PutDefaults();
  const Bytes file = Image(0, 7500);
  FakeControls view;
  OpenSetupDialog(view);
  view[11].selection = 2;
  SetupDialogCommand(view, 11, 1);
  intptr_t pageEnd = 2;
  view.onOpenPage = [&](int) {
    SetSlotByte(0, CurrentRecordOffset() + 2, 0x42);
    SetSlotByte(0, 300, 0x99);
    SetSlotByte(0, 255, 0);
    return pageEnd;
  };
  SetupDialogCommand(view, 115, 0);  // channel 3
  EXPECT_EQ(CurrentChannel(), 2);
  EXPECT_EQ(CurrentRecordOffset(), kRecord3);
  EXPECT_EQ(GetSlotByte(0, kRecord3 + 2), 0);
  EXPECT_EQ(GetSlotByte(0, 255), 2);  // the type chosen before the page opened stays
  for (intptr_t end : {intptr_t{1}, intptr_t{-1}}) {
    pageEnd = end;
    SetupDialogCommand(view, 125, 0);  // channel 8: changes stand
    EXPECT_EQ(GetSlotByte(0, 384 + 7 * 80 + 2), 0x42);
    SetSlotByte(0, 384 + 7 * 80 + 2, 0);
  }
  SetSlotByte(0, 300, 0);
  pageEnd = 2;
  EXPECT_TRUE(SetupDialogCommand(view, 126, 0).handled);
  EXPECT_EQ(CurrentChannel(), 7);
  EXPECT_EQ(GetSlotByte(0, 300), 0);
  EXPECT_EQ(view.pagesOpened, (std::vector<int>{11, 11, 11, 12}));
  pageEnd = 1;
  SetupDialogCommand(view, 111, 0);
  EXPECT_EQ(GetSlotByte(0, 300), 0x99);
  SetupDialogCommand(view, 2, 0);
  EXPECT_EQ(Image(0, 7500), file);
}

// --- Dialog 11 ---

class ChannelTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    PutDefaults();
    SetCurrentChannel(2);
  }
  FakeControls OpenChannel() {
    FakeControls view;
    OpenChannelDialog(view);
    return view;
  }
};

TEST_F(ChannelTest, DefaultRecordOpensWithItsNumbers) {
  FakeControls view = OpenChannel();
  EXPECT_EQ(view.title, u"Channel  3");
  const std::pair<int, int> labels[] = {{100, 110}, {110, 120}, {120, 130}, {130, 140}, {131, 141},
                                        {140, 150}, {160, 159}, {150, 160}, {151, 161}, {153, 162}};
  for (const auto& [id, text] : labels)
    EXPECT_EQ(view[id].text, u"T" + Widen(std::to_string(text).c_str())) << id;
  EXPECT_EQ(view[101].items.size(), 4u);
  EXPECT_EQ(view[101].selection, 0);
  EXPECT_EQ(view[111].text, u"0.0000");
  const std::u16string limits[] = {u"0.0400", u"0.0300", u"-0.0300", u"-0.0400"};
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(view[122 + 2 * n].text, limits[n]);
    EXPECT_TRUE(view[121 + 2 * n].checked && view[122 + 2 * n].enabled);
    EXPECT_EQ(view[121 + 2 * n].text, u"T" + Widen(std::to_string(131 + n).c_str()));
  }
  for (int k = 1; k <= 8; ++k) EXPECT_EQ(view[131 + k].text, k == 3 ? u"1.000" : u"0.000");
  EXPECT_EQ(view[141].items.size(), 6u);
  EXPECT_EQ(view[141].selection, 0);
  EXPECT_FALSE(view[160].shown);
  EXPECT_EQ(view[152].text, u"0.0000");
  EXPECT_FALSE(view[153].checked || view[154].enabled);
  // Inputs: module type 1 keeps input 1, 2 keeps two, 0xFF none (headings too), 0 and 8 all.
  const std::pair<uint8_t, int> types[] = {{1, 1}, {2, 2}, {7, 7}, {0xFF, 0}, {0, 8}, {8, 8}};
  for (const auto& [type, inputs] : types) {
    SetSlotByte(0, 255, type);
    FakeControls v = OpenChannel();
    for (int k = 0; k <= 8; ++k)
      for (int id : {131 + k, 161 + k, 171 + k})
        EXPECT_EQ(v[id].shown, k == 0 ? inputs > 0 : k <= inputs) << int(type) << " " << id;
  }
}

// Entries at OK: what is stored, what is refused and with which message. Fields checked before
// a refused one are already written.
TEST_F(ChannelTest, OkChecksEachFieldInTurnAndStoresExactBytes) {
  struct Edit {
    int id;
    std::u16string text;
  };
  struct Case {
    const char* name;
    int resolution;  // list item, -1 untouched
    std::vector<Edit> edits;
    std::vector<std::pair<int, bool>> checks;
    std::u16string message;                    // empty: accepted
    std::vector<std::pair<int, Bytes>> bytes;  // record offset, bytes there afterwards
  } cases[] = {
      {"three decimals keep the shown numbers",
       1,
       {},
       {},
       u"",
       {{0, {0, 8, 0, 0, 0, 0, 0x0F, 40, 0, 0, 30, 0, 0, 0xE2, 0xFF, 0xFF, 0xD8, 0xFF, 0xFF}}}},
      {"base at its bounds",
       1,
       {{111, u"999.999"}, {122, u"59.999"}, {124, u"-59.999"}},
       {},
       u"",
       {{2, {0x3F, 0x42, 0x0F, 0x00}}, {7, {0x5F, 0xEA, 0x00, 0xA1, 0x15, 0xFF}}}},
      {"base too large", 1, {{111, u"1000.000"}}, {}, u"T180T190", {{0, {0, 8, 0, 0, 0, 0}}}},
      {"negative base", 1, {{111, u"-99.999"}}, {}, u"", {{2, {0x61, 0x79, 0xFE, 0xFF}}}},
      {"base too small", 2, {{111, u"-1"}}, {}, u"T180T192", {{0, {1, 32, 0, 0, 0, 0}}}},
      {"limit too large, base written",
       0,
       {{111, u"1.5"}, {124, u"6"}},
       {{123, false}},
       u"T181T194",
       {{2, {0x98, 0x3A, 0x00, 0x00, 0x0D, 0x90, 0x01, 0x00}}}},
      {"limit of a box that is off is still checked",
       1,
       {{128, u"60"}},
       {{127, false}},
       u"T181T193",
       {{6, {0x07}}}},
      {"factors: sign, rounding, zero",
       0,
       {{132, u"-2.5"}, {133, u"1.0014"}, {134, u"0"}, {139, u"59.999"}},
       {},
       u"",
       {{24, {0x83, 0x01, 0xC4, 0x09, 0xE9, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x5F, 0xEA}}}},
      {"factor too large", 0, {{132, u"60"}}, {}, u"T184", {{24, {0x04, 0x00}}}},
      {"no input left", 0, {{134, u"abc"}}, {}, u"T185", {{24, {0x00, 0x00, 0, 0, 0, 0, 0, 0}}}},
      {"pair values too close",
       0,
       {{152, u"1.0000"}, {154, u"1.0009"}},
       {{153, true}},
       u"T183",
       {{52, {0x10, 0x27, 0, 0, 0x19, 0x27, 0, 0, 1}}}},
      {"pair values far enough",
       0,
       {{152, u"1.0000"}, {154, u"1.0010"}},
       {{153, true}},
       u"",
       {{52, {0x10, 0x27, 0, 0, 0x1A, 0x27, 0, 0, 1}}}},
      {"pair 2 off accepts any",
       0,
       {{152, u"-1"}, {154, u"-1"}},
       {},
       u"",
       {{52, {0xF0, 0xD8, 0xFF, 0xFF, 0xF0, 0xD8, 0xFF, 0xFF, 0}}}},
      {"pair out of range in inch with four decimals",
       3,
       {{154, u"100"}},
       {},
       u"T182T191",
       {{0, {1, 16}}, {60, {0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PutDefaults();
    FakeControls view = OpenChannel();
    if (c.resolution >= 0) view[101].selection = c.resolution;
    for (const Edit& e : c.edits) view[e.id].text = e.text;
    for (const auto& [id, on] : c.checks) view[id].checked = on;
    const CommandOutcome ok = ChannelDialogCommand(view, 1, 0);
    EXPECT_EQ(ok.handled, c.message.empty());
    EXPECT_EQ(ok.endWith, c.message.empty() ? 1 : 0);
    EXPECT_EQ(view.messages, c.message.empty() ? std::vector<std::u16string>{}
                                               : std::vector<std::u16string>{c.message});
    for (const auto& [offset, bytes] : c.bytes)
      EXPECT_EQ(Image(kRecord3 + offset, kRecord3 + offset + bytes.size()), bytes) << offset;
  }
}

TEST_F(ChannelTest, ControlsReactAndRecordsOutsideTheListsKeepTheirValues) {
  // Resolution code 5 is no item: raw integers, stored back as they were. Mode 9 is no item:
  // kept, and its option (box shown) follows the box.
  Put(kRecord3, {1, 5, 0x39, 0x30, 0, 0, 0xFF});
  Put(kRecord3 + 42, {9});
  Put(kRecord3 + 51, {1});
  Put(kRecord3 + 26, Bytes(16, 0));  // inputs outside the mask show 0 and are stored so
  Put(kRecord3 + 30, {0xE8, 0x03});
  const Bytes before = Image(kRecord3, kRecord3 + 80);
  FakeControls view = OpenChannel();
  EXPECT_EQ(view[101].selection, -1);
  EXPECT_EQ(view[111].text, u"12345");
  EXPECT_EQ(view[122].text, u"400");
  EXPECT_TRUE(view[160].shown && view[160].checked);
  EXPECT_EQ(ChannelDialogCommand(view, 1, 0).endWith, 1);
  EXPECT_EQ(Image(kRecord3, kRecord3 + 80), before);

  view[121].checked = false;
  EXPECT_TRUE(ChannelDialogCommand(view, 121, 0).handled);
  EXPECT_FALSE(view[122].enabled);
  view[153].checked = true;
  ChannelDialogCommand(view, 153, 0);
  EXPECT_TRUE(view[154].enabled);
  view[141].selection = 0;
  ChannelDialogCommand(view, 141, 1);
  EXPECT_FALSE(view[160].shown);
  view[141].selection = 3;
  ChannelDialogCommand(view, 141, 7);
  EXPECT_TRUE(view[160].shown);
  view[160].checked = false;
  ChannelDialogCommand(view, 1, 0);
  EXPECT_EQ(Image(kRecord3 + 42, kRecord3 + 43), Bytes{3});
  EXPECT_EQ(Image(kRecord3 + 51, kRecord3 + 52), Bytes{0});
  EXPECT_EQ(Image(kRecord3 + 6, kRecord3 + 7), Bytes{0x0E});
  EXPECT_FALSE(ChannelDialogCommand(view, 999, 0).handled);
  EXPECT_EQ(ChannelDialogCommand(view, 2, 0).endWith, 2);
}

// Opening and OK without a change store the same bytes again: every raw value of each field's
// range passes through the dialog at each resolution (seven values a round, a stride between
// rounds, every bound and its neighbours).
TEST_F(ChannelTest, OkWithoutChangesNeverDriftsAStoredValue) {
  const uint8_t codes[][2] = {{0, 16}, {0, 8}, {1, 32}};
  std::vector<int32_t> values;
  for (int32_t v = kBaseMin; v <= kBaseMax; v += 173) values.push_back(v);
  for (int32_t v : {kBaseMin, kBaseMin + 1, -1, 0, 1, kLimitMin, kLimitMax, kBaseMax - 1, kBaseMax})
    values.push_back(v);
  for (const auto& code : codes) {
    for (size_t i = 0; i < values.size(); ++i) {
      const int32_t v = values[i];
      const int32_t limit = std::max(kLimitMin, std::min(kLimitMax, v));
      Bytes record(80, 0);
      record[0] = code[0];
      record[1] = code[1];
      EncodeSigned24(v, &record[2]);
      record[5] = v < 0 ? 0xFF : 0;
      record[6] = static_cast<uint8_t>(i % 16);
      for (int n = 0; n < 4; ++n) EncodeSigned24(n % 2 ? -limit : limit, &record[7 + 3 * n]);
      record[24] = static_cast<uint8_t>(i | 1);
      record[25] = static_cast<uint8_t>((i * 7) & (i | 1));
      for (int k = 0; k < 8; ++k) {
        const int word =
            (record[24] >> k) & 1 ? static_cast<int>((v + 99999 + 7919 * k) % kFactorMax) + 1 : 0;
        record[26 + 2 * k] = static_cast<uint8_t>(word);
        record[27 + 2 * k] = static_cast<uint8_t>(word >> 8);
      }
      record[42] = static_cast<uint8_t>(i % 6);
      record[51] = record[42] != 0 ? static_cast<uint8_t>(i % 2) : 0;
      const int32_t pair2 = v > 0 ? v - 10 - static_cast<int32_t>(i % 5) : v + 10;
      EncodeSigned24(v, &record[52]);
      record[55] = v < 0 ? 0xFF : 0;
      EncodeSigned24(pair2, &record[56]);
      record[59] = pair2 < 0 ? 0xFF : 0;
      record[60] = static_cast<uint8_t>(i % 2);
      Put(kRecord3, record);
      FakeControls view = OpenChannel();
      ASSERT_EQ(ChannelDialogCommand(view, 1, 0).endWith, 1) << v;
      ASSERT_EQ(Image(kRecord3, kRecord3 + 80), record)
          << "code " << int(code[1]) << " value " << v;
    }
  }
}

}  // namespace
}  // namespace s470
