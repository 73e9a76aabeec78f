// A virtual printer's USB bridge in a sysfs tree of our own, as the kernel shows a
// printer plugged into a hub: the USB device with its IDs, serial text, product string
// and bus and device number, the tty of its interface 0, and dev/ttyUSBn beside it, a
// link to the printer's pseudo-terminal. zerviko-flash reads such a tree when
// ZERVIKO_SYSFS_ROOT names its root, so that printers come and go without hardware.
//
// Plug makes the tree's entries so that a reader never sees a half-made bridge: the
// tty's entry in sys/class/tty, by which readers find it, comes after the rest, and the
// device's entry in sys/bus/usb/devices, by which a bridge without a tty is found,
// last; Unplug takes them away in the reverse order. Each plug-in gets a new device
// number, as the kernel gives one.
//
// The tree is the virtual printer's own: sys/ is made by it and marked so, and a root
// whose sys/ already holds a system's tree (the machine's "/", say) is refused. Nothing
// it did not make is removed: a dev/ttyUSBn that is there already stays, and the plug
// fails.
#pragma once

#include <filesystem>
#include <string>

namespace zerviko::sim {

struct SysfsBridge {
  std::filesystem::path root;  // the folder that stands for "/"
  int number = 0;              // the hub port is 1-(number+1), the tty ttyUSB<number>
  std::string serial;          // the USB serial number; empty: none
  // The pseudo-terminal dev/ttyUSBn links to. Empty: the bridge gives no port (its
  // driver is not bound, so it has no tty at all).
  std::string devicePath;

  std::string TtyName() const { return "ttyUSB" + std::to_string(number); }
  // The device path a reader of the tree finds for the bridge's port.
  std::string PortPath() const { return (root / "dev" / TtyName()).string(); }
};

// Takes root for the virtual printer's tree: false, with the reason in error, when
// root is the system's "/" or its sys/ holds a tree that the virtual printer did not
// make. Otherwise makes root/sys as needed, marked as its own.
bool ClaimSysfsRoot(const std::filesystem::path& root, std::string* error);
// False, with the reason in error, when root cannot be claimed or the tree cannot be
// written; what the call made is taken away again.
bool PlugBridge(const SysfsBridge& bridge, std::string* error);
// Removes what Plug made; nothing when it is not there, and nothing in a tree that is
// not the virtual printer's.
void UnplugBridge(const SysfsBridge& bridge);

}  // namespace zerviko::sim
