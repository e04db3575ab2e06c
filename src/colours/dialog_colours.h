// The dialog colour rule, shared by every dialog of the system (Windows only).
//
// Every dialog procedure passes its control-colour messages here and returns what comes back:
//
//   case WM_CTLCOLORBTN: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
//   case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORDLG: case WM_CTLCOLORSTATIC:
//     return AnswerColourMessage(message, wParam);
//
// or simply, first thing in the procedure:
//
//   if (const INT_PTR brush = AnswerColourMessage(message, wParam)) return brush;
//
// Buttons take colour role 6, edit controls and list boxes role 5, scroll bars role 7, the dialog
// and its static controls role 1 (roles: colours/colour_table.h). The control's device context
// (wParam) gets the role's colour as background (SetBkColor) and the role's brush is returned,
// which is what the dialog procedure must return for the message. WM_CTLCOLORMSGBOX and every
// other message give 0 and change nothing: the dialog handles them as before.
//
// The brushes exist only inside a window export (between LoadColours and SaveColours); outside
// one, or for a role without a brush, the result is 0 (Windows then paints its own colours).
#pragma once

#include <windows.h>

namespace s470 {

// Pass as textColour to leave the text colour alone (the default).
constexpr COLORREF kKeepTextColour = CLR_INVALID;

// The brush for a control-colour message, as INT_PTR, or 0 when the message is not one the rule
// colours. A dialog with a text colour of its own (the progress dialog's red text, the firmware
// dialogs' role-3 text) passes it as textColour; it is set (SetTextColor) on the same device
// context, only for the messages the rule colours.
INT_PTR AnswerColourMessage(UINT message, WPARAM dc, COLORREF textColour = kKeepTextColour);

}  // namespace s470
