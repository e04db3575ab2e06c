#include "lang/text_lookup.h"

#include "lang/lang_api.h"

namespace s470 {

namespace {
uint16_t g_brand = 0;
}

void SetBrand(uint16_t brand) { g_brand = brand; }
uint16_t GetBrand() { return g_brand; }

const char16_t* GetText(int32_t number) {
  static const char16_t kEmpty[1] = {0};
  LangApi* lang = Lang();
  const char16_t* text = lang != nullptr ? lang->GetStr(number) : nullptr;
  return text != nullptr ? text : kEmpty;
}

}  // namespace s470
