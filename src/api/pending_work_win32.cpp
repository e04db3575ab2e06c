// Window exports whose work is not in this version yet: they say so and fail.
#include "api/window_work.h"
#include "lang/fixed_message.h"

namespace s470 {

namespace {
void NotAvailable(Window parent) {
  ShowFixedMessage(parent, "This function is not available in this version of s470_pc.dll.",
                   nullptr, kStopIcon);
}
}  // namespace

void QlbProgWork(Window parent, int16_t /*port*/) { NotAvailable(parent); }

}  // namespace s470
