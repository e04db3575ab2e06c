// Registry values of any content: the colour parse stays inside the data (the sanitizers see a
// read past it), marks a wide text only when it met a zero byte, and gives a colour that is
// written and read back unchanged; a value name gives a role of the table or none.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "colours/colour_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace s470;
  bool wide = false;
  const Colour colour = ParseColourText(data, size, &wide);
  if (colour > 0xFFFFFF) std::abort();
  if (wide && std::memchr(data, 0, std::min<size_t>(size, 1000)) == nullptr) std::abort();
  const std::string text = ColourText(colour);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  bool textWide = false;
  if (ParseColourText(bytes, text.size(), &textWide) != colour || textWide) std::abort();
  const std::string name(reinterpret_cast<const char*>(data), std::min<size_t>(size, 8));
  const int role = ColourRoleOfName(name.c_str());
  if (role < -1 || role >= kColourRoles) std::abort();
  return 0;
}
