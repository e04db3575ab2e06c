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

// The parse stays inside the data: wide data of an odd length stops at its end (a digit follows
// it in memory, which a read past the end would take), and nothing past 1000 bytes is looked at.
TEST(ColourText, ParsesTheComponentsAndStaysInsideTheData) {
  Bytes longText(1000, '0');
  for (uint8_t b : ToBytes(" 5 6 ")) longText.push_back(b);
  const Bytes odd = {0x37, 0x00, 0x20, '9'};
  bool wide = false;
  EXPECT_EQ(ParseColourText(odd.data(), 3, &wide), 0x000007u);
  EXPECT_EQ(ParseColourText(longText.data(), longText.size(), &wide), 0u);
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
    SaveColours();
    ASSERT_EQ(Values().size(), 8u);
    for (const auto& value : Values()) EXPECT_EQ(value.second.type, kRegSz);
    for (char16_t role = 0; role < 8; ++role) {
      const Bytes want = wide ? Wide16(texts[role], 1) : Narrow8(texts[role]);
      EXPECT_EQ(*Value(u"COLOR 0" + std::u16string(1, u'0' + role)), want);
    }
  }
}

// Values that name a role give its colour and are saved back unchanged; all others are ignored
// and kept.
TEST_F(ColoursTest, StoredColoursAreUsedAndSavedBackUnchanged) {
  Add(u"COLOR 00", Narrow8("9 8 7 "));
  Add(u"COLOR 05", Narrow8("0 0 255 "));
  // A role above 7 has a colour only when the registry names one.
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
  ExpectColours({{0, 0x070809}, {4, 0x020202}, {5, 0xFF0000}, {19, 0x030201}});
  // Roles without a colour in this call and roles outside the table; no place to store.
  for (int16_t role : {-1, 11, 20}) EXPECT_EQ(Get(role), (std::pair<Colour, Brush>{0, 0})) << role;
  GetColour(1, nullptr, nullptr);
  SaveColours();
  EXPECT_EQ(*Value(u"COLOR 00"), Narrow8("9 8 7 "));
  for (const auto& name : others) EXPECT_EQ(*Value(name), junk);
  EXPECT_EQ(Values().size(), 8u + 1 + 2 + std::size(others));  // and "Path", "COLOR 04 old"
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
