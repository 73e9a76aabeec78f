// The port list on Linux: the machine's serial devices by device path, the CUPS
// printer installed on each, and the tty of the printer's USB bridge pre-selected.
//
// Two environment variables, both opt-in, let a port that sysfs does not show (the
// virtual printer's pseudo-terminal, for one) take part:
//   ZERVIKO_EXTRA_PORTS  colon-separated device paths added to the list as given
//                        (symlinks too), after the serial devices;
//   ZERVIKO_BRIDGE_PORT  a device path that stands as the printer's own bridge: added
//                        to the list when missing, pre-selected, and returned by
//                        FindPrinterBridgePort.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ports/PortDiscovery.h"
#include "ports/PortList.h"

namespace zerviko::ports {

inline constexpr const char* ENV_EXTRA_PORTS = "ZERVIKO_EXTRA_PORTS";
inline constexpr const char* ENV_BRIDGE_PORT = "ZERVIKO_BRIDGE_PORT";

// What the list is built from. The defaults are the running system's.
struct PortSources {
  std::filesystem::path sysfsRoot = "/";
  std::vector<std::string> extraPorts;  // ZERVIKO_EXTRA_PORTS
  std::string bridgePort;               // ZERVIKO_BRIDGE_PORT
  std::string cupsServer;               // empty: libcups's own choice
};

// The defaults, with the two variables read from the environment.
PortSources PortSourcesFromEnvironment();

// "a:b::c" gives a, b, c.
std::vector<std::string> SplitPortPaths(const std::string& text);

// The candidate ports in list order: serial devices, extra ports, the bridge port;
// each once.
std::vector<std::string> CandidatePorts(const PortSources& sources);

PortList BuildPortList(const PortSources& sources);
std::string FindPrinterBridgePort(const PortSources& sources);

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
