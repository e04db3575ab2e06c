// Message boxes with the system's fixed 8-bit texts (MessageBoxA on Windows), for the few
// messages that do not come from the Language DLL.
#pragma once

#include <string>
#include <vector>

#include "lang/lang_api.h"

namespace s470 {

void ShowFixedMessage(Window owner, const char* text, const char* caption, unsigned style);

// A program without windows (the command-line tool) takes the messages itself; null: shown (on
// Windows) or collected (elsewhere) as usual.
using FixedMessageSink = void (*)(const char* text, const char* caption, unsigned style);
void SetFixedMessageSink(FixedMessageSink sink);
FixedMessageSink GetFixedMessageSink();

// Off Windows the messages are collected here instead of shown.
std::vector<std::string> TakeFixedMessages();

}  // namespace s470
