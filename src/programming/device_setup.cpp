#include "programming/device_setup.h"

#include "api/window_work.h"
#include "lang/fixed_message.h"
#include "lang/text_lookup.h"
#include "programming/firmware_dialogs.h"
#include "serial/bus_ops.h"
#include "serial/bus_port.h"

namespace s470 {

int32_t DeviceSetupLanguage(const char16_t* text0) {
  return text0 != nullptr && text0[0] == u'D' ? 2 : 1;
}

void RunModuleSetup(Window owner, int16_t port, char* code) {
  ShowTextBox(owner, kModuleSetupAttentionText, "Attention", kInformationIcon);
  if (BusStartSequence(port) != 0) {
    ShowTextBox(owner, kModuleSetupPortFailureText, nullptr, kStopIcon);
    CloseBusPort(port);
    return;
  }
  switch (CallDeviceSetup(DeviceSetupLanguage(GetText(0)), kDeviceFile, owner, code)) {
    case DeviceSetupResult::kNotFound:
      ShowFixedMessage(owner, kDeviceSetupMissing, nullptr, kStopIcon);
      return;
    case DeviceSetupResult::kNoEntryPoint:
      ShowFixedMessage(owner, kDeviceSetupNoEntry, nullptr, kStopIcon);
      return;
    case DeviceSetupResult::kCalled: break;
  }
  ShowTextBox(owner, kModuleSetupDoneText, nullptr, kInformationIcon);
}

// The code buffer is the one the access-code dialog shares.
void QlbProgWork(Window parent, int16_t port) { RunModuleSetup(parent, port, SharedCodeBuffer()); }

}  // namespace s470
