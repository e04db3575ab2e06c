#include "editor/editor_numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "editor/setup_layout.h"

namespace s470 {

std::string FormatFixed(float value, int decimals) {
  static const double kHalf[] = {0.5, 0.05, 0.005, 0.0005, 0.00005, 0.000005};
  if (decimals < 0 || decimals > 5) return {};
  double v = value;
  v += v < 0 ? -kHalf[decimals] : kHalf[decimals];
  // to_chars, unlike printf, never uses the locale's decimal point.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 6);
  std::string text(buffer, result.ptr);
  const size_t cut = decimals == 0 ? 7 : static_cast<size_t>(6 - decimals);
  if (result.ec != std::errc() || text.size() <= cut) return {};
  text.resize(text.size() - cut);
  return text;
}

namespace {

bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

double ParseLeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t start = i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {  // only with digits behind it
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      end = j;
    }
  }
  double value = 0;
  const auto result = std::from_chars(text.data() + start, text.data() + end, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: atof gives infinity or zero.
    const size_t e = text.find_first_of("eE", start);
    const bool tiny = e < end && text[e + 1] == '-';
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -value : value;
}

int32_t ParseLeadingInteger(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i)
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

std::string NarrowText(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(c < 256 ? static_cast<char>(c) : '?');
  return out;
}

double RoundToRaw(double number, int32_t scale) {
  const double scaled = number * scale;
  return std::trunc(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
}

std::string FormatRaw(int32_t raw, uint8_t resolutionCode) {
  static const double kUnit[] = {0.001, 0.0001, 0.00001};
  const int decimals = DecimalsOfResolution(resolutionCode);
  if (decimals < 0) return FormatFixed(static_cast<float>(raw), 0);
  return FormatFixed(static_cast<float>(raw * kUnit[decimals - 3]), decimals);
}

uint16_t OwnScaleFromNumber(double number, uint8_t resolutionCode) {
  const double raw = std::fabs(RoundToRaw(number, ScaleOfResolution(resolutionCode)));
  return static_cast<uint16_t>(raw > kFactorMax ? kFactorMax : raw);
}

}  // namespace s470
