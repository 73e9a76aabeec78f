// The port list on Linux: the machine's serial devices by device path, the CUPS
// printer installed on each, and the tty of the printer's USB bridge pre-selected.
//
// Environment variables, all opt-in. The first two let a port that sysfs does not show
// (the virtual printer's pseudo-terminal, for one) take part:
//   ZERVIKO_EXTRA_PORTS  device paths separated by ";" added to the list as given
//                        (symlinks too), after the serial devices; see SplitPortPaths;
//   ZERVIKO_BRIDGE_PORT  a device path that stands as the printer's own bridge: added
//                        to the list when missing, pre-selected, and returned by
//                        FindPrinterBridgePort (and FindPrinterBridges, first).
// The third moves what is read:
//   ZERVIKO_SYSFS_ROOT   the folder that stands for "/" when sysfs is read, so that a
//                        command-line check sees a tree it built, not the machine.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ports/PortDiscovery.h"
#include "ports/PortList.h"

namespace zerviko::ports {

inline constexpr const char* ENV_EXTRA_PORTS = "ZERVIKO_EXTRA_PORTS";
inline constexpr const char* ENV_BRIDGE_PORT = "ZERVIKO_BRIDGE_PORT";
inline constexpr const char* ENV_SYSFS_ROOT = "ZERVIKO_SYSFS_ROOT";

// Separates the paths of ZERVIKO_EXTRA_PORTS. udev's stable names of serial devices
// (/dev/serial/by-id/..., /dev/serial/by-path/...) never hold it, while by-path names
// hold colons.
inline constexpr char PORT_PATH_SEPARATOR = ';';

// What the list is built from. The defaults are the running system's.
struct PortSources {
  std::filesystem::path sysfsRoot = "/";  // ZERVIKO_SYSFS_ROOT
  std::vector<std::string> extraPorts;    // ZERVIKO_EXTRA_PORTS
  std::string bridgePort;                 // ZERVIKO_BRIDGE_PORT
  std::string cupsServer;                 // empty: libcups's own choice
};

// The defaults, with the variables read from the environment.
PortSources PortSourcesFromEnvironment();

// "/a;/b:1;;/c" gives /a, /b:1, /c. A text without ";" is read as the colon-separated
// list of earlier versions when every piece between colons is an absolute path
// ("/a:/b::/c" gives /a, /b, /c); otherwise it is one path, colons and all.
std::vector<std::string> SplitPortPaths(const std::string& text);

// The candidate ports in list order: serial devices, extra ports, the bridge port;
// each once.
std::vector<std::string> CandidatePorts(const PortSources& sources);

PortList BuildPortList(const PortSources& sources);
std::string FindPrinterBridgePort(const PortSources& sources);
// The bridge port variable's port first, when it is set, then the tty of every bridge
// with the printer's product text; a bridge without one (no tty on its interface 0, or
// none at all) as "usb" and its USB path. A bridge's plugIn is its USB bus and device
// number ("1:7"), which the kernel gives anew at each plug-in.
std::vector<PrinterBridge> FindPrinterBridges(const PortSources& sources);

// A spooler over ports and printers gathered beforehand, naming ports by device path.
class DevicePathSpooler : public PrintSpooler {
 public:
  DevicePathSpooler(std::vector<std::string> ports, std::vector<SpoolerPrinter> printers);

  PortNaming Naming() const override { return PortNaming::DEVICE_PATHS; }
  bool EnumPorts(std::vector<std::string>* ports, std::size_t capacity,
                 std::size_t& needed) override;
  bool EnumPrinters(std::vector<SpoolerPrinter>* printers, std::size_t capacity,
                    std::size_t& needed) override;
  std::uint32_t LastError() const override { return m_lastError; }

 private:
  std::vector<std::string> m_ports;
  std::vector<SpoolerPrinter> m_printers;
  std::uint32_t m_lastError = 0;
};

}  // namespace zerviko::ports
