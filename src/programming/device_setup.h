// Module setup through the Device-setup DLL "ORV_DDK.DLL": the bus is prepared, then the whole
// setup of a QLBus module is handed to the DLL's entry point Device_Setup with the device file
// "S470.DDK".
#pragma once

#include <cstdint>

#include "lang/lang_api.h"

namespace s470 {

constexpr char kDeviceSetupDll[] = "ORV_DDK.DLL";
constexpr char kDeviceSetupEntry[] = "Device_Setup";
constexpr char kDeviceFile[] = "S470.DDK";
constexpr char kDeviceSetupMissing[] = "ORV_DDK.DLL was not found";
constexpr char kDeviceSetupNoEntry[] = "ORV_DDK.DLL does not contain the function Device_Setup";
constexpr int32_t kModuleSetupAttentionText = 1200;
constexpr int32_t kModuleSetupDoneText = 1201;
constexpr int32_t kModuleSetupPortFailureText = 1004;  // the port failure of every bus operation

// The language selector Device_Setup takes: 2 when text 0 (the language's name) begins with
// 'D', else 1.
int32_t DeviceSetupLanguage(const char16_t* text0);

enum class DeviceSetupResult { kCalled, kNotFound, kNoEntryPoint };
// Loads the DLL beside s470_pc.dll (or the host program), calls Device_Setup(language, file,
// owner, code) and releases the DLL. Off Windows there is no such DLL: kNotFound.
DeviceSetupResult CallDeviceSetup(int32_t language, const char* file, Window owner, char* code);

// The work of RS470_QLB_Prog: text 1200, the bus start sequence (text 1004 when the port cannot
// be opened), the call of the Device-setup DLL, text 1201.
void RunModuleSetup(Window owner, int16_t port, char* code);

}  // namespace s470
