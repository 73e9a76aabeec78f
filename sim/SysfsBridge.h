// A virtual printer's USB bridge in a sysfs tree of our own, as the kernel shows a
// printer plugged into a hub: the USB device with its IDs, serial text and product
// string, the tty of its interface 0, and dev/ttyUSBn beside it, a link to the
// printer's pseudo-terminal. zerviko-flash reads such a tree when ZERVIKO_SYSFS_ROOT
// names its root, so that printers come and go without hardware.
//
// Plug makes the tree's entries so that a reader never sees a half-made bridge: the
// tty's entry in sys/class/tty, by which readers find it, comes last, and goes first
// on Unplug.
#pragma once

#include <filesystem>
#include <string>

namespace zerviko::sim {

struct SysfsBridge {
  std::filesystem::path root;  // the folder that stands for "/"
  int number = 0;              // the hub port is 1-(number+1), the tty ttyUSB<number>
  std::string serial;          // the USB serial number; empty: none
  // The pseudo-terminal dev/ttyUSBn links to. Empty: the bridge gives no port (its
  // interface 0 has no tty; only its second UART, on interface 1, has one).
  std::string devicePath;

  std::string TtyName() const { return "ttyUSB" + std::to_string(number); }
  // The device path a reader of the tree finds for the bridge's port.
  std::string PortPath() const { return (root / "dev" / TtyName()).string(); }
};

// False, with the reason in error, when the tree cannot be written.
bool PlugBridge(const SysfsBridge& bridge, std::string* error);
// Removes what Plug made; nothing when it is not there.
void UnplugBridge(const SysfsBridge& bridge);

}  // namespace zerviko::sim
