// The device control block a Win32 serial line gets for the system's line settings.
#pragma once

#include <windows.h>

#include "serial/serial_device.h"

namespace s470 {

// Over what the driver reported: the fields the system sets, the others kept.
void SetLineDcb(const LineSettings& settings, DCB* dcb);

}  // namespace s470
