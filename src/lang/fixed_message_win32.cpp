#include <windows.h>

#include "lang/fixed_message.h"

namespace s470 {

void ShowFixedMessage(Window owner, const char* text, const char* caption, unsigned style) {
  if (FixedMessageSink sink = GetFixedMessageSink()) return sink(text, caption, style);
  MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

std::vector<std::string> TakeFixedMessages() { return {}; }

}  // namespace s470
