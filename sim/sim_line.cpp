#include "sim_line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace s470::sim {

namespace {

uint32_t Baud(speed_t s) {
  switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

void MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
}

}  // namespace

std::string LineState::ToString() const {
  static const char kParity[] = {'N', 'E', 'O', 'S', 'M'};
  return std::to_string(baud) + " " + kParity[static_cast<int>(parity)] + " " +
         (twoStopBits ? "2" : "1");
}

SimLine::SimLine(const std::string& linkPath) : start_(std::chrono::steady_clock::now()) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("no pseudo-terminal");
  slavePath_ = ptsname(master_);
  MakeRaw(master_);
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ >= 0) MakeRaw(slave_);
  paceUntil_ = start_;
  if (!linkPath.empty()) {
    unlink(linkPath.c_str());
    if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0)
      throw std::runtime_error("cannot link " + linkPath);
    link_ = linkPath;
  }
}

SimLine::~SimLine() {
  if (!link_.empty()) unlink(link_.c_str());
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

LineState SimLine::Settings() const {
  LineState s;
  termios tio{};
  if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) return s;
  s.baud = Baud(cfgetospeed(&tio));
  s.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
  // A pty clears PARENB; the parity mode stays readable through INPCK, PARODD and CMSPAR.
  if ((tio.c_iflag & INPCK) != 0 || (tio.c_cflag & PARENB) != 0) {
    const bool odd = (tio.c_cflag & PARODD) != 0, stick = (tio.c_cflag & CMSPAR) != 0;
    s.parity = stick ? (odd ? SimParity::kMark : SimParity::kSpace)
                     : (odd ? SimParity::kOdd : SimParity::kEven);
  }
  return s;
}

int SimLine::ReadByte(int timeoutMs) {
  if (master_ < 0) return -1;
  pollfd p{master_, POLLIN, 0};
  int ready = 0;
  do {
    ready = poll(&p, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0 || (p.revents & POLLIN) == 0) {
    // With nobody on the slave side (between the system's opens) poll reports POLLHUP at once.
    if (ready > 0 && timeoutMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return -1;
  }
  uint8_t b = 0;
  if (read(master_, &b, 1) != 1) return -1;
  Record('>', b);
  return b;
}

void SimLine::Write(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count && master_ >= 0; ++i) {
    if (pacing_) {
      const uint32_t baud = Settings().baud != 0 ? Settings().baud : 4800;
      const auto byteTime = std::chrono::nanoseconds(11'000'000'000LL / baud);
      const auto now = std::chrono::steady_clock::now();
      if (paceUntil_ < now) paceUntil_ = now;
      paceUntil_ += byteTime;
      std::this_thread::sleep_until(paceUntil_);
    }
    ssize_t n = 0;
    do {
      n = write(master_, bytes + i, 1);
    } while (n < 0 && errno == EINTR);
    if (n == 1) Record('<', bytes[i]);
  }
}

void SimLine::DiscardInput() {
  while (ReadByte(0) >= 0) {
  }
}

void SimLine::HangUp() {
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void SimLine::Record(char direction, uint8_t byte) {
  const LineState line = Settings();
  std::lock_guard<std::mutex> lock(logMutex_);
  log_.push_back({NowMs(), direction, byte, line});
}

std::vector<LogEntry> SimLine::Log() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return log_;
}

std::vector<uint8_t> SimLine::Bytes(char direction) const {
  std::lock_guard<std::mutex> lock(logMutex_);
  std::vector<uint8_t> out;
  for (const auto& e : log_)
    if (e.direction == direction) out.push_back(e.byte);
  return out;
}

void SimLine::ClearLog() {
  std::lock_guard<std::mutex> lock(logMutex_);
  log_.clear();
}

double SimLine::NowMs() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
      .count();
}

void ShowLogUntilStopped(const SimLine& line, bool show, volatile std::sig_atomic_t& stop) {
  size_t shown = 0;
  while (stop == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!show) continue;
    const std::vector<LogEntry> entries = line.Log();
    for (; shown < entries.size(); ++shown) {
      const LogEntry& e = entries[shown];
      std::printf("%10.3f %c %02X  %s\n", e.ms, e.direction, e.byte, e.line.ToString().c_str());
    }
    std::fflush(stdout);
  }
}

}  // namespace s470::sim
