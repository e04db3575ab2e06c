// Setup dialog 10: the entry page of the setup editor over the setup image in slot 0. Module
// type, the eight channel switches, the four text fields; it opens channel dialog 11 and general
// settings dialog 12, and guards the image with copies so that Cancel puts back what was there.
#pragma once

#include <cstdint>

#include "editor/controls_view.h"

namespace s470 {

constexpr int kSetupDialog = 10;
constexpr int kChannelDialog = 11;
constexpr int kGeneralDialog = 12;

// Control ids of dialog 10. Channel k (1 to 8) owns check box 108 + 2k and button 109 + 2k.
namespace setup_ids {
constexpr int kOk = 1, kCancel = 2;
constexpr int kModuleLabel = 10, kModuleList = 11;
constexpr int kHeading = 100;
constexpr int kFirstChannelBox = 110, kLastChannelButton = 125;
constexpr int kGeneralButton = 126;
constexpr int kTextGroupFirst = 300, kTextGroupLast = 309;
// Edits of text fields 1 to 4 (each labelled by the static just before it).
constexpr int kTextEdit[4] = {302, 306, 308, 304};
}  // namespace setup_ids

// Notification codes of WM_COMMAND the dialogs look at.
constexpr int kButtonClicked = 0;     // BN_CLICKED
constexpr int kSelectionChanged = 1;  // CBN_SELCHANGE

// The channel whose record dialog 11 edits (0 to 7) and that record's setup address. Set by
// dialog 10 before it opens dialog 11; kept after the dialogs end.
int CurrentChannel();
uint32_t CurrentRecordOffset();
void SetCurrentChannel(int channel);

// WM_INITDIALOG: snapshot of the image, defaults for an empty setup, texts and controls.
void OpenSetupDialog(ControlsView& view);
// WM_COMMAND from control `id` with notification `code`.
CommandOutcome SetupDialogCommand(ControlsView& view, int id, int code);

}  // namespace s470
