#include "colours/colour_table.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/call_frame.h"
#include "colours/colour_platform.h"
#include "fake_lang.h"
#include "lang/text_lookup.h"
#include "test_helpers.h"

namespace s470 {
namespace {

using Bytes = std::vector<uint8_t>;
const std::u16string kKey = u"SOFTWARE\\ORV\\MERIDEX";
const Colour kDefaults[8] = {0xF2FFFF, 0xD0E9F0, 0xD0E9F0, 0, 0, 0xF2FFFF, 0xC8D0D4, 0xC8D0D4};

// The registry's form of an 8-bit text: the characters and the NUL.
Bytes Narrow8(const std::string& text) {
  Bytes b = ToBytes(text);
  b.push_back(0);
  return b;
}
// UTF-16LE, each byte followed by a zero byte; with `tail` extra bytes of the wide NUL.
Bytes Wide16(const std::string& text, size_t tail) {
  Bytes b;
  for (char c : text) b.insert(b.end(), {static_cast<uint8_t>(c), 0});
  b.insert(b.end(), tail, 0);
  return b;
}

// Red, green and blue each ended by a blank; a zero byte met on the way marks a wide text. The
// data is a copy of exactly its length, so a read past it is a fault the sanitizers see.
TEST(ColourText, ParsesTheComponentsAndStaysInsideTheData) {
  Bytes longText(1000, '0');  // nothing past 1000 bytes is looked at
  for (uint8_t b : ToBytes(" 5 6 ")) longText.push_back(b);
  const struct {
    Bytes data;
    Colour colour;
    bool wide;
  } cases[] = {
      {ToBytes("258 513 1024 "), 0x000102, false},  // each component modulo 256
      {ToBytes(" 255 255 "), 0xFFFF00, false},  // an empty field stays 0
      {ToBytes("1 2 3 4 5 "), 0x030201, false},  // the third blank ends the parse
      {Narrow8("1 2 3"), 0x030201, true},  // an 8-bit text without its last blank reaches its NUL
      // Odd lengths of wide data stop at the end.
      {{0x31, 0x00, 0x20, 0x00, 0x32}, 0x000201, true},
      {{0x37, 0x00, 0x20}, 0x000007, true},
      {{0x00}, 0, true},
      {{0x00, 0x00, 0x00}, 0x0000D0, true},  // a second zero byte is taken: 0 - '0'
      // Without its last blank, a wide text runs into its NUL: the zero byte after the
      // stepped-over one is taken as a digit (5 * 10 + 0 - '0' = 2).
      {Wide16("12 34 5", 1), 0x02220C, true},
      // Hostile texts: characters other than digits count with their distance from '0'.
      {ToBytes("A 0 0 "), 17, false},     // 'A' - '0'
      {ToBytes("-1 0 0 "), 0xE3, false},  // (-3) * 10 + 1, low 8 bits
      {longText, 0, false},
  };
  for (const auto& c : cases) {
    const Bytes exact = c.data;
    bool wide = false;
    SCOPED_TRACE(Text(c.data).substr(0, 20));
    EXPECT_EQ(ParseColourText(exact.data(), exact.size(), &wide), c.colour);
    EXPECT_EQ(wide, c.wide);
  }
  // Written as decimals each followed by a blank; bits 24 to 31 are not part of the colour.
  EXPECT_EQ(ColourText(0x12030201), "1 2 3 ");
  EXPECT_EQ(ColourText(0x64090A), "10 9 100 ");
}

// WM_CTLCOLOR...: BTN 6, EDIT and LISTBOX 5, SCROLLBAR 7, DLG and STATIC 1, MSGBOX none; and
// WM_COMMAND none.
TEST(ColourRule, RoleOfEachControlColourMessage) {
  const std::pair<unsigned, int> cases[] = {{0x0135, 6}, {0x0133, 5}, {0x0134, 5},  {0x0137, 7},
                                            {0x0136, 1}, {0x0138, 1}, {0x0132, -1}, {0x0111, -1}};
  for (const auto& [message, role] : cases)
    EXPECT_EQ(ColourRoleForMessage(message), role) << message;
}

class ColoursTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeBrushes();
    SetFakeNtPlatform(false);
  }
  void TearDown() override { SetFakeNtPlatform(true); }

