// Off Windows there is no Language DLL to load: a test or tool installs its own LangApi with
// SetLang(), and the frame then uses that.
#include "lang/lang_api.h"

namespace s470 {

const char* LanguageDllName() { return "ORV_LangWinNT.DLL"; }

int OpenLanguage(int language, int mode) {
  LangApi* lang = Lang();
  if (lang == nullptr) return 1;
  if ((language & 0xFFFF) == 0xFFFF) return 0;
  return lang->LoadLanguage(language, mode);
}

void CloseLanguage() {}

}  // namespace s470
