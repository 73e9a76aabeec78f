#include "sim/SysfsBridge.h"

#include <fstream>
#include <system_error>

#include "ports/PortDiscovery.h"

namespace zerviko::sim {

namespace fs = std::filesystem;

namespace {

fs::path UsbDevice(const SysfsBridge& bridge) {
  return bridge.root / "sys/devices/pci0000:00/usb1" / ("1-" + std::to_string(bridge.number + 1));
}

bool Put(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text << '\n';
  return static_cast<bool>(out.flush());
}

}  // namespace

bool PlugBridge(const SysfsBridge& bridge, std::string* error) {
  std::error_code failure;
  const fs::path device = UsbDevice(bridge);
  // A bridge without a port is a dual UART whose interface 0 has no driver bound.
  const int interfaceNumber = bridge.devicePath.empty() ? 1 : 0;
  const fs::path interface =
      device / (device.filename().string() + ":1." + std::to_string(interfaceNumber));
  const fs::path tty = interface / bridge.TtyName() / "tty" / bridge.TtyName();
  const fs::path classTty = bridge.root / "sys/class/tty" / bridge.TtyName();
  fs::create_directories(tty, failure);
  if (!failure) fs::create_directories(classTty.parent_path(), failure);
  if (!failure) fs::create_directories(bridge.root / "dev", failure);
  if (!failure && !bridge.devicePath.empty()) {
    fs::remove(bridge.PortPath(), failure);
    fs::create_symlink(bridge.devicePath, bridge.PortPath(), failure);
  }
  bool written = !failure && Put(device / "idVendor", "10c4") && Put(device / "idProduct", "ea60") &&
                 Put(device / "product", ports::BRIDGE_PRODUCT_TEXT) &&
                 Put(interface / "bInterfaceNumber", "0" + std::to_string(interfaceNumber)) &&
                 Put(tty / "dev", "188:" + std::to_string(bridge.number));
  if (written && !bridge.serial.empty()) written = Put(device / "serial", bridge.serial);
  if (written && !fs::exists(tty / "device", failure)) fs::create_directory_symlink(interface, tty / "device", failure);
  if (written && !failure) fs::create_directory_symlink(tty, classTty, failure);
  if (written && !failure) return true;
  if (error) *error = "cannot write the sysfs tree below " + bridge.root.string() +
                      (failure ? ": " + failure.message() : std::string());
  UnplugBridge(bridge);
  return false;
}

void UnplugBridge(const SysfsBridge& bridge) {
  std::error_code ignored;
  fs::remove(bridge.root / "sys/class/tty" / bridge.TtyName(), ignored);
  fs::remove(bridge.PortPath(), ignored);
  fs::remove_all(UsbDevice(bridge), ignored);
}

}  // namespace zerviko::sim
