// Runs the host program under Wine against the real DLL and the stand-ins, and links COM ports
// of the Wine prefix to pseudo-terminals whose other side the test (or a simulator) holds.
// The build under test is the product (win32, i686, under 32-bit Wine) unless the environment
// says S470_WINE_BUILD=win64 (the same sources as x86_64 PE, for pointer-size faults).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace s470::wine {

struct HostRun {
  int exitCode = -1;
  std::vector<std::string> lines;        // everything the host printed, in order
  std::vector<std::string> messageBoxes; // "caption|text" of each box the host answered
  std::string output;                    // all of it, for failure messages
  bool ended = false;                    // the host reached its end (it really ran)
  bool Has(const std::string& line) const;
};

std::string WineBuild();   // "win32" or "win64"
std::string WineBin();     // its folder with s470_pc.dll, the stand-ins, host.exe, notepad.exe
std::string WinePrefix();  // the private prefix of that build
inline std::string Win64Bin() { return WineBin(); }  // the former name, for tests not yet moved

// Runs host.exe with the commands in `cwd` (created when missing). Extra environment entries
// ("NAME=value") are added for the run.
HostRun RunHost(const std::vector<std::string>& commands, const std::string& cwd,
                const std::vector<std::string>& environment = {});

// The same with host.exe taken from another folder (a copy with DLLs left out, say).
HostRun RunHostIn(const std::string& bin, const std::vector<std::string>& commands,
                  const std::string& cwd, const std::vector<std::string>& environment = {});


// The path of COM<n> in the prefix's dosdevices, for a simulator's link; makes the prefix first
// when it is not there yet (making it later would remove the link).
std::string ComLinkPath(int com);

// A fresh, empty working folder for one test.
std::string FreshDir(const std::string& name);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// --- Registry of the prefix ---

// Runs `wine reg <arguments>` in the prefix; it sees the live registry of the running server.
// Returns what it printed; *exitCode gets its exit code.
std::string WineReg(const std::vector<std::string>& arguments, int* exitCode = nullptr);

struct RegEntry {
  std::string type;  // "REG_SZ", ...
  std::string data;  // as `reg query` prints it
};
// The values of a key as `reg query` lists them, by name; empty when the key is missing.
std::map<std::string, RegEntry> QueryKey(const std::string& key);

// Stops the prefix's server (which writes the registry to disk) and appends `lines` to
// system.reg, in Wine's own format (keys relative to HKEY_LOCAL_MACHINE). For data that `reg`
// cannot write, such as 8-bit REG_SZ bytes: hex(1):... is stored as it stands.
void AppendToMachineRegistry(const std::string& lines);

}  // namespace s470::wine
