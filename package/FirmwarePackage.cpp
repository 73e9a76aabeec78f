// Placeholder until the reader lands.
#include "package/FirmwarePackage.h"

namespace zerviko {

int ReadFirmwarePackage(const std::string&, bool, int) { return PACKAGE_FILE_UNAVAILABLE; }
std::string GetPackageRevisionText() { return {}; }
std::string GetPackageDeviceSetupText() { return {}; }
void GetPackageImage(std::uint8_t*, std::uint32_t* length) { *length = 0; }
void ClearPackage() {}

}  // namespace zerviko
