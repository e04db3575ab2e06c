// Channel dialog 11: one channel record of the setup image (at CurrentRecordOffset()) shown as
// decimal numbers, checked against fixed ranges at OK and written back field by field as the
// checks pass.
#pragma once

#include "editor/controls_view.h"

namespace s470 {

// Control ids of dialog 11. Input k (1 to 8) owns factor edit 131 + k and the template controls
// 161 + k and 171 + k; 131, 161 and 171 head the columns.
namespace channel_ids {
constexpr int kOk = 1, kCancel = 2;
constexpr int kResolutionList = 101;
constexpr int kBaseEdit = 111;
constexpr int kFirstLimitBox = 121;  // limit n (0 to 3): box 121 + 2n, edit 122 + 2n
constexpr int kFactorHeading = 131;
constexpr int kModeList = 141;
constexpr int kModeOption = 160;
constexpr int kPair1Edit = 152, kPair2Box = 153, kPair2Edit = 154;
}  // namespace channel_ids

// The number an edit's text begins with (at most 100 characters read), "." as decimal point.
double ParseNumber(ControlsView& view, int id);

void OpenChannelDialog(ControlsView& view);
// OK that refuses an entry shows its message and is not handled (the dialog stays open, with
// the fields checked before it already written).
CommandOutcome ChannelDialogCommand(ControlsView& view, int id, int code);

// Message texts of the checks at OK, and the range texts that follow some of them.
constexpr int kTextBaseOutOfRange = 180, kTextLimitOutOfRange = 181, kTextPairOutOfRange = 182,
              kTextPairsTooClose = 183, kTextFactorOutOfRange = 184, kTextNoInput = 185;

}  // namespace s470
