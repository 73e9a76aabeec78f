#include "ports/SysfsSerial.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace zerviko::ports {

namespace fs = std::filesystem;

namespace {

// A sysfs attribute's text without the line end the kernel adds.
std::optional<std::string> ReadAttribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::optional<long long> ReadNumber(const fs::path& file, int base) {
  const auto text = ReadAttribute(file);
  if (!text || text->empty()) return std::nullopt;
  const char* first = text->data();
  const char* last = first + text->size();
  if (base == 16 && text->size() > 2 && text->compare(0, 2, "0x") == 0) first += 2;
  long long value = 0;
  const auto [end, error] = std::from_chars(first, last, value, base);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

std::optional<std::uint16_t> ReadUsbId(const fs::path& file) {
  const auto value = ReadNumber(file, 16);
  if (!value || *value < 0 || *value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// ttyS2 before ttyS10: the letters, then the trailing number, then the whole name.
bool NaturalLess(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    unsigned long long number = 0;
    for (std::size_t i = digits; i < name.size() && i < digits + 18; ++i) {
      number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return std::make_pair(name.substr(0, digits), number);
  };
  const auto keyA = split(a);
  const auto keyB = split(b);
  if (keyA != keyB) return keyA < keyB;
  return a < b;
}

bool IsSerialDevice(const fs::path& tty, const std::string& name) {
  std::error_code error;
  if (!fs::exists(tty / "device", error)) return false;
  if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) return true;
  const auto type = ReadNumber(tty / "type", 10);
  return type && *type != 0;
}

// Where a tty sits in the USB device tree: the USB device (the folder with idVendor and
// idProduct) and the number of the interface the tty belongs to. Empty device when the
// tty is not below a USB device.
struct UsbPlace {
  fs::path device;
  std::optional<long long> interfaceNumber;
};

UsbPlace UsbPlaceOf(const fs::path& root, const std::string& ttyName) {
  std::error_code error;
  const fs::path tty = fs::canonical(root / "sys" / "class" / "tty" / ttyName, error);
  if (error) return {};
  const fs::path top = fs::weakly_canonical(root / "sys", error);
  UsbPlace place;
  for (fs::path dir = tty.parent_path(); !dir.empty(); dir = dir.parent_path()) {
    if (dir == top || dir == dir.root_path()) break;
    if (fs::exists(dir / "idVendor", error) && fs::exists(dir / "idProduct", error)) {
      place.device = dir;
      return place;
    }
    if (!place.interfaceNumber) place.interfaceNumber = ReadNumber(dir / "bInterfaceNumber", 16);
  }
  return {};
}

// The device node of a tty: /dev/NAME. A tree of our own that holds dev/NAME (a
// virtual printer's link to its pseudo-terminal) gives that instead, so that what
// the tree lists can be opened.
std::string DevicePath(const fs::path& root, const std::string& name) {
  std::error_code error;
  const fs::path own = root / "dev" / name;
  if (root != root.root_path() && fs::exists(fs::symlink_status(own, error))) return own.string();
  return "/dev/" + name;
}

// What sysfs shows of a USB device (the folder with idVendor and idProduct).
UsbSerialDevice ReadUsbDevice(const fs::path& device) {
  UsbSerialDevice read;
  read.vendorId = ReadUsbId(device / "idVendor");
  read.productId = ReadUsbId(device / "idProduct");
  read.serial = ReadAttribute(device / "serial");
  read.product = ReadAttribute(device / "product");
  read.usbPath = device.filename().string();
  const auto bus = ReadNumber(device / "busnum", 10);
  const auto number = ReadNumber(device / "devnum", 10);
  if (bus && number) read.plugIn = std::to_string(*bus) + ":" + std::to_string(*number);
  return read;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const fs::path& root) {
  std::vector<SerialDevice> devices;
  std::error_code error;
  fs::directory_iterator it(root / "sys" / "class" / "tty", error);
  if (error) return devices;
  for (const fs::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    if (IsSerialDevice(entry.path(), name)) devices.push_back({name, DevicePath(root, name)});
  }
  std::sort(devices.begin(), devices.end(),
            [](const SerialDevice& a, const SerialDevice& b) { return NaturalLess(a.name, b.name); });
  return devices;
}

std::vector<UsbSerialDevice> ListUsbSerialDevices(const fs::path& root) {
  std::vector<UsbSerialDevice> devices;
  std::vector<fs::path> seen;
  for (const SerialDevice& tty : ListSerialDevices(root)) {
    const UsbPlace place = UsbPlaceOf(root, tty.name);
    if (place.device.empty()) continue;
    const auto found = std::find(seen.begin(), seen.end(), place.device);
    const std::size_t index = static_cast<std::size_t>(found - seen.begin());
    if (found == seen.end()) {
      seen.push_back(place.device);
      devices.push_back(ReadUsbDevice(place.device));
    }
    // A bridge with several UARTs has a tty per interface, and their names follow the
    // order in which the kernel bound them, not the interface numbers. The bridge's own
    // port is the one of interface 0, as the original platform's Mi_00 key names it.
    if (place.interfaceNumber == 0 && devices[index].ttyPath.empty()) {
      devices[index].ttyPath = tty.devicePath;
    }
  }
  // A bridge whose driver is not bound (a CP2102 the kernel has no driver for, or one
  // unbound by hand) shows no tty at all: only the bus knows it. It comes after the
  // bridges with a port, so that a port is still what the pre-selection finds first.
  std::vector<std::pair<std::string, fs::path>> others;
  std::error_code error;
  fs::directory_iterator it(root / "sys" / "bus" / "usb" / "devices", error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const fs::path device = fs::canonical(it->path(), error);
    // Interfaces (1-4:1.0) have no IDs of their own; a device that goes meanwhile is let go.
    if (error || !fs::exists(device / "idVendor", error)) {
      error.clear();
      continue;
    }
    if (std::find(seen.begin(), seen.end(), device) == seen.end()) {
      others.emplace_back(it->path().filename().string(), device);
    }
  }
  std::sort(others.begin(), others.end(),
            [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
  for (const auto& other : others) devices.push_back(ReadUsbDevice(other.second));
  return devices;
}

SysfsBridgeLibrary::SysfsBridgeLibrary(const fs::path& root)
    : SysfsBridgeLibrary(ListUsbSerialDevices(root)) {}

SysfsBridgeLibrary::SysfsBridgeLibrary(std::vector<UsbSerialDevice> devices)
    : m_devices(std::move(devices)), m_open(m_devices.size(), false) {}

int SysfsBridgeLibrary::GetDeviceCount(std::uint32_t& count) {
  count = static_cast<std::uint32_t>(m_devices.size());
  return BRIDGE_SUCCESS;
}

int SysfsBridgeLibrary::GetProductText(std::uint32_t index, BridgeProductBuffer& text,
                                       std::uint32_t /*option*/) {
  if (index >= m_devices.size()) return BRIDGE_ERROR_NO_DEVICE;
  const auto& product = m_devices[index].product;
  if (!product) return BRIDGE_ERROR_NO_VALUE;
  const std::size_t length = std::min(product->size(), text.size() - 1);
  std::memcpy(text.data(), product->data(), length);
  text[length] = '\0';
  return BRIDGE_SUCCESS;
}

int SysfsBridgeLibrary::Open(std::uint32_t index, BridgeHandle& handle) {
  if (index >= m_devices.size()) return BRIDGE_ERROR_NO_DEVICE;
  m_open[index] = true;
  handle = static_cast<BridgeHandle>(index) + 1;
  return BRIDGE_SUCCESS;
}

int SysfsBridgeLibrary::Close(BridgeHandle handle) {
  if (Device(handle) == nullptr) return BRIDGE_ERROR_INVALID_HANDLE;
  m_open[handle - 1] = false;
  return BRIDGE_SUCCESS;
}

const UsbSerialDevice* SysfsBridgeLibrary::Device(BridgeHandle handle) const {
  if (handle == 0 || handle > m_devices.size() || !m_open[handle - 1]) return nullptr;
  return &m_devices[handle - 1];
}

int SysfsBridgeLibrary::GetSerialText(BridgeHandle handle, BridgeSerialBuffer& text,
                                      std::uint8_t& length, bool /*singleByte*/) {
  const UsbSerialDevice* device = Device(handle);
  if (device == nullptr) return BRIDGE_ERROR_INVALID_HANDLE;
  // A device without a serial string has an empty one, as the chip reports it.
  const std::string serial = device->serial.value_or(std::string());
  const std::size_t written = std::min(serial.size(), text.size());
  std::memcpy(text.data(), serial.data(), written);
  length = static_cast<std::uint8_t>(written);
  return BRIDGE_SUCCESS;
}

int SysfsBridgeLibrary::GetVendorId(BridgeHandle handle, std::uint16_t& vendorId) {
  const UsbSerialDevice* device = Device(handle);
  if (device == nullptr) return BRIDGE_ERROR_INVALID_HANDLE;
  if (!device->vendorId) return BRIDGE_ERROR_NO_VALUE;
  vendorId = *device->vendorId;
  return BRIDGE_SUCCESS;
}

int SysfsBridgeLibrary::GetProductId(BridgeHandle handle, std::uint16_t& productId) {
  const UsbSerialDevice* device = Device(handle);
  if (device == nullptr) return BRIDGE_ERROR_INVALID_HANDLE;
  if (!device->productId) return BRIDGE_ERROR_NO_VALUE;
  productId = *device->productId;
  return BRIDGE_SUCCESS;
}

std::string SysfsBridgeLibrary::TtyPath(std::uint32_t index) const {
  return index < m_devices.size() ? m_devices[index].ttyPath : std::string();
}

std::string SysfsBridgeLibrary::UsbPath(std::uint32_t index) const {
  return index < m_devices.size() ? m_devices[index].usbPath : std::string();
}

std::string SysfsBridgeLibrary::PlugIn(std::uint32_t index) const {
  return index < m_devices.size() ? m_devices[index].plugIn : std::string();
}

}  // namespace zerviko::ports
