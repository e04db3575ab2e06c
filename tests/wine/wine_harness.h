// Runs the host program under Wine against the real DLL and the stand-ins, and links COM ports
// of the Wine prefix to pseudo-terminals whose other side the test (or a simulator) holds.
// The build under test is the product (win32, i686, under 32-bit Wine) unless the environment
// says S470_WINE_BUILD=win64 (the same sources as x86_64 PE, for pointer-size faults).
#pragma once

#include <string>
#include <vector>

#include "../unit/test_files.h"

namespace s470::wine {

using Lines = std::vector<std::string>;

struct HostRun {
  Lines lines;         // everything the host printed, in order ("MSGBOX caption|text", ...)
  std::string output;  // all of it, for failure messages
  // The lines that begin with one of `starts`, in order: "read -> " gives the results of the
  // read commands ("read -> 1"), "MSGBOX " the boxes the host answered.
  Lines Starting(const Lines& starts) const;
};

std::string WineBin();  // the build's folder with s470_pc.dll, the stand-ins, host.exe

// Runs host.exe (from `bin`, by default the build's) in the folder `dir` with `commands` (words
// separated by blanks: "open a.s47 close") and, when given, a dialog script: its steps one after
// the other, separated by "; " ("wait Kanal  3; click 1"). `environment` entries ("NAME=value")
// are added for the run. Throws when the host does not reach its end.
HostRun RunHost(const std::string& dir, const std::string& commands, const std::string& script = "",
                const Lines& environment = {}, const std::string& bin = WineBin());

// A program folder `dir`/bin with host.exe, s470_pc.dll and `files` of the build's folder; its
// path, for RunHost.
std::string ProgramFolder(const std::string& dir, Lines files);

// The path of COM<n> in the prefix's dosdevices, for a simulator's link; makes the prefix first
// when it is not there yet (making it later would remove the link).
std::string ComLinkPath(int com);

// A fresh, empty working folder for one test.
std::string FreshDir(const std::string& name);

// Runs `reg <arguments>` in the prefix (the live registry of the running server); its output.
Lines WineReg(const Lines& arguments);

// What Wine keeps of the Win32 device control block on a pseudo-terminal, read on its slave:
// the end-of-file, XON and XOFF characters and flow control, as stty names them ("eof = ^Z
// start = ^Q stop = ^S -crtscts -ixon -ixoff"). LeaveDriverSettings puts flow control of every
// kind and other characters there, as a driver or an earlier program might have left them.
std::string DriverSettings(const std::string& slavePath);
void LeaveDriverSettings(const std::string& slavePath);

}  // namespace s470::wine
