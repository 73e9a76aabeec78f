// The printer's USB bridge: the device loop over the bridge maker's library, and the
// COM number the original platform's registry records for the device.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "ports/PortDiscovery.h"

namespace zerviko::ports {

namespace {

// The 9x layout numbers its keys with four digits; a registry that opened every key
// asked for must not keep the loop going for ever.
constexpr int NUMBERED_KEY_LIMIT = 10000;

// The text a string value holds: up to its terminator, or up to the bytes reported
// when it was stored without one (a value of 100 characters fills the buffer).
std::string ValueText(const char* data, std::uint32_t size) {
  const std::size_t length = std::min<std::size_t>(size, REGISTRY_VALUE_BUFFER_SIZE);
  return std::string(data, strnlen(data, length));
}

bool QueryStringValue(Registry& registry, RegistryKey key, const char* name, std::string& text) {
  char data[REGISTRY_VALUE_BUFFER_SIZE] = {};
  std::uint32_t size = sizeof data;
  if (registry.QueryValue(key, name, data, size) != REGISTRY_SUCCESS) return false;
  text = ValueText(data, size);
  return true;
}

// The device's key below Enum\USB in the NT layout, ending in a separator.
std::string NtDeviceKey(std::uint16_t vendorId, std::uint16_t productId, const std::string& serial) {
  std::string converted = serial;
  std::replace(converted.begin(), converted.end(), ' ', '_');
  char name[256];
  std::snprintf(name, sizeof name, "Vid_%04x&Pid_%04x&Mi_00\\%s_00\\", vendorId, productId,
                converted.c_str());
  return name;
}

bool IsNtLayout(PlatformVersion& version) {
  // The NT layout is the same from Windows 2000 (NT 5) on. Taking major version 5
  // alone, as the loader first did, found no bridge on any Windows after XP (6.x, 10).
  const std::uint32_t platform = version.GetVersion() & VERSION_MASK;
  return platform >= VERSION_NT_5 && platform < VERSION_9X_FAMILY;
}

}  // namespace

namespace {

// One step of the device loop: what device index says of itself, and whether its
// product description is productText.
BridgeMatch ReadBridgeDevice(BridgeLibrary& library, std::uint32_t index,
                             const std::string& productText) {
  BridgeMatch match;
  match.index = index;
  BridgeHandle handle = 0;
  if (library.Open(index, handle) != BRIDGE_SUCCESS) return match;

  if (library.GetVendorId(handle, match.device.vendorId) == BRIDGE_SUCCESS &&
      library.GetProductId(handle, match.device.productId) == BRIDGE_SUCCESS) {
    BridgeSerialBuffer serial{};
    std::uint8_t length = 0;
    library.GetSerialText(handle, serial, length, BRIDGE_SERIAL_SINGLE_BYTE);
    // The length comes in a byte while the buffer holds 64: a report of 64 or more
    // is cut to the 63 characters that leave room for the terminator.
    const std::size_t kept = std::min<std::size_t>(length, serial.size() - 1);
    match.device.serial.assign(serial.data(), strnlen(serial.data(), kept));
    match.identified = true;
  }
  library.Close(handle);

  BridgeProductBuffer product{};
  if (library.GetProductText(index, product, BRIDGE_PRODUCT_OPTION) != BRIDGE_SUCCESS) return match;
  product.back() = '\0';
  match.device.product = product.data();
  match.found = match.device.product == productText;
  return match;
}

std::uint32_t DeviceCount(BridgeLibrary& library) {
  std::uint32_t count = 0;
  library.GetDeviceCount(count);
  return count;
}

// The COM number the registry gives a matching device.
int ComNumberOf(const BridgeMatch& match, Registry& registry, PlatformVersion& version) {
  if (!match.identified) return -1;
  const BridgeDevice& device = match.device;
  const std::uint32_t platform = version.GetVersion() & VERSION_MASK;
  if (platform == VERSION_9X_4) {
    return LookupComNumber9x(registry, device.vendorId, device.productId, device.serial);
  }
  if (IsNtLayout(version)) {
    return LookupComNumberNt(registry, device.vendorId, device.productId, device.serial);
  }
  return -1;  // no registry layout known for this platform
}

}  // namespace

BridgeMatch FindBridgeDevice(BridgeLibrary& library, const std::string& productText) {
  const std::uint32_t count = DeviceCount(library);
  for (std::uint32_t index = 0; index < count; ++index) {
    const BridgeMatch match = ReadBridgeDevice(library, index, productText);
    if (match.found) return match;
  }
  return {};
}

std::vector<BridgeMatch> FindBridgeDevices(BridgeLibrary& library, const std::string& productText) {
  std::vector<BridgeMatch> matches;
  const std::uint32_t count = DeviceCount(library);
  for (std::uint32_t index = 0; index < count; ++index) {
    BridgeMatch match = ReadBridgeDevice(library, index, productText);
    if (match.found) matches.push_back(std::move(match));
  }
  return matches;
}

int FindBridgeComPort(BridgeLibrary& library, Registry& registry, PlatformVersion& version,
                      const std::string& productText) {
  const BridgeMatch match = FindBridgeDevice(library, productText);
  return match.found ? ComNumberOf(match, registry, version) : 0;
}

std::vector<PrinterBridge> FindBridgeComPorts(BridgeLibrary& library, Registry& registry,
                                              PlatformVersion& version,
                                              const std::string& productText) {
  std::vector<PrinterBridge> bridges;
  const auto listed = [&bridges](const PrinterBridge& bridge) {
    return std::find_if(bridges.begin(), bridges.end(), [&](const PrinterBridge& other) {
             return other.name == bridge.name;
           }) != bridges.end();
  };
  for (const BridgeMatch& match : FindBridgeDevices(library, productText)) {
    const int comNumber = ComNumberOf(match, registry, version);
    PrinterBridge bridge;
    bridge.serial = match.device.serial;
    if (match.identified && IsNtLayout(version)) {
      bridge.plugIn = LookupPlugInNt(registry, match.device.vendorId, match.device.productId, match.device.serial);
    }
    if (comNumber >= 1) {
      bridge.port = bridge.name = "COM" + std::to_string(comNumber);
      if (!listed(bridge)) bridges.push_back(bridge);
      continue;
    }
    // Without a port the printer on it is still one of the bench, and is told apart by
    // what the bridge says of itself.
    if (match.identified && !match.device.serial.empty()) bridge.name = "serial " + match.device.serial;
    if (bridge.name.empty() || listed(bridge)) bridge.name = "bridge " + std::to_string(match.index);
    bridges.push_back(bridge);
  }
  return bridges;
}

int ParseComNumber(const std::string& portNameValue) {
  if (portNameValue.size() <= 3) return 0;
  long long number = 0;
  for (std::size_t i = 3; i < portNameValue.size(); ++i) {
    const char c = portNameValue[i];
    if (c < '0' || c > '9') break;
    number = number * 10 + (c - '0');
    if (number > INT_MAX) return -1;  // no port has such a number
  }
  return static_cast<int>(number);
}

// The keys are opened for reading only: asking for all access rights fails for a user
// without administrator rights, and the port is then not found for no good reason.
int LookupComNumberNt(Registry& registry, std::uint16_t vendorId, std::uint16_t productId,
                      const std::string& serial) {
  const std::string deviceKeyName = NtDeviceKey(vendorId, productId, serial) + "Device Parameters\\";
  int result = -1;
  RegistryKey system = 0;
  if (registry.OpenKey(REGISTRY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\", REGISTRY_KEY_READ,
                       system) != REGISTRY_SUCCESS) {
    return result;
  }
  RegistryKey usb = 0;
  if (registry.OpenKey(system, "Enum\\USB\\", REGISTRY_KEY_READ, usb) == REGISTRY_SUCCESS) {
    RegistryKey device = 0;
    if (registry.OpenKey(usb, deviceKeyName, REGISTRY_KEY_READ, device) == REGISTRY_SUCCESS) {
      std::string portName;
      if (QueryStringValue(registry, device, "PortName", portName)) {
        result = ParseComNumber(portName);
      }
      registry.CloseKey(device);
    }
    registry.CloseKey(usb);
  }
  registry.CloseKey(system);
  return result;
}

std::string LookupPlugInNt(Registry& registry, std::uint16_t vendorId, std::uint16_t productId,
                           const std::string& serial) {
  const std::string name =
      "SYSTEM\\CurrentControlSet\\Enum\\USB\\" + NtDeviceKey(vendorId, productId, serial) + "Control\\";
  RegistryKey control = 0;
  if (registry.OpenKey(REGISTRY_LOCAL_MACHINE, name, REGISTRY_KEY_READ, control) != REGISTRY_SUCCESS) return {};
  std::uint64_t time = 0;
  const bool known = registry.KeyWriteTime(control, time);
  registry.CloseKey(control);
  return known ? std::to_string(time) : std::string();
}

int LookupComNumber9x(Registry& registry, std::uint16_t vendorId, std::uint16_t productId,
                      const std::string& serial) {
  std::string converted = serial;
  for (char& c : converted) {
    if (c == ' ') {
      c = '_';
    } else if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  char expected[256];
  std::snprintf(expected, sizeof expected, "USB\\VID_%04X&PID_%04X&MI_00\\%s_00", vendorId,
                productId, converted.c_str());

  // Every numbered key is read, so the last one that matches gives the port.
  int result = -1;
  for (int n = 0; n < NUMBERED_KEY_LIMIT; ++n) {
    char keyName[64];
    std::snprintf(keyName, sizeof keyName, "Enum\\SLABCR\\guid\\%.4d", n);
    RegistryKey key = 0;
    if (registry.OpenKey(REGISTRY_LOCAL_MACHINE, keyName, REGISTRY_KEY_READ, key) !=
        REGISTRY_SUCCESS) {
      break;
    }
    std::string deviceId;
    if (QueryStringValue(registry, key, "CRLowerDeviceID", deviceId) && deviceId == expected) {
      std::string portName;
      if (QueryStringValue(registry, key, "Portname", portName)) result = ParseComNumber(portName);
    }
    registry.CloseKey(key);
  }
  return result;
}

}  // namespace zerviko::ports
