// POSIX serial device: COM<n> is the path in the environment variable S470_COM<n>, else
// /dev/ttyS<n-1>. Mark and space parity use CMSPAR.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>

#include "serial/line_settings_posix.h"
#include "serial/serial_device.h"

namespace s470 {

namespace {

speed_t Speed(uint32_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

}  // namespace

void SetLineTermios(const LineSettings& s, termios* tio) {
  ::cfmakeraw(tio);
  tio->c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK);
  tio->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio->c_cflag |= CLOCAL | CREAD | (s.dataBits == 7 ? CS7 : CS8);
  if (s.stopBits == 2) tio->c_cflag |= CSTOPB;
  // The parity mode is also marked with INPCK, as Wine does, so that it stays visible on
  // pseudo-terminals, which clear PARENB; IGNPAR drops nothing of what arrives.
  switch (s.parity) {
    case Parity::kNone: break;
    case Parity::kEven: tio->c_cflag |= PARENB; break;
    case Parity::kOdd: tio->c_cflag |= PARENB | PARODD; break;
    case Parity::kMark: tio->c_cflag |= PARENB | PARODD | CMSPAR; break;
    case Parity::kSpace: tio->c_cflag |= PARENB | CMSPAR; break;
  }
  if (s.parity != Parity::kNone) tio->c_iflag |= INPCK | IGNPAR;
  // With 7 data bits the eighth bit of what arrives is dropped, as on a 7-bit line. A pty
  // keeps 8 data bits whatever is asked; this keeps the setting visible there, and in effect.
  if (s.dataBits == 7) tio->c_iflag |= ISTRIP;
  tio->c_cc[VMIN] = 0;
  tio->c_cc[VTIME] = 0;
  ::cfsetispeed(tio, Speed(s.baud));
  ::cfsetospeed(tio, Speed(s.baud));
}

namespace {

class PosixSerialDevice final : public SerialDevice {
 public:
  ~PosixSerialDevice() override { Close(); }

  bool Open(int port) override {
    Close();
    const std::string var = "S470_COM" + std::to_string(port);
    const char* configured = std::getenv(var.c_str());
    const std::string path =
        configured != nullptr ? configured : "/dev/ttyS" + std::to_string(port - 1);
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return false;
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {  // opened without sharing
      Close();
      return false;
    }
    return true;
  }

  bool Apply(const LineSettings& s) override {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0 || Speed(s.baud) == B0) return false;
    SetLineTermios(s, &tio);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0 && !TookAllButParityEnable(tio)) return false;
    SetDtr(s.dtr);
    SetRts(s.rts);
    return true;
  }

  bool SetQueues(uint32_t, uint32_t) override { return fd_ >= 0; }

  bool SetReadTimeouts(ReadTimeouts timeouts) override {
    timeouts_ = timeouts;
    return fd_ >= 0;
  }

  int Read(uint8_t* buffer, int count) override {
    if (fd_ < 0 || count <= 0) return 0;
    pollfd p{fd_, POLLIN, 0};
    const int wait = timeouts_ == ReadTimeouts::kWait300ms ? 300 : 0;
    int ready = 0;
    do {
      ready = ::poll(&p, 1, wait);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || (p.revents & POLLIN) == 0) {
      // A hung-up peer reports POLLHUP at once; keep a waiting read's pace as on a real line.
      if (ready > 0 && wait > 0) ::usleep(wait * 1000);
      return 0;
    }
    const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(count));
    return n > 0 ? static_cast<int>(n) : 0;
  }

  int Write(const uint8_t* buffer, int count) override {
    int done = 0;
    while (fd_ >= 0 && done < count) {
      const ssize_t n = ::write(fd_, buffer + done, static_cast<size_t>(count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<int>(n);
    }
    return done;
  }

  bool SetDtr(bool on) override { return Modem(TIOCM_DTR, on); }
  bool SetRts(bool on) override { return Modem(TIOCM_RTS, on); }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

 private:
  // A pseudo-terminal drops PARENB and keeps 8 data bits, and the C library reports that as EINVAL
  // when nothing else changed (the same parity applied twice); everything else is in place then.
  bool TookAllButParityEnable(const termios& wanted) {
    termios now{};
    return errno == EINVAL && ::tcgetattr(fd_, &now) == 0 &&
           (now.c_cflag & ~(PARENB | CSIZE)) == (wanted.c_cflag & ~(PARENB | CSIZE)) &&
           now.c_iflag == wanted.c_iflag && ::cfgetospeed(&now) == ::cfgetospeed(&wanted);
  }

  bool Modem(int line, bool on) {
    return fd_ >= 0 && ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
  }

  int fd_ = -1;
  ReadTimeouts timeouts_ = ReadTimeouts::kReturnAtOnce;
};

}  // namespace

std::unique_ptr<SerialDevice> NewPlatformSerialDevice() {
  return std::make_unique<PosixSerialDevice>();
}

void SleepMs(uint32_t ms) {
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

}  // namespace s470
