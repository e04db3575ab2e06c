#include "lang/fixed_message.h"
#include "lang/lang_api.h"

namespace s470 {

namespace {
LangApi* g_lang = nullptr;
FixedMessageSink g_fixedMessageSink = nullptr;
}  // namespace

LangApi* Lang() { return g_lang; }
void SetLang(LangApi* lang) { g_lang = lang; }

void SetFixedMessageSink(FixedMessageSink sink) { g_fixedMessageSink = sink; }
FixedMessageSink GetFixedMessageSink() { return g_fixedMessageSink; }

}  // namespace s470
