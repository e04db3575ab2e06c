// The progress dialog of the setup transfer (dialog 20 of the Language DLL, status text in
// control 100) and the work of RS470_ReadFile / RS470_WriteFile.
#include <windows.h>

#include "api/window_work.h"
#include "colours/dialog_colours.h"
#include "lang/lang_api.h"
#include "serial/direct_port.h"
#include "transfer/gauge_transfer.h"
#include "transfer/progress_view.h"

namespace s470 {

constexpr int kProgressDialog = 20;
constexpr int kStatusControl = 100;
constexpr COLORREF kProgressTextColour = 0x0000FF;  // red

INT_PTR CALLBACK ProgressDialogProc(HWND /*window*/, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_INITDIALOG) return TRUE;
  return AnswerColourMessage(message, wParam, kProgressTextColour);
}

namespace {

class DialogProgressView final : public ProgressView {
 public:
  ~DialogProgressView() override { Destroy(); }

  void Create(Window parent, const std::u16string& title) override {
    dialog_ = static_cast<HWND>(
        Lang()->CreateModeless(parent, kProgressDialog, reinterpret_cast<void*>(&ProgressDialogProc)));
    if (dialog_ != nullptr) Lang()->SetText(dialog_, title.c_str());
  }
  void SetStatus(const std::u16string& text) override {
    if (dialog_ != nullptr) Lang()->SetText(GetDlgItem(dialog_, kStatusControl), text.c_str());
  }
  void Repaint() override {
    if (dialog_ != nullptr) UpdateWindow(dialog_);
  }
  void PumpMessages() override {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  void ShowMessage(const std::u16string& text, unsigned style) override {
    Lang()->ShowMessageBox(dialog_, text.c_str(), nullptr, style);
  }
  void Destroy() override {
    if (dialog_ != nullptr) DestroyWindow(dialog_);
    dialog_ = nullptr;
  }

 private:
  HWND dialog_ = nullptr;
};

}  // namespace

// The port is opened unshared: it must not stay open if the work ends by an exception.
struct DirectPortScope {
  ~DirectPortScope() { CloseDirectPort(); }
};

int16_t ReadFileWork(Window parent, int16_t port) {
  if (!CheckSetupOpen(parent)) return 1;
  const DirectPortScope portScope;
  DialogProgressView view;
  return ReadSetupFromGauge(parent, port, view);
}

int16_t WriteFileWork(Window parent, int16_t port) {
  if (!CheckSetupOpen(parent)) return 1;
  const DirectPortScope portScope;
  PrepareChannelRecords();
  DialogProgressView view;
  return WriteSetupToGauge(parent, port, view);
}

}  // namespace s470
