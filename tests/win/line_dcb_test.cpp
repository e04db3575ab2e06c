// The device control block of each line the system opens, over a driver state with every field
// set: what is set must be exact, what belongs to the driver must be kept.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "serial/line_settings_win32.h"

namespace s470 {
namespace {

// The fields that differ between the lines first, then the ones every line sets alike, then the
// driver's own.
std::string Shown(const DCB& d) {
  char text[300];
  std::snprintf(text, sizeof text,
                "%lu %u/%u/%u dtr %u rts %u null %u errchar %u | flow %u%u%u%u%u%u%u lim %u %u "
                "xon %02x xoff %02x evt %02x | binary %u abort %u eof %02x error %02x",
                static_cast<unsigned long>(d.BaudRate), d.ByteSize, d.Parity, d.StopBits,
                d.fDtrControl, d.fRtsControl, d.fNull, d.fErrorChar, d.fParity, d.fOutxCtsFlow,
                d.fOutxDsrFlow, d.fDsrSensitivity, d.fTXContinueOnXoff, d.fOutX, d.fInX, d.XonLim,
                d.XoffLim, d.XonChar & 0xFF, d.XoffChar & 0xFF, d.EvtChar & 0xFF, d.fBinary,
                d.fAbortOnError, d.EofChar & 0xFF, d.ErrorChar & 0xFF);
  return text;
}

TEST(LineDcb, EachLineOfTheSystemIsSetExactlyAndKeepsTheDriversFields) {
  const std::string alike =
      " | flow 0000000 lim 0 0 xon 11 xoff 13 evt 00 | binary 1 abort 1 eof ff error ff";
  const struct {
    LineSettings settings;
    const char* dcb;
  } cases[] = {
      // The gauge on the direct port: 4800 8N2, null stripping off.
      {{DcbStyle::kDirect, 4800, 8, Parity::kNone, 2, true, true},
       "4800 8/0/2 dtr 1 rts 1 null 0 errchar 1"},
      // The module's first identification: 4800 7E2; the bus port clears the error character.
      {{DcbStyle::kBus, 4800, 7, Parity::kEven, 2, true, true},
       "4800 7/2/2 dtr 1 rts 1 null 1 errchar 0"},
      {{DcbStyle::kBus, 115200, 8, Parity::kMark, 2, false, false},
       "115200 8/3/2 dtr 0 rts 0 null 1 errchar 0"},
      {{DcbStyle::kBus, 115200, 8, Parity::kSpace, 1, true, false},
       "115200 8/4/0 dtr 1 rts 0 null 1 errchar 0"},
      {{DcbStyle::kBus, 9600, 8, Parity::kOdd, 2, true, true},
       "9600 8/1/2 dtr 1 rts 1 null 1 errchar 0"},
  };
  for (const auto& c : cases) {
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    SetLineDcb(c.settings, &dcb);
    EXPECT_EQ(Shown(dcb), c.dcb + alike);
  }
}

}  // namespace
}  // namespace s470
