// read-setup and write-setup: the gauge transfer of the DLL on a setup file, with the progress
// dialog's texts as lines.
#include <memory>

#include "lang/text16.h"
#include "serial/direct_port.h"
#include "slots/file_slots.h"
#include "tool.h"
#include "tool_platform.h"
#include "transfer/gauge_transfer.h"

namespace s470::tool {

namespace {

// The setup file in slot 0, closed (written back) when the command ends however it ends.
class SetupSlot {
 public:
  explicit SetupSlot(const std::string& path) : path_(path) {
    switch (OpenFileSlot(0, FromUtf8(path).c_str(), kSetupFileSize)) {
      case 0: open_ = true; return;
      case 1:
        throw Failure(kExitUsage,
                      "cannot open or create " + path + ": check the folder and its permissions");
      default:
        throw Failure(kExitUsage, "cannot read " + path + " whole: check the file and the disk");
    }
  }
  ~SetupSlot() {
    if (open_) CloseFileSlot(0);
  }
  // Writes the image back.
  void Close() {
    open_ = false;
    if (CloseFileSlot(0) != 0)
      throw Failure(kExitUsage, "cannot write " + path_ +
                                    " back whole: check the disk; the file may be damaged");
  }

 private:
  std::string path_;
  bool open_ = false;
};

struct DirectPortScope {
  ~DirectPortScope() { CloseDirectPort(); }
};

// An existing file must be a setup file: the slot would otherwise resize it and zero its bytes.
// false when there is no file at the path.
bool CheckSetupFile(const std::string& path) {
  if (!FileExists(path)) return false;
  std::FILE* f = OpenFile(path, "rb");
  if (f == nullptr)
    throw Failure(kExitUsage, "cannot read " + path + ": check that it is a file you may read");
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  std::fclose(f);
  if (size != kSetupFileSize)
    throw Failure(kExitUsage, path + " is no setup file: it holds " + std::to_string(size) +
                                  " bytes, a setup file " + std::to_string(kSetupFileSize));
  return true;
}

}  // namespace

int ReadSetupCommand(const Console& console, const std::string& portName, const std::string& file) {
  const int16_t port = PortNumber(portName);
  const bool existed = CheckSetupFile(file);
  CheckPortOpens(port, portName);
  int16_t result = 1;
  std::string message;
  {
    SetupSlot slot(file);
    const DirectPortScope portScope;
    ConsoleProgressView view(console, kGaugeBlocks);
    result = ReadSetupFromGauge(nullptr, port, view);
    message = view.message();
    // A failed read leaves the image as it was: writing it back changes nothing.
    slot.Close();
  }
  if (result != 0) {
    // A file made only for this read goes again.
    if (!existed) RemoveFile(file);
    throw Failure(kExitDevice, "read-setup on " + portName + ": " + message);
  }
  return kExitDone;
}

int WriteSetupCommand(const Console& console, const std::string& portName,
                      const std::string& file) {
  const int16_t port = PortNumber(portName);
  if (!CheckSetupFile(file))
    throw Failure(kExitUsage, "cannot read " + file + ": there is no such file");
  CheckPortOpens(port, portName);
  SetupSlot slot(file);
  const DirectPortScope portScope;
  // The channel defaults go into the file as well, as after the DLL's write and close.
  PrepareChannelRecords();
  ConsoleProgressView view(console, kGaugeBlocks);
  const int16_t result = WriteSetupToGauge(nullptr, port, view);
  slot.Close();
  if (result != 0) throw Failure(kExitDevice, "write-setup on " + portName + ": " + view.message());
  return kExitDone;
}

}  // namespace s470::tool
