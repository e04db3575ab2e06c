#include "programming/device_setup.h"

namespace s470 {

// The Device-setup DLL exists only on Windows.
DeviceSetupResult CallDeviceSetup(int32_t, const char*, Window, char*) {
  return DeviceSetupResult::kNotFound;
}

}  // namespace s470
