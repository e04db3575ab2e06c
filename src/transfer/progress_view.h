// The progress dialog of a setup transfer as the transfer sees it: made with a title, one status
// line, repainted, kept alive by dispatching waiting messages, and the owner of the failure
// message box. The Win32 view is progress dialog 20 of the Language DLL; RecordingProgressView
// keeps what would have been shown.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

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

class RecordingProgressView final : public ProgressView {
 public:
  enum class Kind { kCreate, kStatus, kRepaint, kPump, kMessage, kDestroy };
  struct Event {
    Kind kind;
    std::u16string text;  // title, status or message
    unsigned style;       // message boxes
    double ms;            // since the view was made
  };

  void Create(Window parent, const std::u16string& title) override;
  void SetStatus(const std::u16string& text) override;
  void Repaint() override;
  void PumpMessages() override;
  void ShowMessage(const std::u16string& text, unsigned style) override;
  void Destroy() override;

  std::vector<Event> events;
  Window parent = nullptr;
  std::function<void()> onPump;  // runs at every dispatch, as a host's window would

  std::vector<std::u16string> Texts(Kind kind) const;
  int Count(Kind kind) const;
  const Event* Last(Kind kind) const;

 private:
  void Add(Kind kind, const std::u16string& text = u"", unsigned style = 0);
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace s470
