// A progress view for native tests and benchmarks: keeps what the transfer would have shown,
// with the time of each event.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "transfer/progress_view.h"

namespace s470 {

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