  std::vector<std::pair<std::u16string, FakeLang::RegValue>>& Values() {
    return lang_.registry[kKey];
  }
  void Add(const std::u16string& name, const Bytes& data) {
    Values().push_back({name, {kRegSz, data}});
  }
  const Bytes* Value(const std::u16string& name) {
    for (const auto& [n, v] : Values())
      if (n == name) return &v.data;
    return nullptr;
  }
  static std::pair<Colour, Brush> Get(int16_t role) {
    std::pair<Colour, Brush> got{7, 7};
    GetColour(role, &got.first, &got.second);
    return got;
  }
  // Roles 0 to 7 (the defaults but for `changed`) and the changed roles have their colours, and
  // a brush of that colour; no other brush is alive.
  void ExpectColours(std::map<int16_t, Colour> changed = {}) {
    for (int16_t role = 0; role < 8; ++role) changed.insert({role, kDefaults[role]});
    for (const auto& [role, colour] : changed) {
      EXPECT_EQ(Get(role).first, colour) << role;
      EXPECT_EQ(FakeBrushColour(Get(role).second), colour) << role;
    }
    EXPECT_EQ(FakeBrushes().alive, static_cast<int>(changed.size()));
  }
  void ExpectAllBrushesGone() {
    const FakeBrushCounts counts = FakeBrushes();
    EXPECT_EQ(counts.alive, 0);
    EXPECT_EQ(counts.badDeletes, 0);
    EXPECT_EQ(counts.created, counts.deleted);
    for (int16_t role = 0; role < kColourRoles; ++role) EXPECT_EQ(Get(role).second, 0u) << role;
  }

  FakeLang lang_;
};

