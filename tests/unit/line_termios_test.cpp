// The termios of each line the system opens, over a driver state with every flag set. A
// pseudo-terminal forces 8 data bits and drops the parity enable, so only this shows them. (Mark
// parity shows on the pseudo-terminal, in BusPortOnLine.)
#include <termios.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "serial/line_settings_posix.h"

namespace s470 {
namespace {

std::string Shown(const termios& t) {
  const tcflag_t size = t.c_cflag & CSIZE;
  std::string s = size == CS7 ? "7" : size == CS8 ? "8" : "?";
  const struct {
    tcflag_t flags, bit;
    const char* name;
  } bits[] = {{t.c_cflag, PARENB, " parenb"},
              {t.c_cflag, PARODD, " parodd"},
              {t.c_cflag, CMSPAR, " cmspar"},
              {t.c_cflag, CSTOPB, " cstopb"},
              {t.c_cflag, CRTSCTS, " crtscts"},
              {t.c_cflag, CLOCAL | CREAD, " local-read"},
              {t.c_iflag, INPCK, " inpck"},
              {t.c_iflag, ISTRIP, " istrip"},
              {t.c_iflag, IXON, " ixon"},
              {t.c_iflag, IXOFF, " ixoff"},
              {t.c_iflag, IXANY, " ixany"},
              {t.c_iflag, PARMRK, " parmrk"},
              {t.c_lflag, ICANON | ECHO, " canon/echo"}};
  for (const auto& b : bits)
    if ((b.flags & b.bit) == b.bit) s += b.name;
  return s + " " + std::to_string(::cfgetospeed(&t) == ::cfgetispeed(&t) ? ::cfgetospeed(&t) : 0) +
         " min " + std::to_string(t.c_cc[VMIN]) + " time " + std::to_string(t.c_cc[VTIME]);
}

TEST(LineTermios, EachLineOfTheSystemGetsItsFrameParityAndRate) {
  const struct {
    LineSettings settings;
    std::string termios;
  } cases[] = {
      {{DcbStyle::kDirect, 4800, 8, Parity::kNone, 2, true, true},
       "8 cstopb local-read " + std::to_string(B4800) + " min 0 time 0"},
      {{DcbStyle::kBus, 4800, 7, Parity::kEven, 2, true, true},
       "7 parenb cstopb local-read inpck istrip " + std::to_string(B4800) + " min 0 time 0"},
      {{DcbStyle::kBus, 115200, 8, Parity::kSpace, 1, true, true},
       "8 parenb cmspar local-read inpck " + std::to_string(B115200) + " min 0 time 0"},
      {{DcbStyle::kBus, 9600, 8, Parity::kOdd, 2, true, true},
       "8 parenb parodd cstopb local-read inpck " + std::to_string(B9600) + " min 0 time 0"},
  };
  for (const auto& c : cases) {
    termios t;
    std::memset(&t, 0xFF, sizeof t);
    SetLineTermios(c.settings, &t);
    EXPECT_EQ(Shown(t), c.termios);
  }
}

}  // namespace
}  // namespace s470
