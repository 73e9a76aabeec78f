// A stand-in for the bridge maker's library CP210xManufacturing.dll, for the tests
// under Wine. Its devices come from the environment variable ZERVIKO_FAKE_BRIDGE, or
// from the file that ZERVIKO_FAKE_BRIDGE_FILE names (so that a test can plug and unplug
// bridges while a program runs), read at every call: devices separated by ";", each
// "VID|PID|SERIAL|PRODUCT" with the IDs in hexadecimal, as in
// "10c4|ea60|0001|Tarno Corp. Zerviko / Talvrine USB". A handle is the device index
// plus one.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Device {
  WORD vendorId = 0;
  WORD productId = 0;
  std::string serial;
  std::string product;
};

std::string DeviceList() {
  char text[4096] = {};
  if (GetEnvironmentVariableA("ZERVIKO_FAKE_BRIDGE_FILE", text, sizeof text) > 0) {
    std::ifstream file(text, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }
  GetEnvironmentVariableA("ZERVIKO_FAKE_BRIDGE", text, sizeof text);
  return text;
}

std::vector<Device> Devices() {
  std::vector<Device> devices;
  std::istringstream list(DeviceList());
  std::string entry;
  while (std::getline(list, entry, ';')) {
    if (entry.empty()) continue;
    std::istringstream fields(entry);
    std::string vendor, product;
    Device device;
    std::getline(fields, vendor, '|');
    std::getline(fields, product, '|');
    std::getline(fields, device.serial, '|');
    std::getline(fields, device.product);
    device.vendorId = static_cast<WORD>(std::strtoul(vendor.c_str(), nullptr, 16));
    device.productId = static_cast<WORD>(std::strtoul(product.c_str(), nullptr, 16));
    devices.push_back(device);
  }
  return devices;
}

constexpr int SUCCESS = 0;
constexpr int NO_DEVICE = 1;

bool Find(std::size_t index, Device* device) {
  const std::vector<Device> devices = Devices();
  if (index >= devices.size()) return false;
  *device = devices[index];
  return true;
}

bool FromHandle(HANDLE handle, Device* device) {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  return value != 0 && Find(value - 1, device);
}

}  // namespace

extern "C" {

int WINAPI FakeGetDeviceCount(DWORD* count) {
  *count = static_cast<DWORD>(Devices().size());
  return SUCCESS;
}

int WINAPI FakeGetProductText(DWORD index, void* text, DWORD what) {
  Device device;
  if (!Find(index, &device) || what != 1) return NO_DEVICE;  // 1: the description, as the real one
  std::strncpy(static_cast<char*>(text), device.product.c_str(), 255);
  return SUCCESS;
}

int WINAPI FakeOpen(DWORD index, HANDLE* handle) {
  Device device;
  if (!Find(index, &device)) return NO_DEVICE;
  *handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(index) + 1);
  return SUCCESS;
}

int WINAPI FakeClose(HANDLE) { return SUCCESS; }

// The serial as single-byte characters without a terminator.
int WINAPI FakeGetSerialText(HANDLE handle, void* text, BYTE* length, BOOL) {
  Device device;
  if (!FromHandle(handle, &device)) return NO_DEVICE;
  *length = static_cast<BYTE>(std::min<std::size_t>(device.serial.size(), 64));
  std::memcpy(text, device.serial.data(), *length);
  return SUCCESS;
}

int WINAPI FakeGetVendorId(HANDLE handle, WORD* vendorId) {
  Device device;
  if (!FromHandle(handle, &device)) return NO_DEVICE;
  *vendorId = device.vendorId;
  return SUCCESS;
}

int WINAPI FakeGetProductId(HANDLE handle, WORD* productId) {
  Device device;
  if (!FromHandle(handle, &device)) return NO_DEVICE;
  *productId = device.productId;
  return SUCCESS;
}

}  // extern "C"
