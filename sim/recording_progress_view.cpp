#include "recording_progress_view.h"

namespace s470 {

void RecordingProgressView::Add(Kind kind, const std::u16string& text, unsigned style) {
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  events.push_back({kind, text, style, ms});
}

void RecordingProgressView::Create(Window p, const std::u16string& title) {
  parent = p;
  Add(Kind::kCreate, title);
}
void RecordingProgressView::SetStatus(const std::u16string& text) {
  Add(Kind::kStatus, text);
}
void RecordingProgressView::Repaint() {
  Add(Kind::kRepaint);
}
void RecordingProgressView::PumpMessages() {
  Add(Kind::kPump);
  if (onPump) onPump();
}
void RecordingProgressView::ShowMessage(const std::u16string& text, unsigned style) {
  Add(Kind::kMessage, text, style);
}
void RecordingProgressView::Destroy() {
  Add(Kind::kDestroy);
}

std::vector<std::u16string> RecordingProgressView::Texts(Kind kind) const {
  std::vector<std::u16string> out;
  for (const Event& e : events)
    if (e.kind == kind) out.push_back(e.text);
  return out;
}

int RecordingProgressView::Count(Kind kind) const {
  int n = 0;
  for (const Event& e : events) n += e.kind == kind ? 1 : 0;
  return n;
}

const RecordingProgressView::Event* RecordingProgressView::Last(Kind kind) const {
  for (auto it = events.rbegin(); it != events.rend(); ++it)
    if (it->kind == kind) return &*it;
  return nullptr;
}

}  // namespace s470
