#include "sim/SysfsBridge.h"

#include <fstream>
#include <system_error>

#include "ports/PortDiscovery.h"

namespace zerviko::sim {

namespace fs = std::filesystem;

namespace {

// In sys/ of a tree the virtual printer made, and only there. It holds the last device
// number given on the bus, which the kernel keeps as long as it runs and the tree as
// long as it lasts.
constexpr const char* OWN_MARK = ".zerviko-target";
// The kernel numbers a bus's devices from 1 (its root hub) to 127.
constexpr int LAST_DEVNUM = 127;

std::string HubPort(const SysfsBridge& bridge) { return "1-" + std::to_string(bridge.number + 1); }

fs::path UsbDevice(const SysfsBridge& bridge) {
  return bridge.root / "sys/devices/pci0000:00/usb1" / HubPort(bridge);
}

bool Put(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text << '\n';
  return static_cast<bool>(out.flush());
}

bool OwnTree(const fs::path& root) {
  std::error_code ignored;
  return fs::is_regular_file(root / "sys" / OWN_MARK, ignored);
}

// The number after the last one given, round from 2 after 127, as the kernel takes
// them: a device plugged in again never has the number it had. 0 when it cannot be kept.
int NextDevnum(const fs::path& root) {
  int last = 1;
  std::ifstream(root / "sys" / OWN_MARK) >> last;
  const int next = last >= 1 && last < LAST_DEVNUM ? last + 1 : 2;
  return Put(root / "sys" / OWN_MARK, std::to_string(next)) ? next : 0;
}

// The link dev/ttyUSBn this bridge made, to its own pseudo-terminal; anything else
// there is not the bridge's to remove.
bool OwnLink(const SysfsBridge& bridge) {
  std::error_code error;
  const fs::path target = fs::read_symlink(bridge.PortPath(), error);
  return !error && !bridge.devicePath.empty() && target == bridge.devicePath;
}

// The bridge's entries in sys/, last found first; with port, its link in dev/ too.
void RemoveEntries(const SysfsBridge& bridge, bool port) {
  std::error_code ignored;
  fs::remove(bridge.root / "sys/bus/usb/devices" / HubPort(bridge), ignored);
  fs::remove(bridge.root / "sys/class/tty" / bridge.TtyName(), ignored);
  if (port) fs::remove(bridge.PortPath(), ignored);
  fs::remove_all(UsbDevice(bridge), ignored);
}

}  // namespace

bool ClaimSysfsRoot(const fs::path& root, std::string* error) {
  std::error_code failure;
  const fs::path sys = root / "sys";
  const fs::path resolved = fs::weakly_canonical(fs::absolute(root, failure), failure);
  std::string refusal;
  if (!failure && resolved == resolved.root_path()) {
    refusal = "it is the system's root";
  } else if (OwnTree(root)) {
    return true;
  } else if (fs::exists(sys / "bus", failure) || fs::exists(sys / "devices", failure)) {
    refusal = "its sys/ holds a tree the virtual printer did not make";
  } else {
    fs::create_directories(sys, failure);
    if (!failure && Put(sys / OWN_MARK, "1")) return true;
    if (error) *error = "cannot write the sysfs tree below " + root.string() +
                        (failure ? ": " + failure.message() : std::string());
    return false;
  }
  if (error) *error = "refusing the sysfs root " + root.string() + ": " + refusal + "; give a folder of its own";
  return false;
}

bool PlugBridge(const SysfsBridge& bridge, std::string* error) {
  if (!ClaimSysfsRoot(bridge.root, error)) return false;
  std::error_code failure;
  const bool port = !bridge.devicePath.empty();
  if (port && fs::exists(fs::symlink_status(bridge.PortPath(), failure))) {
    if (error) *error = bridge.PortPath() + " is there already, and not the virtual printer's to replace";
    return false;
  }
  RemoveEntries(bridge, false);  // what a virtual printer that was killed left in the tree
  const fs::path device = UsbDevice(bridge);
  const fs::path interface = device / (HubPort(bridge) + ":1.0");
  const fs::path tty = interface / bridge.TtyName() / "tty" / bridge.TtyName();
  const fs::path classTty = bridge.root / "sys/class/tty" / bridge.TtyName();
  const fs::path busEntry = bridge.root / "sys/bus/usb/devices" / HubPort(bridge);
  const int devnum = NextDevnum(bridge.root);
  fs::create_directories(port ? tty : interface, failure);
  if (!failure) fs::create_directories(classTty.parent_path(), failure);
  if (!failure) fs::create_directories(busEntry.parent_path(), failure);
  if (!failure && port) fs::create_directories(bridge.root / "dev", failure);
  bool written = !failure && devnum > 0 && Put(device / "idVendor", "10c4") && Put(device / "idProduct", "ea60") &&
                 Put(device / "product", ports::BRIDGE_PRODUCT_TEXT) && Put(device / "busnum", "1") &&
                 Put(device / "devnum", std::to_string(devnum)) && Put(interface / "bInterfaceNumber", "00");
  if (written && !bridge.serial.empty()) written = Put(device / "serial", bridge.serial);
  // Without a port the bridge's driver is not bound: the interface has no tty at all.
  if (written && port) {
    written = Put(tty / "dev", "188:" + std::to_string(bridge.number));
    if (written) fs::create_directory_symlink(interface, tty / "device", failure);
    if (written && !failure) fs::create_symlink(bridge.devicePath, bridge.PortPath(), failure);
    if (written && !failure) fs::create_directory_symlink(tty, classTty, failure);
  }
  if (written && !failure) fs::create_directory_symlink(device, busEntry, failure);
  if (written && !failure) return true;
  if (error) *error = "cannot write the sysfs tree below " + bridge.root.string() +
                      (failure ? ": " + failure.message() : std::string());
  UnplugBridge(bridge);
  return false;
}

void UnplugBridge(const SysfsBridge& bridge) {
  if (OwnTree(bridge.root)) RemoveEntries(bridge, OwnLink(bridge));
}

}  // namespace zerviko::sim
