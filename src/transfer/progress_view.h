// The progress dialog of a setup transfer as the transfer sees it: made with a title, one status
// line, repainted, kept alive by dispatching waiting messages, and the owner of the failure
// message box. The Win32 view is progress dialog 20 of the Language DLL.
#pragma once

#include <string>

#include "lang/lang_api.h"

namespace s470 {

class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void Create(Window parent, const std::u16string& title) = 0;
  virtual void SetStatus(const std::u16string& text) = 0;
  virtual void Repaint() = 0;
  // Dispatches every message waiting in the thread's queue.
  virtual void PumpMessages() = 0;
  // An OK box over the dialog, no caption.
  virtual void ShowMessage(const std::u16string& text, unsigned style) = 0;
  virtual void Destroy() = 0;
};

}  // namespace s470
