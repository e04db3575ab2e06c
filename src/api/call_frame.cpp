#include "api/call_frame.h"

#include <string>

#include "colours/colour_table.h"
#include "lang/fixed_message.h"
#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "slots/file_slots.h"

namespace s470 {

namespace {
uint16_t g_regularFile = 1;
}

uint16_t GetRegularFileFlag() { return g_regularFile; }

int16_t RunCallFrame(Window owner, uint32_t languageBrand, int16_t failure,
                     const std::function<int16_t()>& work) {
  OpenLanguage(LanguageOf(languageBrand), 2);
  if (Lang() == nullptr) {
    const std::string text = std::string("The language library \"") + LanguageDllName() +
                             "\" is missing or incomplete. The function cannot be carried out.";
    ShowFixedMessage(owner, text.c_str(), nullptr, kStopIcon);
    return failure;
  }
  struct LanguageScope {  // released however the work ends
    ~LanguageScope() { CloseLanguage(); }
  } language;
  SetBrand(BrandOf(languageBrand));
  const ColourScope colours;  // the dialogs' colours and brushes, saved however the work ends
  return work();
}

int16_t OpenSetup(const char16_t* path) {
  OpenLanguage(0xFFFF, 2);
  g_regularFile = 1;
  const size_t n = Length16(path);
  if (n >= 3 && path[n - 3] == u't' && path[n - 2] == u'm' && path[n - 1] == u'p')
    g_regularFile = 0;
  const int16_t result = OpenFileSlot(0, path, kSetupFileSize);
  CloseLanguage();
  return result;
}

}  // namespace s470
