// In-memory stand-ins for the original platform's pieces: the print spooler, the
// bridge maker's library, the registry and the platform version.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports/PortDiscovery.h"

namespace zerviko::ports::test {

inline constexpr std::uint32_t SPOOLER_ERROR_ACCESS_DENIED = 5;

class FakeSpooler : public PrintSpooler {
 public:
  PortNaming naming = PortNaming::SPOOLER_NAMES;
  std::vector<std::string> ports;
  std::vector<SpoolerPrinter> printers;
  // Failures to inject: an error code makes that call fail with it.
  std::uint32_t portSizeError = 0;
  std::uint32_t portFetchError = 0;
  std::uint32_t printerSizeError = 0;
  std::uint32_t printerFetchError = 0;
  int printerCalls = 0;

  PortNaming Naming() const override { return naming; }

  bool EnumPorts(std::vector<std::string>* out, std::size_t capacity,
                 std::size_t& needed) override {
    return Enumerate(ports, out, capacity, needed, portSizeError, portFetchError);
  }
  bool EnumPrinters(std::vector<SpoolerPrinter>* out, std::size_t capacity,
                    std::size_t& needed) override {
    ++printerCalls;
    return Enumerate(printers, out, capacity, needed, printerSizeError, printerFetchError);
  }
  std::uint32_t LastError() const override { return m_lastError; }

 private:
  template <typename Record>
  bool Enumerate(const std::vector<Record>& records, std::vector<Record>* out,
                 std::size_t capacity, std::size_t& needed, std::uint32_t sizeError,
                 std::uint32_t fetchError) {
    needed = records.size() * 64;
    if (out == nullptr) {
      if (sizeError != 0) return Fail(sizeError);
      if (records.empty()) return true;
      return Fail(SPOOLER_ERROR_INSUFFICIENT_BUFFER);
    }
    if (fetchError != 0) return Fail(fetchError);
    if (capacity < needed) return Fail(SPOOLER_ERROR_INSUFFICIENT_BUFFER);
    *out = records;
    return true;
  }
  bool Fail(std::uint32_t error) {
    m_lastError = error;
    return false;
  }
  std::uint32_t m_lastError = 0;
};

struct FakeBridgeDevice {
  bool openFails = false;
  std::optional<std::uint16_t> vendorId = 0x10C4;
  std::optional<std::uint16_t> productId = 0xEA60;
  std::string serial = "0001";
  // What the library reports as the serial length; by default the serial's own.
  std::optional<int> reportedLength;
  std::optional<std::string> product = std::string(BRIDGE_PRODUCT_TEXT);
};

class FakeBridgeLibrary : public BridgeLibrary {
 public:
  std::vector<FakeBridgeDevice> devices;
  bool deliversCount = true;
  std::set<BridgeHandle> open;  // handles not closed yet
  std::vector<std::uint32_t> opened;
  int serialReads = 0;

  int GetDeviceCount(std::uint32_t& count) override {
    if (deliversCount) count = static_cast<std::uint32_t>(devices.size());
    return deliversCount ? BRIDGE_SUCCESS : 1;
  }
  int GetProductText(std::uint32_t index, BridgeProductBuffer& text, std::uint32_t) override {
    if (index >= devices.size() || !devices[index].product) return 1;
    const std::string& product = *devices[index].product;
    // Like a careless library: no terminator when the text fills the buffer.
    std::memcpy(text.data(), product.data(), std::min(product.size(), text.size()));
    if (product.size() < text.size()) text[product.size()] = '\0';
    return BRIDGE_SUCCESS;
  }
  int Open(std::uint32_t index, BridgeHandle& handle) override {
    if (index >= devices.size() || devices[index].openFails) return 1;
    handle = 100 + index;
    open.insert(handle);
    opened.push_back(index);
    return BRIDGE_SUCCESS;
  }
  int Close(BridgeHandle handle) override { return open.erase(handle) == 1 ? BRIDGE_SUCCESS : 1; }
  int GetSerialText(BridgeHandle handle, BridgeSerialBuffer& text, std::uint8_t& length,
                    bool singleByte) override {
    ++serialReads;
    const FakeBridgeDevice* device = Device(handle);
    if (device == nullptr || !singleByte) return 1;
    std::memcpy(text.data(), device->serial.data(), std::min(device->serial.size(), text.size()));
    length = static_cast<std::uint8_t>(device->reportedLength.value_or(
        static_cast<int>(device->serial.size())));
    return BRIDGE_SUCCESS;
  }
  int GetVendorId(BridgeHandle handle, std::uint16_t& value) override {
    const FakeBridgeDevice* device = Device(handle);
    if (device == nullptr || !device->vendorId) return 1;
    value = *device->vendorId;
    return BRIDGE_SUCCESS;
  }
  int GetProductId(BridgeHandle handle, std::uint16_t& value) override {
    const FakeBridgeDevice* device = Device(handle);
    if (device == nullptr || !device->productId) return 1;
    value = *device->productId;
    return BRIDGE_SUCCESS;
  }