// Without stored colours the defaults are used and saved: as 8-bit text, or as wide text with one
// byte of its NUL on NT and on any platform where the registry held a wide value in this call.
TEST_F(ColoursTest, DefaultsAreSavedAs8BitOrWideWithOneByteOfTheNul) {
  const char* texts[8] = {"255 255 242 ", "240 233 208 ", "240 233 208 ", "0 0 0 ",
                          "0 0 0 ",       "255 255 242 ", "212 208 200 ", "212 208 200 "};
  const struct {
    const char* what;
    bool nt, wideValue;
  } cases[] = {{"9x, a wide value", false, true}, {"9x", false, false}, {"NT", true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    lang_.registry.clear();
    if (c.wideValue) Add(u"COLOR 02", Wide16("240 233 208 ", 2));
    SetFakeNtPlatform(c.nt);
    LoadColours();
    const bool wide = c.nt || c.wideValue;
    EXPECT_EQ(GetWideRegistryFlag(), wide ? 1 : 0);
    ExpectColours();
    SaveColours();
    ASSERT_EQ(Values().size(), 8u);
    for (const auto& value : Values()) EXPECT_EQ(value.second.type, kRegSz);
    for (char16_t role = 0; role < 8; ++role) {
      const Bytes want = wide ? Wide16(texts[role], 1) : Narrow8(texts[role]);
      EXPECT_EQ(*Value(u"COLOR 0" + std::u16string(1, u'0' + role)), want);
    }
    ExpectAllBrushesGone();
  }
}

// Values that name a role give its colour and are saved back unchanged; all others are ignored
// and kept.
TEST_F(ColoursTest, StoredColoursAreUsedAndSavedBackUnchanged) {
  Add(u"COLOR 00", Narrow8("9 8 7 "));
  Add(u"COLOR 05", Narrow8("0 0 255 "));
  // Higher roles are kept only when the registry names them.
  Add(u"COLOR 19", Narrow8("1 2 3 "));
  // A long value (more than the 500 bytes offered) does not hide the colours after it.
  Add(u"Path", Bytes(800, 'x'));
  // Two values for one role: the last counts and no brush is left behind.
  Add(u"COLOR 04", Narrow8("1 1 1 "));
  Add(u"COLOR 04 old", Narrow8("2 2 2 "));
  const Bytes junk = Narrow8("9 9 9 ");
  const std::u16string others[] = {u"COLOR 7x", u"COLOR x7", u"COLOR 42", u"COLOR 20", u"COLOR 99",
                                   u"COLOR 5", u"COLOR ", u"COLOR05", u"color 05", u"COLOUR 05",
                                   u"XCOLOR 05", u"", u"COLOR \x0665\x0660"};
  for (const auto& name : others) Add(name, junk);
  LoadColours();
  EXPECT_EQ(lang_.closedKeys, 1);
  ExpectColours({{0, 0x070809}, {4, 0x020202}, {5, 0xFF0000}, {19, 0x030201}});
  // Roles without a colour in this call and roles outside the table; no place to store.
  for (int16_t role : {-1, 11, 20}) EXPECT_EQ(Get(role), (std::pair<Colour, Brush>{0, 0})) << role;
  GetColour(1, nullptr, nullptr);
  EXPECT_EQ(GetWideRegistryFlag(), 0);
  SaveColours();
  EXPECT_EQ(*Value(u"COLOR 00"), Narrow8("9 8 7 "));
  EXPECT_EQ(*Value(u"COLOR 05"), Narrow8("0 0 255 "));
  EXPECT_EQ(*Value(u"COLOR 19"), Narrow8("1 2 3 "));
  EXPECT_EQ(Value(u"Path")->size(), 800u);
  EXPECT_EQ(*Value(u"COLOR 04"), Narrow8("2 2 2 "));
  EXPECT_EQ(*Value(u"COLOR 07"), Narrow8("212 208 200 "));
  for (const auto& name : others) EXPECT_EQ(*Value(name), junk);
  EXPECT_EQ(Values().size(), 8u + 1 + 2 + std::size(others));  // and "Path", "COLOR 04 old"
  EXPECT_EQ(lang_.closedKeys, 2);
  ExpectAllBrushesGone();

  // The next call: role 19 keeps its value in memory, but only what the registry names is used
  // and saved.
  lang_.registry.clear();
  LoadColours();
  EXPECT_EQ(Get(19), (std::pair<Colour, Brush>{0x030201, 0}));
  SaveColours();
  EXPECT_EQ(Value(u"COLOR 19"), nullptr);
  EXPECT_EQ(Values().size(), 8u);
}

// The call frame takes the language and the brand from the low two bytes, and loads the colours
// before the work and saves them after it, also when it throws. A key that cannot be created gets
// nothing written, and the brushes are deleted all the same.
TEST_F(ColoursTest, CallFrameBracketsTheWorkWithTheColours) {
  Add(u"COLOR 05", Narrow8("0 0 255 "));
  const int16_t result = RunCallFrame(nullptr, 0xABCD0307, 9, [&]() -> int16_t {
    EXPECT_EQ(Get(5).first, 0xFF0000u);
    EXPECT_NE(Get(1).second, 0u);
    EXPECT_EQ(Values().size(), 1u);  // nothing saved yet
    return 4;
  });
  EXPECT_EQ(result, 4);
  EXPECT_EQ(lang_.language, 7);
  EXPECT_EQ(GetBrand(), 3);  // until the next call
  EXPECT_EQ(Values().size(), 8u);
  EXPECT_EQ(*Value(u"COLOR 05"), Narrow8("0 0 255 "));
  ExpectAllBrushesGone();

  lang_.registry.clear();
  lang_.refuseCreateKey = true;
  EXPECT_THROW(RunCallFrame(nullptr, 0x0001, 1, []() -> int16_t { throw std::runtime_error("x"); }),
               std::runtime_error);
  EXPECT_EQ(lang_.language, 1);
  EXPECT_EQ(GetBrand(), 0);
  EXPECT_TRUE(lang_.registry.empty());
  EXPECT_EQ(lang_.closedKeys, 2);  // the two keys of the first call only
  ExpectAllBrushesGone();
}

}  // namespace
}  // namespace s470
