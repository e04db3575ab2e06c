#include "lang/lang_api.h"

namespace s470 {

namespace {
LangApi* g_lang = nullptr;
}

LangApi* Lang() { return g_lang; }
void SetLang(LangApi* lang) { g_lang = lang; }

}  // namespace s470
