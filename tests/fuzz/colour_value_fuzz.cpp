// Registry values of any name and content through LoadColours and SaveColours: no read outside
// a value's data, no brush left behind or deleted twice, and every colour written back reads
// back as the same colour.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../unit/fake_lang.h"
#include "colours/colour_platform.h"
#include "colours/colour_table.h"

using namespace s470;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::u16string Upper(std::u16string s) {
  for (auto& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The parse alone, on exactly the input's bytes.
  bool wide = false;
  const Colour parsed = ParseColourText(data, size, &wide);
  Check(parsed <= 0xFFFFFF);
  if (wide) Check(std::memchr(data, 0, size < 1000 ? size : 1000) != nullptr);

  // The input as registry values: [flags] then records of name length, name, data length, data.
  if (size == 0) return 0;
  ResetFakeBrushes();
  SetFakeNtPlatform((data[0] & 1) != 0);
  FakeLang lang;
  const std::u16string key = u"SOFTWARE\\ORV\\MERIDEX";
  auto& values = lang.registry[key];
  size_t at = 1;
  while (at < size) {
    const size_t nameLength = data[at++] % 16;
    if (at + nameLength > size) break;
    std::u16string name;
    for (size_t i = 0; i < nameLength; ++i) name.push_back(data[at + i]);
    at += nameLength;
    if (at + 2 > size) break;
    const size_t dataLength = (data[at] | data[at + 1] << 8) % 1200;
    at += 2;
    if (at + dataLength > size) break;
    const std::vector<uint8_t> bytes(data + at, data + at + dataLength);
    at += dataLength;
    // A key holds each name once, whatever its case.
    bool taken = false;
    for (const auto& [n, v] : values) taken = taken || Upper(n) == Upper(name);
    if (!taken) values.push_back({name, {kRegSz, bytes}});
  }
  const size_t foreign = values.size();

  LoadColours();
  for (int16_t role = 0; role < 8; ++role) {
    Colour colour = 0;
    Brush brush = 0;
    GetColour(role, &colour, &brush);
    Check(brush != 0 && FakeBrushColour(brush) == colour);
  }
  Check(FakeBrushes().alive <= kColourRoles);
  SaveColours();
  const FakeBrushCounts counts = FakeBrushes();
  Check(counts.alive == 0 && counts.badDeletes == 0 && counts.created == counts.deleted);

  const bool wideSaved = GetWideRegistryFlag() == 1;
  for (int16_t role = 0; role < kColourRoles; ++role) {
    const std::string name8 = std::string("COLOR ") + char('0' + role / 10) + char('0' + role % 10);
    const std::u16string name(name8.begin(), name8.end());
    const std::vector<uint8_t>* saved = nullptr;
    for (const auto& [n, v] : values)
      if (n == name) saved = &v.data;
    if (saved == nullptr) {
      Check(role >= 8);
      continue;
    }
    Colour colour = 0;
    GetColour(role, &colour, nullptr);
    bool savedWide = false;
    // Exactly the written length: the NUL's first byte is included, the parse must stop before.
    const std::vector<uint8_t> exact(*saved);
    Check(ParseColourText(exact.data(), exact.size(), &savedWide) == colour);
    Check(savedWide == wideSaved);
    Check(exact.size() == (wideSaved ? 2 : 1) * ColourText(colour).size() + 1);
  }
  Check(values.size() >= foreign);
  return 0;
}
