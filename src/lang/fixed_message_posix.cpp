#include <utility>

#include "lang/fixed_message.h"

namespace s470 {

namespace {
std::vector<std::string> g_messages;
}

void ShowFixedMessage(Window /*owner*/, const char* text, const char* caption, unsigned style) {
  if (FixedMessageSink sink = GetFixedMessageSink()) return sink(text, caption, style);
  g_messages.push_back(caption != nullptr ? std::string(caption) + "|" + text : std::string(text));
}

std::vector<std::string> TakeFixedMessages() { return std::exchange(g_messages, {}); }

}  // namespace s470
