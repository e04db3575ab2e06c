// The work of the six window exports, each run inside the call frame. Each subsystem defines
// its own.
#pragma once

#include <cstdint>

#include "lang/lang_api.h"

namespace s470 {

int16_t ReadFileWork(Window parent, int16_t port);   // 0 read; 1 failed
int16_t WriteFileWork(Window parent, int16_t port);  // 0 written; 1 failed
int16_t SetupWork(Window parent);                    // the setup dialog's end value
void AnalysisWork(Window parent, int16_t port);
void QlbProgWork(Window parent, int16_t port);
void FirmwareWork(Window parent, int16_t port);

}  // namespace s470
