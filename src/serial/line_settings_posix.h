// The termios a POSIX serial line gets for the system's line settings.
#pragma once

#include <termios.h>

#include "serial/serial_device.h"

namespace s470 {

// Over what the driver reported: raw, no flow control, the rate, frame and parity of `settings`.
void SetLineTermios(const LineSettings& settings, termios* tio);

}  // namespace s470
