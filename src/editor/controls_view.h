// A dialog's controls as the setup editor's logic sees them, addressed by control id. The Win32
// view maps each call to GetDlgItem / SendMessage and the Language DLL; native tests use an
// in-memory view.
#pragma once

#include <cstdint>
#include <string>

namespace s470 {

class ControlsView {
 public:
  virtual ~ControlsView() = default;

  virtual void SetTitle(const std::u16string& text) = 0;
  virtual void SetText(int id, const std::u16string& text) = 0;
  // The control's text read with Lang_GetWindowText and that capacity in characters.
  virtual std::u16string GetText(int id, int capacity) = 0;
  virtual void LimitText(int id, int characters) = 0;
  virtual void SetCheck(int id, bool checked) = 0;
  virtual bool IsChecked(int id) = 0;
  // Lists: items are appended and numbered from 0; selecting -1 or a number that is no item
  // leaves the list without a selection, which reads as -1.
  virtual void AddItem(int id, const std::u16string& text) = 0;
  virtual void Select(int id, int item) = 0;
  virtual int Selection(int id) = 0;
  virtual void Show(int id, bool shown) = 0;
  virtual void Enable(int id, bool enabled) = 0;

  // An exclamation OK box over the dialog, no caption.
  virtual void ShowMessage(const std::u16string& text) = 0;
  // Runs dialog `number` of the Language DLL modally over this one; its end value.
  virtual intptr_t OpenPage(int number) = 0;
};

// What a dialog does with a WM_COMMAND: whether it handled it (the procedure's result) and, when
// not 0, the value to end the dialog with.
struct CommandOutcome {
  bool handled = false;
  int endWith = 0;
};

}  // namespace s470
