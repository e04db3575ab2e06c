// The Language DLL binding as a PE under wine64: after a close nothing points into the freed DLL.
#include <gtest/gtest.h>

#include "lang/lang_api.h"

namespace s470 {
namespace {

TEST(LangBinding, CloseLeavesNoBindingIntoTheFreedDll) {
  ASSERT_EQ(OpenLanguage(2, 2), 0);
  ASSERT_NE(Lang(), nullptr);
  CloseLanguage();
  EXPECT_EQ(Lang(), nullptr);
}

}  // namespace
}  // namespace s470
