#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "analysis/report_file.h"

namespace s470 {

namespace {
std::vector<std::string> g_notepadCalls;
}

bool WriteReportFile(const char* name, const std::string& bytes) {
  const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ended = ::ftruncate(fd, static_cast<off_t>(done)) == 0;
  ::close(fd);
  return ended && done == bytes.size();
}

void StartNotepad(const char* commandLine) { g_notepadCalls.emplace_back(commandLine); }

std::vector<std::string> TakeNotepadCalls() { return std::exchange(g_notepadCalls, {}); }

}  // namespace s470
