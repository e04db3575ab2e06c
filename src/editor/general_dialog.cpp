#include "editor/general_dialog.h"

#include "editor/channel_dialog.h"
#include "editor/editor_numbers.h"
#include "editor/setup_dialog.h"
#include "editor/setup_layout.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "slots/file_slots.h"

namespace s470 {

namespace {

using namespace general_ids;

constexpr uint32_t kSwitchAddress = 257, kValueAddress = 258, kOneHotAddress = 265,
                   kScaleAddress = 266, kOwnScaleAddress = 267, kChannelBytes = 269,
                   kIntervalAddress = 277, kIntervalMask = 278, kSigned1Address = 279,
                   kSigned2Address = 282, kTwoWayAddress = 296, kOptionFlagAddress = 304;
constexpr uint32_t kChannel1Resolution = kSetupRecordsFirst + record::kResolution;
constexpr uint8_t kOneHotValues[6] = {0x00, 0x40, 0x01, 0x02, 0x04, 0x08};
constexpr int kAssignmentTexts[7] = {224, 225, 226, 227, 230, 231, 232};
constexpr int kOwnScaleItem = 8;
const char* const kScales[8] = {"auto",
                                "0.005 mm / 0.0005 inch",
                                "0.015 mm / 0.0015 inch",
                                "0.050 mm / 0.0050 inch",
                                "0.150 mm / 0.0150 inch",
                                "0.500 mm / 0.0500 inch",
                                "1.500 mm / 0.1500 inch",
                                "5.000 mm / 0.5000 inch"};

std::u16string Text(int number) {
  return GetText(number);
}
std::u16string Number(int n) {
  return Widen(std::to_string(n).c_str());
}
uint8_t Byte(uint32_t address) {
  return GetSlotByte(0, address);
}
void SetByte(uint32_t address, int value) {
  SetSlotByte(0, address, static_cast<uint8_t>(value));
}

uint32_t Field24(uint32_t address) {
  return Byte(address) | (Byte(address + 1) << 8) | (Byte(address + 2) << 16);
}

bool AllChannels() {
  return Byte(kSetupModuleType) == 0;
}

int NumberList(int row) {
  return kFirstChannelRow + 3 * row + 1;
}
int OptionList(int row) {
  return kFirstChannelRow + 3 * row + 2;
}

// The reactions of the lists. Controls hidden for a module type other than 0 stay hidden.
void ShowMicrometreValue(ControlsView& view) {
  const bool shown = AllChannels() && view.Selection(kMicrometreSwitch) != 0;
  view.Show(102, shown);
  view.Show(kMicrometreValue, shown);
}

void ShowChoice3Option(ControlsView& view) {
  bool shown = false;
  for (int j = 0; j < 4; ++j) shown = shown || view.Selection(kFirstAssignment + 2 * j) == 3;
  view.Show(118, shown);
  view.Show(kChoice3Option, shown);
}

void ShowOwnScale(ControlsView& view) {
  view.Show(kOwnScale, view.Selection(kScaleList) >= kOwnScaleItem);
}

void ShowChannelOption(ControlsView& view, int row) {
  view.Show(OptionList(row), (row == 0 || AllChannels()) && view.Selection(NumberList(row)) >= 1);
}

void EnableIntervalBoxes(ControlsView& view) {
  const bool on = view.Selection(kInterval) != 0;
  for (int k = 0; k < 8; ++k) view.Enable(kFirstIntervalBox + k, on);
}

void ShowSignedValue(ControlsView& view, int box, int edit, uint32_t address) {
  const uint32_t field = Field24(address);
  view.SetCheck(box, Signed21Enabled(field));
  view.Enable(edit, Signed21Enabled(field));
  view.SetText(edit, Number(DecodeSigned21(field)));
}

void WriteSignedValue(ControlsView& view, int box, int edit, uint32_t address) {
  const int32_t value = ParseLeadingInteger(NarrowText(view.GetText(edit, 100)));
  const uint32_t field = EncodeSigned21(value, view.IsChecked(box));
  for (int i = 0; i < 3; ++i) SetByte(address + i, (field >> (8 * i)) & 0xFF);
}

void WriteSettings(ControlsView& view) {
  // A list without a selection never writes: its field keeps the stored value.
  const int micrometreSwitch = view.Selection(kMicrometreSwitch);
  if (micrometreSwitch >= 0) SetByte(kSwitchAddress, micrometreSwitch);
  const int micrometreValue = view.Selection(kMicrometreValue);
  if (micrometreValue >= 0) SetByte(kValueAddress, micrometreValue + 1);

  for (int j = 0; j < 4; ++j) {
    const int choice = view.Selection(kFirstAssignment + 2 * j);
    if (choice < 0) continue;
    for (int t = 1; t <= 6; ++t) {
      const uint8_t b = Byte(kValueAddress + t);
      SetByte(kValueAddress + t, t == choice ? b | (1 << j) : b & ~(1 << j));
    }
  }
  const int choice3Option = view.Selection(kChoice3Option);
  if (choice3Option >= 0) SetByte(261, (Byte(261) & 0x7F) | (choice3Option == 1 ? 0x80 : 0));

  const int oneHot = view.Selection(kOneHot);
  if (oneHot >= 0 && oneHot < 6) SetByte(kOneHotAddress, kOneHotValues[oneHot]);
  SetByte(kOptionFlagAddress, view.IsChecked(kOptionFlag) ? 1 : 0);

  // Scale byte: index in bits 0 to 2, own-scale flag in bit 3 (the index bits then stay as
  // stored), style in bits 6 and 7.
  const uint8_t scale = Byte(kScaleAddress);
  const int scaleItem = view.Selection(kScaleList), style = view.Selection(kScaleStyle);
  int indexBits = scale & 0x0F;
  if (scaleItem >= 0) indexBits = scaleItem >= kOwnScaleItem ? (scale & 0x07) | 0x08 : scaleItem;
  SetByte(kScaleAddress, indexBits + (style >= 0 ? 64 * style : scale & 0xC0));

  const uint16_t ownScale =
      OwnScaleFromNumber(ParseNumber(view, kOwnScale), Byte(kChannel1Resolution));
  SetByte(kOwnScaleAddress, ownScale & 0xFF);
  SetByte(kOwnScaleAddress + 1, ownScale >> 8);

  for (int r = 0; r < 8; ++r) {
    const uint8_t b = Byte(kChannelBytes + r);
    const int n = view.Selection(NumberList(r)), option = view.Selection(OptionList(r));
    const int numberBits = n < 0 ? b & 0x9F : n > 0 ? 0x80 + n : 0;
    SetByte(kChannelBytes + r, numberBits + (option < 0 ? b & 0x20 : 32 * option));
  }

  WriteSignedValue(view, kSigned1Box, kSigned1Edit, kSigned1Address);
  WriteSignedValue(view, kSigned2Box, kSigned2Edit, kSigned2Address);

  const int interval = view.Selection(kInterval);
  if (interval >= 0) SetByte(kIntervalAddress, interval);
  int mask = 0;
  for (int k = 0; k < 8; ++k) mask |= view.IsChecked(kFirstIntervalBox + k) ? 1 << k : 0;
  SetByte(kIntervalMask, mask);
  const int twoWay = view.Selection(kTwoWay);
  if (twoWay >= 0) SetByte(kTwoWayAddress, twoWay);
}

}  // namespace

std::string IntervalText(int quarterHours) {
  if (quarterHours == 0) return "---";
  return std::to_string(quarterHours / 4) + " h  " + std::to_string(quarterHours % 4 * 15) + " min";
}

void OpenGeneralDialog(ControlsView& view) {
  view.SetTitle(Text(200));
  view.SetText(kOk, Text(1));
  view.SetText(kCancel, Text(2));
  static const int kLabels[][2] = {{100, 210}, {102, 213}, {110, 220}, {112, 221}, {114, 222},
                                   {116, 223}, {118, 227}, {120, 240}, {122, 249}, {140, 260},
                                   {170, 270}, {172, 271}, {180, 280}, {190, 290}};
  for (const auto& label : kLabels) view.SetText(label[0], Text(label[1]));
  view.AddItem(kMicrometreSwitch, Text(211));
  view.AddItem(kMicrometreSwitch, Text(212));
  for (int n = 1; n <= 250; ++n) view.AddItem(kMicrometreValue, Number(n) + u" um");
  for (int j = 0; j < 4; ++j)
    for (int text : kAssignmentTexts) view.AddItem(kFirstAssignment + 2 * j, Text(text));
  view.AddItem(kChoice3Option, Text(228));
  view.AddItem(kChoice3Option, Text(229));
  for (int text : {241, 246, 242, 243, 244}) view.AddItem(kOneHot, Text(text));
  if (AllChannels()) view.AddItem(kOneHot, Text(245));
  view.SetText(130, Text(250) + u" :  " + Text(251));
  for (const char* scale : kScales) view.AddItem(kScaleList, Widen(scale));
  view.AddItem(kScaleList, Text(kTextOwnScale));
  view.SetText(133, Text(250) + u" :  " + Text(252));
  for (int text : {253, 254, 255}) view.AddItem(kScaleStyle, Text(text));
  for (int r = 0; r < 8; ++r) {
    view.SetText(kFirstChannelRow + 3 * r, Text(21 + r));
    view.AddItem(NumberList(r), u"off");
    const std::u16string prefix = Text(261) + u" :  ";
    for (int n = 1; n <= 30; ++n) view.AddItem(NumberList(r), prefix + Number(n));
    view.AddItem(OptionList(r), Text(262));
    view.AddItem(OptionList(r), Text(263));
  }
  for (int n = 0; n <= 255; ++n) view.AddItem(kInterval, Widen(IntervalText(n).c_str()));
  for (int k = 0; k < 8; ++k) view.SetText(kFirstIntervalBox + k, Text(21 + k));
  view.AddItem(kTwoWay, Text(291));
  view.AddItem(kTwoWay, Text(292));

  if (!AllChannels()) {
    for (int id : {100, 101, 102, 103, 116, 117}) view.Show(id, false);
    for (int id = kFirstChannelRow + 3; id <= kFirstChannelRow + 3 * 7 + 2; ++id)
      view.Show(id, false);
    for (int k = 1; k < 8; ++k) view.Show(kFirstIntervalBox + k, false);
    SetByte(kTwoWayAddress, 1);
    view.Enable(kTwoWay, false);
  }

  view.Select(kMicrometreSwitch, SignedByte(Byte(kSwitchAddress)));
  ShowMicrometreValue(view);
  if (Byte(kValueAddress) == 0) SetByte(kValueAddress, 12);
  view.Select(kMicrometreValue, Byte(kValueAddress) - 1);

  for (int j = 0; j < 4; ++j) {
    int choice = (Byte(259) >> j) & 1;
    for (int s = 2; s <= 6; ++s)
      if ((Byte(kValueAddress + s) >> j) & 1) choice = s;
    view.Select(kFirstAssignment + 2 * j, choice);
  }
  ShowChoice3Option(view);
  view.Select(kChoice3Option, Byte(261) >> 7);

  const uint8_t oneHot = Byte(kOneHotAddress);
  int item = 0;
  const int bits[5] = {6, 0, 1, 2, 3};
  for (int i = 0; i < 5; ++i)
    if ((oneHot >> bits[i]) & 1) item = i + 1;
  view.Select(kOneHot, item);
  view.SetCheck(kOptionFlag, Byte(kOptionFlagAddress) != 0);

  const uint8_t scale = Byte(kScaleAddress);
  view.Select(kScaleList, (scale & 0x08) != 0 ? kOwnScaleItem : scale & 0x07);
  ShowOwnScale(view);
  const int ownScale = Byte(kOwnScaleAddress) | (Byte(kOwnScaleAddress + 1) << 8);
  view.SetText(kOwnScale, Widen(FormatRaw(ownScale, Byte(kChannel1Resolution)).c_str()));
  view.Select(kScaleStyle, scale >> 6);

  for (int r = 0; r < 8; ++r) {
    const uint8_t b = Byte(kChannelBytes + r);
    view.Select(NumberList(r), (b & 0x80) != 0 ? b & 0x1F : 0);
    ShowChannelOption(view, r);
    view.Select(OptionList(r), (b >> 5) & 1);
  }

  ShowSignedValue(view, kSigned1Box, kSigned1Edit, kSigned1Address);
  ShowSignedValue(view, kSigned2Box, kSigned2Edit, kSigned2Address);

  view.Select(kInterval, Byte(kIntervalAddress));
  EnableIntervalBoxes(view);
  for (int k = 0; k < 8; ++k) view.SetCheck(kFirstIntervalBox + k, (Byte(kIntervalMask) >> k) & 1);
  view.Select(kTwoWay, Byte(kTwoWayAddress));
}

CommandOutcome GeneralDialogCommand(ControlsView& view, int id, int code) {
  if (id == kOk && code == kButtonClicked) {
    WriteSettings(view);
    return {true, 1};
  }
  if (id == kCancel && code == kButtonClicked) return {true, 2};
  if (id == kSigned1Box || id == kSigned2Box) {
    view.Enable(id + 1, view.IsChecked(id));
    return {true};
  }
  // The lists' reactions; the dialog reports them as not handled.
  if (id == kMicrometreSwitch) ShowMicrometreValue(view);
  if (id >= kFirstAssignment && id <= kFirstAssignment + 6 && (id - kFirstAssignment) % 2 == 0)
    ShowChoice3Option(view);
  if (id == kScaleList) ShowOwnScale(view);
  for (int r = 0; r < 8; ++r)
    if (id == NumberList(r)) ShowChannelOption(view, r);
  if (id == kInterval) EnableIntervalBoxes(view);
  return {};
}

}  // namespace s470
