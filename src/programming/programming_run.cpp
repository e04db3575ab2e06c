#include "programming/programming_run.h"

#include <algorithm>

#include "lang/text16.h"
#include "programming/bootloader.h"
#include "programming/firmware_file.h"
#include "serial/bus_port.h"
#include "slots/file_slots.h"

namespace s470 {

namespace {

// Closes what a run may have opened, however it ends.
struct RunScope {
  int16_t port;
  ~RunScope() {
    CloseBusPort(port);
    CloseFileSlot(kFirmwareSlot);
  }
};

// Loads a firmware file into the flash image; the failure text, or empty.
std::string LoadImage(const std::string& name, const char* notLoaded, const char* empty) {
  const FirmwareLoad load = LoadCheckedFirmwareImage(Widen(name.c_str()).c_str());
  if (load == FirmwareLoad::kLoaded) return {};
  return load == FirmwareLoad::kEmpty ? empty : notLoaded;
}

}  // namespace

std::string FirmwareFileName(int processorType, int moduleChoice, uint16_t brand) {
  const bool v2 = processorType == kProcessorType11;
  if (!v2 && processorType != kProcessorType12) return {};
  switch (moduleChoice) {
    case 0: return v2 ? "QLBmc1v2.bin" : "QLB-mc1.bin";
    case 1:
      if (brand == 4) return v2 ? "R470v2.bin" : "R470.bin";
      return v2 ? "S470v2.bin" : "S470.bin";
    case 2: return v2 ? "QLBmc1v2.bin" : "RS470_xx.bin";
    default: return {};
  }
}

std::string Part1FileName(const std::string& identification) {
  const std::string tail =
      identification.size() > 3 ? identification.substr(identification.size() - 3) : identification;
  // A decimal number with a fraction, in hundredths: "2.9" is 290.
  size_t i = tail.find_first_not_of(' ');
  int hundredths = 0, digits = 0, scale = 100;
  for (; i < tail.size() && tail[i] >= '0' && tail[i] <= '9'; ++i, ++digits)
    hundredths = hundredths * 10 + (tail[i] - '0') * 100;
  if (i < tail.size() && tail[i] == '.')
    for (++i; i < tail.size() && tail[i] >= '0' && tail[i] <= '9' && scale > 1; ++i, ++digits) {
      scale /= 10;
      hundredths += (tail[i] - '0') * scale;
    }
  if (digits == 0 || hundredths <= 90) return {};
  return hundredths <= 290 ? "mc1_fw_u.bin" : "mc1fwuv2.bin";
}

std::string IdentificationText(bool hasSerial, uint32_t serial) {
  if (!hasSerial) return " --------";
  const std::string digits = std::to_string(serial);
  return " " + (digits.size() < 8 ? std::string(8 - digits.size(), '0') : std::string()) + digits;
}

bool SerialFromField(const std::string& text, uint32_t* serial) {
  size_t i = text.find_first_not_of(' ');
  uint64_t value = 0;
  const size_t first = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(text[i] - '0'), UINT32_MAX);
  if (first == std::string::npos || i == first) return false;
  *serial = static_cast<uint32_t>(value);
  return true;
}

ProgrammingResult RunProgramming(const ProgrammingRequest& request, ProgrammingView& view) {
  const RunScope scope{request.port};
  const auto fail = [&view](const StepOutcome& outcome) {
    if (outcome.portField)
      view.ShowPortFailure(outcome.failure);
    else
      view.ShowStatus(outcome.failure);
    view.Beep();
    return ProgrammingResult::kFailed;
  };
  const auto failWith = [&fail](const std::string& text) { return fail(StepOutcome{text}); };

  view.ShowIdentification(" ");
  view.ShowStatus(" ");
  const int choice = request.moduleChoice;
  // Without a module type there is no firmware file to choose: refused before the port is used.
  if (choice < 0 || choice > 2) return failWith(" Select the module type first");

  BootLink link{request.port, 0, view};
  StepOutcome step;
  if (choice == 0 || choice == 2) {
    std::string identification;
    if (!(step = ReadFirstIdentification(link, &identification)).ok()) return fail(step);
    const std::string part1 = Part1FileName(identification);
    if (part1.empty())
      return failWith(" Received identification is not plausible :   " + identification);
    const std::string loadFailure =
        LoadImage(part1, " The file with QLB-mc1 software (part 1) could not be loaded",
                  " The file with QLB-mc1 software (part 1) has a size of 0 bytes");
    CloseFileSlot(kFirmwareSlot);  // the image holds part 1; the file goes back unchanged
    if (!loadFailure.empty()) return failWith(loadFailure);
    std::string seven;
    if (!(step = ReadSecondIdentification(link, &seven)).ok()) return fail(step);
    if (choice == 0 && seven == "R/S470-")
      return failWith(" QLB-mc1 software cannot be loaded into R/S470-xx modules");
    if (!(step = UploadPart1(link)).ok()) return fail(step);
    link.sendOnly = 1;
  } else {
    if (!(step = EnterBootloaderDirect(link)).ok()) return fail(step);
    link.sendOnly = 0;
  }

  bool hasSerial = false;
  uint32_t serial = 0;
  if (!(step = DetectModule(link, &hasSerial, &serial)).ok()) return fail(step);
  view.ShowIdentification(IdentificationText(hasSerial, serial));

  int processorType = 0;
  if (!(step = ReadProcessorType(link, &processorType)).ok()) return fail(step);
  const std::string loadFailure = LoadImage(FirmwareFileName(processorType, choice, request.brand),
                                            " The file with the programme could not be loaded",
                                            " The file has a size of 0 bytes");
  if (!loadFailure.empty()) return failWith(loadFailure);

  // The serial number goes into the image as the field shows it.
  uint32_t kept = 0;
  if (SerialFromField(view.ReadIdentification().substr(0, 100), &kept)) {
    FlashImageEntries& image = FlashImage();
    for (int i = 0; i < 4; ++i)
      image[kSerialAddresses[i]] = static_cast<uint8_t>(kept >> (24 - 8 * i));
  }
  CloseFileSlot(kFirmwareSlot);

  if (!(step = EraseFlash(link)).ok()) return fail(step);
  if (!(step = WriteFlash(link)).ok()) return fail(step);
  if (!(step = VerifyFlash(link)).ok()) return fail(step);
  if (CurrentFlashGeometry().startSector <= 3 && !(step = SetSecurityBits(link)).ok())
    return fail(step);

  if (choice == 1) {
    // The first cell that fails ends the cells; its text stands until the reset replaces it.
    const FlashImageEntries& image = FlashImage();
    for (uint32_t cell = kUserCellsFirst; cell <= kUserCellsLast; ++cell) {
      if (cell >= kUserCellsGapFirst && cell <= kUserCellsGapLast) continue;
      if (ProgramUserCell(link, static_cast<uint16_t>(cell), static_cast<uint8_t>(image[cell])) !=
          0)
        break;
    }
  }

  ResetModule(link);
  view.ShowStatus(" RESET");
  view.Wait(5000);
  view.ShowStatus(" Module is programmed successfully");
  return ProgrammingResult::kProgrammed;
}

}  // namespace s470
