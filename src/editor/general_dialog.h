// General settings dialog 12: the settings of setup addresses 257 to 304 in slot 0. It writes
// twice while it opens (an unset micrometre value becomes 12; a module type other than 0 fixes
// the two-way choice to 1) and every setting at OK; the setup dialog undoes it after Cancel.
#pragma once

#include <cstdint>
#include <string>

#include "editor/controls_view.h"

namespace s470 {

namespace general_ids {
constexpr int kOk = 1, kCancel = 2;
constexpr int kMicrometreSwitch = 101, kMicrometreValue = 103;
constexpr int kFirstAssignment = 111;  // assignment j (0 to 3): list 111 + 2j
constexpr int kChoice3Option = 119;
constexpr int kOneHot = 121, kOptionFlag = 122;
constexpr int kScaleList = 131, kOwnScale = 132, kScaleStyle = 134;
constexpr int kFirstChannelRow =
    141;  // row r (0 to 7): name 141 + 3r, number 142 + 3r, option 143 + 3r
constexpr int kSigned1Box = 170, kSigned1Edit = 171, kSigned2Box = 172, kSigned2Edit = 173;
constexpr int kInterval = 181, kFirstIntervalBox = 182;
constexpr int kTwoWay = 191;
}  // namespace general_ids

// Text of the scale list's ninth item, which stands for a scale of the user's own (edit 132).
constexpr int kTextOwnScale = 256;

// Item text of the interval list: "---" for 0, else "h h  m min" for n quarter hours.
std::string IntervalText(int quarterHours);

void OpenGeneralDialog(ControlsView& view);
CommandOutcome GeneralDialogCommand(ControlsView& view, int id, int code);

}  // namespace s470
