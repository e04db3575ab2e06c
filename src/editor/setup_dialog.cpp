#include "editor/setup_dialog.h"

#include <vector>

#include "api/call_frame.h"
#include "editor/setup_layout.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "slots/file_slots.h"

namespace s470 {

namespace {

using namespace setup_ids;

int g_currentChannel = 0;
uint32_t g_currentRecord = ChannelRecordAddress(0);
uint8_t g_setupSnapshot[kSetupFileSize];  // what Cancel in dialog 10 puts back

std::u16string Text(int number) {
  return GetText(number);
}

int ChannelBox(int k) {
  return 108 + 2 * k;
}  // k = 1..8
int ChannelButton(int k) {
  return 109 + 2 * k;
}

// Any module type but 0 (QLB-mc1) leaves channel 1 alone usable.
void ShowModuleChannels(ControlsView& view, bool allChannels) {
  if (allChannels) {
    view.Enable(ChannelBox(1), true);
  } else {
    view.SetCheck(ChannelBox(1), true);
    view.Enable(ChannelBox(1), false);
    view.Enable(ChannelButton(1), true);
  }
  for (int id = ChannelBox(2); id <= kLastChannelButton; ++id) view.Show(id, allChannels);
}

void WriteDefaults() {
  const auto defaults = SetupDefaults();
  for (uint32_t a = 0; a < defaults.size(); ++a) SetSlotByte(0, a, defaults[a]);
}

// Runs page 11 or 12 over a copy of addresses 0 to 1023; a page that ends with 2 is undone.
void RunPage(ControlsView& view, int page) {
  std::vector<uint8_t> saved(kSetupGaugeAreaEnd);
  for (uint32_t a = 0; a < kSetupGaugeAreaEnd; ++a) saved[a] = GetSlotByte(0, a);
  if (view.OpenPage(page) == 2)
    for (uint32_t a = 0; a < kSetupGaugeAreaEnd; ++a) SetSlotByte(0, a, saved[a]);
}

}  // namespace

int CurrentChannel() {
  return g_currentChannel;
}
uint32_t CurrentRecordOffset() {
  return g_currentRecord;
}
void SetCurrentChannel(int channel) {
  g_currentChannel = channel;
  g_currentRecord = ChannelRecordAddress(channel);
}

void OpenSetupDialog(ControlsView& view) {
  for (uint32_t a = 0; a < kSetupFileSize; ++a) g_setupSnapshot[a] = GetSlotByte(0, a);
  if (GetSlotByte(0, kSetupChannelMask) == 0) WriteDefaults();

  view.SetTitle(Text(10));
  view.SetText(kHeading, Text(10));
  view.SetText(kOk, Text(1));
  view.SetText(kCancel, Text(2));
  view.SetText(kModuleLabel, Text(2102));

  std::u16string base = Text(2000);
  if (!base.empty() && base[0] == u'&') base.erase(0, 1);
  view.AddItem(kModuleList, base + u" + QLB-mc1");
  if (GetBrand() == 0 || GetBrand() == 4) {
    view.AddItem(kModuleList, base + u" + R/S470-ae1");
    view.AddItem(kModuleList, base + u" + R/S470-im2");
  }
  const uint8_t moduleType = GetSlotByte(0, kSetupModuleType);
  view.Select(kModuleList, SignedByte(moduleType));
  const bool regularFile = GetRegularFileFlag() != 0;
  if (!regularFile) view.Enable(kModuleList, false);

  for (int k = 1; k <= kChannels; ++k) {
    view.SetText(ChannelBox(k), Text(29));
    view.SetText(ChannelButton(k), Text(20 + k));
  }
  view.SetText(kGeneralButton, Text(30));
  view.SetText(kTextGroupFirst, Text(50));
  for (int i = 0; i < 4; ++i) view.SetText(301 + 2 * i, Text(51 + i));  // labels 301 to 307

  const uint8_t mask = GetSlotByte(0, kSetupChannelMask);
  for (int k = 1; k <= kChannels; ++k) {
    const bool on = (mask >> (k - 1)) & 1;
    view.SetCheck(ChannelBox(k), on);
    view.Enable(ChannelButton(k), on);
  }
  if (moduleType != 0) ShowModuleChannels(view, false);

  for (int f = 0; f < 4; ++f) {
    const TextField& field = kTextFields[f];
    std::u16string text;
    for (int i = 0; i < field.length; ++i) {
      const char16_t c = GetSlotWord(0, field.address + 2 * i);
      if (c == 0) break;
      text.push_back(c);
    }
    view.LimitText(kTextEdit[f], field.length);
    view.SetText(kTextEdit[f], text);
  }
  if (!regularFile)
    for (int id = kTextGroupFirst; id <= kTextGroupLast; ++id) view.Show(id, false);
}

CommandOutcome SetupDialogCommand(ControlsView& view, int id, int code) {
  if (id == kModuleList) {
    if (code != kSelectionChanged) return {};
    const int item = view.Selection(kModuleList);
    if (item < 0) return {true};  // nothing chosen: the stored type stays
    SetSlotByte(0, kSetupModuleType, static_cast<uint8_t>(item));
    ShowModuleChannels(view, item == 0);
    return {true};
  }
  if (id >= ChannelBox(1) && id <= kLastChannelButton) {
    if ((id - ChannelBox(1)) % 2 == 0) {  // a channel's check box
      view.Enable(id + 1, view.IsChecked(id));
    } else {
      SetCurrentChannel((id - ChannelButton(1)) / 2);
      RunPage(view, kChannelDialog);
    }
    return {true};
  }
  if (id == kGeneralButton) {
    RunPage(view, kGeneralDialog);
    return {true};
  }
  if (id == kOk && code == kButtonClicked) {
    uint8_t mask = 0;
    for (int k = 1; k <= kChannels; ++k)
      if (view.IsChecked(ChannelBox(k))) mask |= static_cast<uint8_t>(1u << (k - 1));
    SetSlotByte(0, kSetupChannelMask, mask);
    for (int f = 0; f < 4; ++f) {
      // One character more than the field holds, so that a full-length text comes back whole
      // whether the limit counts the terminator or not; the rest of the field becomes zeros.
      const TextField& field = kTextFields[f];
      const std::u16string text = view.GetText(kTextEdit[f], field.length + 1);
      for (int i = 0; i < field.length; ++i)
        SetSlotWord(0, field.address + 2 * i, i < static_cast<int>(text.size()) ? text[i] : 0);
    }
    return {true, 1};
  }
  if (id == kCancel && code == kButtonClicked) {
    for (uint32_t a = 0; a < kSetupFileSize; ++a) SetSlotByte(0, a, g_setupSnapshot[a]);
    return {true, 2};
  }
  return {};
}

}  // namespace s470
