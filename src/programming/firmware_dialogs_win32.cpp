// The access-code dialog (31) and the firmware dialog (40) of the Language DLL, and the work of
// RS470_Firmware.
#include <windows.h>

#include <string>

#include "api/window_work.h"
#include "colours/colour_table.h"
#include "colours/dialog_colours.h"
#include "lang/fixed_message.h"
#include "lang/lang_api.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "programming/firmware_dialogs.h"
#include "programming/programming_run.h"

namespace s470 {

namespace {

int16_t g_firmwarePort = 0;  // the COM number RS470_Firmware was called with

constexpr COLORREF kRed = RGB(255, 0, 0);

COLORREF RoleTextColour() {
  Colour colour = 0;
  Brush brush = 0;
  GetColour(3, &colour, &brush);
  return colour;
}

void SetField(HWND dialog, int id, const std::string& text) {
  if (Lang() != nullptr) Lang()->SetText(GetDlgItem(dialog, id), Widen(text.c_str()).c_str());
}

// The field's text as 8-bit text (characters above 0xFF become '?'), at most 100 characters.
std::string FieldText(HWND dialog, int id) {
  char16_t wide[101] = {};
  if (Lang() != nullptr) Lang()->GetTextOf(GetDlgItem(dialog, id), wide, 101);
  std::string text;
  for (size_t i = 0; i < 100 && wide[i] != 0; ++i)
    text.push_back(wide[i] <= 0xFF ? static_cast<char>(wide[i]) : '?');
  return text;
}

// The fields of dialog 40 as the programming run sees them.
class FirmwareDialogView final : public ProgrammingView {
 public:
  explicit FirmwareDialogView(HWND dialog) : dialog_(dialog) {}
  void ShowStatus(const std::string& text) override { SetField(dialog_, kStatusField, text); }
  void ShowPortFailure(const std::string& text) override {
    SetField(dialog_, kPortFailureField, text);
  }
  void ShowIdentification(const std::string& text) override {
    SetField(dialog_, kIdentificationField, text);
  }
  std::string ReadIdentification() override { return FieldText(dialog_, kIdentificationField); }
  void Beep() override { ::Beep(1500, 150); }
  void PumpMessages() override {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  void Wait(uint32_t ms) override { Sleep(ms); }

 private:
  HWND dialog_;
};

// The dialog is disabled for the run and enabled again however it ends.
struct DisabledDuringRun {
  HWND dialog;
  explicit DisabledDuringRun(HWND d) : dialog(d) { EnableWindow(dialog, FALSE); }
  ~DisabledDuringRun() { EnableWindow(dialog, TRUE); }
};

}  // namespace

INT_PTR CALLBACK AccessCodeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message >= WM_CTLCOLOREDIT && message <= WM_CTLCOLORSTATIC)
    return AnswerColourMessage(message, wParam, RoleTextColour());
  if (message == WM_INITDIALOG) {
    SetWindowTextA(GetDlgItem(dialog, kCodeField), SharedCodeText().c_str());
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  if (wParam == IDOK) {
    const bool match = AccessCodeMatches(FieldText(dialog, kCodeField));
    if (!match) ShowFixedMessage(dialog, kWrongCodeMessage, nullptr, MB_ICONEXCLAMATION);
    EndDialog(dialog, match ? 0 : 1);
    return TRUE;
  }
  if (wParam == IDCANCEL) {
    EndDialog(dialog, 1);
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK FirmwareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_CTLCOLOREDIT && message <= WM_CTLCOLORSTATIC) {
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    const bool red = id == kIdentificationField || id == kStatusField;
    return AnswerColourMessage(message, wParam, red ? kRed : RoleTextColour());
  }
  if (message == WM_INITDIALOG) {
    const HWND combo = GetDlgItem(dialog, kModuleCombo);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : ModuleChoiceEntries(GetBrand()))
      if (Lang() != nullptr) Lang()->ComboBoxAdd(combo, Widen(entry.c_str()).c_str());
    SetField(dialog, kIdentificationField, " ");
    SetField(dialog, kStatusField, " ");
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case kStartButton: {
      const DisabledDuringRun disabled(dialog);
      const LRESULT choice = SendDlgItemMessageA(dialog, kModuleCombo, CB_GETCURSEL, 0, 0);
      FirmwareDialogView view(dialog);
      RunProgramming({g_firmwarePort, choice == CB_ERR ? kNoModuleChoice : static_cast<int>(choice),
                      GetBrand()},
                     view);
      return TRUE;
    }
    case kCloseButton: EndDialog(dialog, 2); return TRUE;
    default: return FALSE;
  }
}

void FirmwareWork(Window parent, int16_t port) {
  g_firmwarePort = port;
  if (Lang() == nullptr) return;
  if (Lang()->OpenDialog(parent, kAccessCodeDialog,
                         reinterpret_cast<void*>(&AccessCodeDialogProc)) != 0)
    return;
  Lang()->OpenDialog(parent, kFirmwareDialog, reinterpret_cast<void*>(&FirmwareDialogProc));
}

}  // namespace s470
