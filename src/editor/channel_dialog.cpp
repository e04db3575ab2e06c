#include "editor/channel_dialog.h"

#include <cmath>
#include <string>

#include "editor/editor_numbers.h"
#include "editor/setup_dialog.h"
#include "editor/setup_layout.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "slots/file_slots.h"

namespace s470 {

namespace {

using namespace channel_ids;

// Resolution list items: (unit code, resolution code).
constexpr uint8_t kResolutionItems[4][2] = {{0, 16}, {0, 8}, {1, 32}, {1, 16}};

std::u16string Text(int number) {
  return GetText(number);
}

uint8_t Byte(int offset) {
  return GetSlotByte(0, CurrentRecordOffset() + offset);
}
void SetByte(int offset, uint8_t value) {
  SetSlotByte(0, CurrentRecordOffset() + offset, value);
}

int32_t Signed24(int offset) {
  const uint8_t bytes[3] = {Byte(offset), Byte(offset + 1), Byte(offset + 2)};
  return DecodeSigned24(bytes);
}

void SetSigned24(int offset, int32_t value) {
  uint8_t bytes[3];
  EncodeSigned24(value, bytes);
  for (int i = 0; i < 3; ++i) SetByte(offset + i, bytes[i]);
}

void ShowRaw(ControlsView& view, int id, int offset) {
  view.SetText(id, Widen(FormatRaw(Signed24(offset), Byte(record::kResolution)).c_str()));
}

// Reads a value edit into raw units of the record's resolution; false (after the message) when
// it lies outside [min, max].
bool ReadRaw(ControlsView& view, int id, int32_t min, int32_t max, const std::u16string& message,
             double* number, int32_t* raw) {
  *number = ParseNumber(view, id);
  const double rounded = RoundToRaw(*number, ScaleOfResolution(Byte(record::kResolution)));
  if (!(rounded >= min && rounded <= max)) {
    view.ShowMessage(message);
    return false;
  }
  *raw = static_cast<int32_t>(rounded);
  return true;
}

// Base value and pair values: the raw value and, in its own byte, the sign of the entry.
bool WriteSignedValue(ControlsView& view, int id, int offset, int signOffset,
                      const std::u16string& message) {
  double number = 0;
  int32_t raw = 0;
  if (!ReadRaw(view, id, kBaseMin, kBaseMax, message, &number, &raw)) return false;
  SetByte(signOffset, number < 0 ? 0xFF : 0x00);
  SetSigned24(offset, raw);
  return true;
}

void ShowModeOption(ControlsView& view) {
  view.Show(kModeOption, view.Selection(kModeList) != 0);
}

bool ConfirmChannel(ControlsView& view) {
  const int resolutionItem = view.Selection(kResolutionList);
  if (resolutionItem >= 0 && resolutionItem < 4) {
    SetByte(record::kUnit, kResolutionItems[resolutionItem][0]);
    SetByte(record::kResolution, kResolutionItems[resolutionItem][1]);
  }
  // The range texts follow the resolution just written; a record left on a code the list does
  // not know has none.
  const int decimals = DecimalsOfResolution(Byte(record::kResolution));
  const std::u16string rangeA = decimals < 0 ? u"" : Text(190 + decimals - 3);
  const std::u16string rangeB = decimals < 0 ? u"" : Text(193 + decimals - 3);

  if (!WriteSignedValue(view, kBaseEdit, record::kBase, record::kBaseSign,
                        Text(kTextBaseOutOfRange) + rangeA))
    return false;

  for (int n = 0; n < 4; ++n) {
    uint8_t enable = Byte(record::kLimitEnable);
    if (view.IsChecked(kFirstLimitBox + 2 * n))
      enable |= static_cast<uint8_t>(1u << n);
    else
      enable &= static_cast<uint8_t>(0x0F & ~(1u << n));
    SetByte(record::kLimitEnable, enable);
    double number = 0;
    int32_t raw = 0;
    if (!ReadRaw(view, kFirstLimitBox + 2 * n + 1, kLimitMin, kLimitMax,
                 Text(kTextLimitOutOfRange) + rangeB, &number, &raw))
      return false;
    SetSigned24(record::kLimit1 + 3 * n, raw);
  }

  for (int k = 1; k <= 8; ++k) {
    const double x = ParseNumber(view, kFactorHeading + k);
    if (!(x >= -59.999 && x <= 59.999)) {
      view.ShowMessage(Text(kTextFactorOutOfRange));
      return false;
    }
    const uint8_t bit = static_cast<uint8_t>(1u << (k - 1));
    const uint8_t mask = Byte(record::kInputMask), signs = Byte(record::kInputSignMask);
    SetByte(record::kInputMask, x != 0 ? mask | bit : mask & ~bit);
    SetByte(record::kInputSignMask, x < 0 ? signs | bit : signs & ~bit);
    const auto magnitude = static_cast<uint16_t>(RoundToRaw(std::fabs(x), 1000));
    SetByte(record::kFactor1 + 2 * (k - 1), static_cast<uint8_t>(magnitude));
    SetByte(record::kFactor1 + 2 * (k - 1) + 1, static_cast<uint8_t>(magnitude >> 8));
  }
  if (Byte(record::kInputMask) == 0) {
    view.ShowMessage(Text(kTextNoInput));
    return false;
  }

  // A mode list without a selection (a stored index that is no item) keeps the stored index;
  // the option follows its box wherever the box is shown.
  const int mode = view.Selection(kModeList);
  if (mode >= 0) SetByte(record::kMode, static_cast<uint8_t>(mode));
  SetByte(record::kModeOption, mode != 0 && view.IsChecked(kModeOption) ? 1 : 0);

  const std::u16string pairMessage = Text(kTextPairOutOfRange) + rangeA;
  if (!WriteSignedValue(view, kPair1Edit, record::kPair1, record::kPair1Sign, pairMessage))
    return false;
  SetByte(record::kPair2Enabled, view.IsChecked(kPair2Box) ? 1 : 0);
  if (!WriteSignedValue(view, kPair2Edit, record::kPair2, record::kPair2Sign, pairMessage))
    return false;
  if (Byte(record::kPair2Enabled) != 0 &&
      std::abs(Signed24(record::kPair1) - Signed24(record::kPair2)) < kPairMinDistance) {
    view.ShowMessage(Text(kTextPairsTooClose));
    return false;
  }
  return true;
}

}  // namespace

double ParseNumber(ControlsView& view, int id) {
  return ParseLeadingNumber(NarrowText(view.GetText(id, 100)));
}

void OpenChannelDialog(ControlsView& view) {
  view.SetTitle(Text(100) + u"  " + Widen(std::to_string(CurrentChannel() + 1).c_str()));
  view.SetText(kOk, Text(1));
  view.SetText(kCancel, Text(2));
  static const int kLabels[][2] = {{100, 110}, {110, 120}, {120, 130}, {121, 131}, {123, 132},
                                   {125, 133}, {127, 134}, {130, 140}, {131, 141}, {140, 150},
                                   {160, 159}, {150, 160}, {151, 161}, {153, 162}};
  for (const auto& label : kLabels) view.SetText(label[0], Text(label[1]));
  for (int t = 111; t <= 114; ++t) view.AddItem(kResolutionList, Text(t));
  for (int t = 151; t <= 156; ++t) view.AddItem(kModeList, Text(t));

  // Module types 1 and 2 have one and two inputs; 0xFF (none chosen) shows none at all.
  const uint8_t moduleType = GetSlotByte(0, kSetupModuleType);
  const int inputs = SignedByte(moduleType);
  if (moduleType != 0 && inputs >= -1 && inputs <= 7)
    for (int id = 162 + inputs; id <= 169; ++id)
      for (int column : {id - 30, id, id + 10}) view.Show(column, false);

  int item = -1;
  for (int i = 0; i < 4; ++i)
    if (Byte(record::kUnit) == kResolutionItems[i][0] &&
        Byte(record::kResolution) == kResolutionItems[i][1])
      item = i;
  view.Select(kResolutionList, item);

  ShowRaw(view, kBaseEdit, record::kBase);
  const uint8_t enable = Byte(record::kLimitEnable);
  for (int n = 0; n < 4; ++n) {
    const bool on = (enable >> n) & 1;
    view.SetCheck(kFirstLimitBox + 2 * n, on);
    view.Enable(kFirstLimitBox + 2 * n + 1, on);
    ShowRaw(view, kFirstLimitBox + 2 * n + 1, record::kLimit1 + 3 * n);
  }

  const uint8_t mask = Byte(record::kInputMask), signs = Byte(record::kInputSignMask);
  for (int k = 1; k <= 8; ++k) {
    double factor = 0;
    if ((mask >> (k - 1)) & 1) {
      const int word =
          Byte(record::kFactor1 + 2 * (k - 1)) | (Byte(record::kFactor1 + 2 * (k - 1) + 1) << 8);
      factor = word * 0.001;
      if ((signs >> (k - 1)) & 1) factor = -factor;
    }
    view.SetText(kFactorHeading + k, Widen(FormatFixed(static_cast<float>(factor), 3).c_str()));
  }

  view.Select(kModeList, SignedByte(Byte(record::kMode)));
  view.SetCheck(kModeOption, Byte(record::kModeOption) != 0);
  ShowModeOption(view);

  ShowRaw(view, kPair1Edit, record::kPair1);
  const bool pair2 = Byte(record::kPair2Enabled) & 1;
  view.SetCheck(kPair2Box, pair2);
  view.Enable(kPair2Edit, pair2);
  ShowRaw(view, kPair2Edit, record::kPair2);
}

CommandOutcome ChannelDialogCommand(ControlsView& view, int id, int code) {
  if (id == kOk && code == kButtonClicked) {
    if (!ConfirmChannel(view)) return {};
    return {true, 1};
  }
  if (id == kCancel && code == kButtonClicked) return {true, 2};
  if (id == kFirstLimitBox || id == kFirstLimitBox + 2 || id == kFirstLimitBox + 4 ||
      id == kFirstLimitBox + 6) {
    for (int n = 0; n < 4; ++n)
      view.Enable(kFirstLimitBox + 2 * n + 1, view.IsChecked(kFirstLimitBox + 2 * n));
    return {true};
  }
  if (id == kPair2Box) {
    view.Enable(kPair2Edit, view.IsChecked(kPair2Box));
    return {true};
  }
  if (id == kModeList) {
    ShowModeOption(view);
    return {true};
  }
  return {};
}

}  // namespace s470
