// The setup editor's dialog procedures (dialogs 10, 11 and 12 of the Language DLL) and the work
// of RS470_Setup. The procedures only translate messages: the logic works on a ControlsView.
#include <windows.h>

#include <vector>

#include "api/window_work.h"
#include "colours/dialog_colours.h"
#include "editor/channel_dialog.h"
#include "editor/general_dialog.h"
#include "editor/setup_dialog.h"
#include "lang/lang_api.h"
#include "transfer/gauge_transfer.h"

namespace s470 {

INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ChannelDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK GeneralDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

class DialogControls final : public ControlsView {
 public:
  explicit DialogControls(HWND dialog) : dialog_(dialog) {}

  void SetTitle(const std::u16string& text) override { Lang()->SetText(dialog_, text.c_str()); }
  void SetText(int id, const std::u16string& text) override {
    Lang()->SetText(Item(id), text.c_str());
  }
  std::u16string GetText(int id, int capacity) override {
    std::vector<char16_t> buffer(static_cast<size_t>(capacity) + 1, 0);
    Lang()->GetTextOf(Item(id), buffer.data(), capacity);
    return buffer.data();
  }
  void LimitText(int id, int characters) override {
    SendMessageA(Item(id), EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
  }
  void SetCheck(int id, bool checked) override {
    SendMessageA(Item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  bool IsChecked(int id) override {
    return SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void AddItem(int id, const std::u16string& text) override {
    Lang()->ComboBoxAdd(Item(id), text.c_str());
  }
  void Select(int id, int item) override {
    SendMessageA(Item(id), CB_SETCURSEL, static_cast<WPARAM>(item), 0);
  }
  int Selection(int id) override {
    return static_cast<int>(SendMessageA(Item(id), CB_GETCURSEL, 0, 0));
  }
  void Show(int id, bool shown) override { ShowWindow(Item(id), shown ? SW_SHOW : SW_HIDE); }
  void Enable(int id, bool enabled) override { EnableWindow(Item(id), enabled ? TRUE : FALSE); }
  void ShowMessage(const std::u16string& text) override {
    Lang()->ShowMessageBox(dialog_, text.c_str(), nullptr, kExclamationIcon);
  }
  intptr_t OpenPage(int number) override {
    const DLGPROC proc = number == kChannelDialog ? ChannelDialogProc : GeneralDialogProc;
    return Lang()->OpenDialog(dialog_, number, reinterpret_cast<void*>(proc));
  }

 private:
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  HWND dialog_;
};

template <class Open, class Command>
INT_PTR RunDialogMessage(HWND window, UINT message, WPARAM wParam, Open open, Command command) {
  if (const INT_PTR brush = AnswerColourMessage(message, wParam)) return brush;
  DialogControls view(window);
  if (message == WM_INITDIALOG) {
    open(view);
    return TRUE;
  }
  if (message == WM_COMMAND) {
    const CommandOutcome outcome = command(view, LOWORD(wParam), HIWORD(wParam));
    if (outcome.endWith != 0) EndDialog(window, outcome.endWith);
    return outcome.handled ? TRUE : FALSE;
  }
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  return RunDialogMessage(window, message, wParam, OpenSetupDialog, SetupDialogCommand);
}

INT_PTR CALLBACK ChannelDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  return RunDialogMessage(window, message, wParam, OpenChannelDialog, ChannelDialogCommand);
}

INT_PTR CALLBACK GeneralDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  return RunDialogMessage(window, message, wParam, OpenGeneralDialog, GeneralDialogCommand);
}

int16_t SetupWork(Window parent) {
  if (!CheckSetupOpen(parent)) return 2;  // nothing to edit, nothing changed
  return static_cast<int16_t>(
      Lang()->OpenDialog(parent, kSetupDialog, reinterpret_cast<void*>(&SetupDialogProc)));
}

}  // namespace s470