 private:
  const FakeBridgeDevice* Device(BridgeHandle handle) const {
    if (open.count(handle) == 0) return nullptr;
    return &devices[handle - 100];
  }
};

inline constexpr long REGISTRY_ERROR_FILE_NOT_FOUND = 2;
inline constexpr long REGISTRY_ERROR_ACCESS_DENIED = 5;
inline constexpr long REGISTRY_ERROR_MORE_DATA = 234;
inline constexpr std::uint32_t REGISTRY_WRITE_RIGHTS = 0x00000006u;  // set value, create subkey

// Keys by full path below HKEY_LOCAL_MACHINE ("SYSTEM\CurrentControlSet\Enum\USB\..."),
// without trailing backslashes; names are compared exactly, so the tests see the very
// paths the code asks for.
class FakeRegistry : public Registry {
 public:
  // Like a user without administrator rights: write access is refused.
  bool refusesWriteAccess = false;
  std::vector<std::uint32_t> accessAsked;
  std::vector<std::string> keysAsked;

  // A string value stored with its terminator, unless withTerminator is false.
  void SetValue(const std::string& key, const std::string& name, const std::string& text,
                bool withTerminator = true) {
    AddKey(key);
    m_values[key][name] = withTerminator ? text + '\0' : text;
  }
  void AddKey(const std::string& key) {
    for (std::size_t end = key.find('\\'); end != std::string::npos; end = key.find('\\', end + 1)) {
      m_keys.insert(key.substr(0, end));
    }
    m_keys.insert(key);
  }
  std::size_t OpenKeyCount() const { return m_open.size(); }

  long OpenKey(RegistryKey parent, const std::string& subKey, std::uint32_t access,
               RegistryKey& key) override {
    accessAsked.push_back(access);
    std::string path = parent == REGISTRY_LOCAL_MACHINE ? std::string() : Path(parent);
    if (!path.empty()) path += '\\';
    path += subKey;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    keysAsked.push_back(path);
    if (parent != REGISTRY_LOCAL_MACHINE && m_open.count(parent) == 0) return 6;
    if (m_keys.count(path) == 0) return REGISTRY_ERROR_FILE_NOT_FOUND;
    if (refusesWriteAccess && (access & REGISTRY_WRITE_RIGHTS) != 0) return REGISTRY_ERROR_ACCESS_DENIED;
    key = m_nextKey++;
    m_open[key] = path;
    return REGISTRY_SUCCESS;
  }
  long QueryValue(RegistryKey key, const std::string& name, char* data,
                  std::uint32_t& size) override {
    if (m_open.count(key) == 0) return 6;
    const auto values = m_values.find(m_open[key]);
    if (values == m_values.end()) return REGISTRY_ERROR_FILE_NOT_FOUND;
    const auto value = values->second.find(name);
    if (value == values->second.end()) return REGISTRY_ERROR_FILE_NOT_FOUND;
    if (value->second.size() > size) return REGISTRY_ERROR_MORE_DATA;
    std::memcpy(data, value->second.data(), value->second.size());
    size = static_cast<std::uint32_t>(value->second.size());
    return REGISTRY_SUCCESS;
  }
  long CloseKey(RegistryKey key) override { return m_open.erase(key) == 1 ? REGISTRY_SUCCESS : 6; }

 private:
  std::string Path(RegistryKey key) const {
    const auto found = m_open.find(key);
    return found == m_open.end() ? std::string("?") : found->second;
  }
  std::set<std::string> m_keys;
  std::map<std::string, std::map<std::string, std::string>> m_values;
  std::map<RegistryKey, std::string> m_open;
  RegistryKey m_nextKey = 1;
};

class FakeVersion : public PlatformVersion {
 public:
  explicit FakeVersion(std::uint32_t value) : m_value(value) {}
  std::uint32_t GetVersion() override { return m_value; }

 private:
  std::uint32_t m_value;
};

// GetVersion values of real systems.
inline constexpr std::uint32_t VERSION_WINDOWS_XP = 0x0A280105u;  // NT 5.1, build 2600
inline constexpr std::uint32_t VERSION_WINDOWS_98 = 0xC0000A04u;  // 9x 4.10
inline constexpr std::uint32_t VERSION_WINDOWS_7 = 0x1DB10106u;   // NT 6.1

inline constexpr const char* NT_DEVICE_KEY_PREFIX = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";

}  // namespace zerviko::ports::test
