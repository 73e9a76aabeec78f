#include "ports/LinuxPorts.h"

#include <cstdlib>
#include <system_error>

#include "ports/CupsPrinters.h"
#include "ports/SysfsSerial.h"

namespace zerviko::ports {

namespace {

constexpr std::uint32_t SPOOLER_ERROR_NONE = 0;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : std::string();
}

// The same port under two names: the same text, or the same device file (a symlink
// to a listed port, /dev/serial/by-id/... for one).
bool SamePort(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

void AddOnce(std::vector<std::string>& ports, const std::string& port) {
  for (const std::string& listed : ports) {
    if (SamePort(listed, port)) return;
  }
  ports.push_back(port);
}

template <typename Record>
std::size_t RecordBytes(const std::vector<Record>& records, std::size_t (*size)(const Record&)) {
  std::size_t bytes = 0;
  for (const Record& record : records) bytes += size(record);
  return bytes;
}

std::size_t PortBytes(const std::string& port) { return sizeof(char*) + port.size() + 1; }
std::size_t PrinterBytes(const SpoolerPrinter& printer) {
  return 2 * sizeof(char*) + printer.printerName.size() + printer.portName.size() + 2;
}

// The spooler's two-call protocol over records already in hand.
template <typename Record>
bool Enumerate(const std::vector<Record>& records, std::size_t (*size)(const Record&),
               std::vector<Record>* out, std::size_t capacity, std::size_t& needed,
               std::uint32_t& lastError) {
  needed = RecordBytes(records, size);
  if (needed == 0) {
    if (out) out->clear();
    return true;
  }
  if (out == nullptr || capacity < needed) {
    lastError = SPOOLER_ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  *out = records;
  return true;
}

}  // namespace

DevicePathSpooler::DevicePathSpooler(std::vector<std::string> ports,
                                     std::vector<SpoolerPrinter> printers)
    : m_ports(std::move(ports)), m_printers(std::move(printers)), m_lastError(SPOOLER_ERROR_NONE) {}

bool DevicePathSpooler::EnumPorts(std::vector<std::string>* ports, std::size_t capacity,
                                  std::size_t& needed) {
  return Enumerate(m_ports, PortBytes, ports, capacity, needed, m_lastError);
}

bool DevicePathSpooler::EnumPrinters(std::vector<SpoolerPrinter>* printers, std::size_t capacity,
                                     std::size_t& needed) {
  return Enumerate(m_printers, PrinterBytes, printers, capacity, needed, m_lastError);
}

std::vector<std::string> SplitPortPaths(const std::string& text) {
  const auto split = [&text](char separator) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find(separator, start);
      if (end == std::string::npos) end = text.size();
      if (end > start) paths.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return paths;
  };
  if (text.find(PORT_PATH_SEPARATOR) != std::string::npos) return split(PORT_PATH_SEPARATOR);
  // The colon list of earlier versions, as long as it cuts no path: every path of such
  // a list begins with a slash, while the colons of udev's stable names are followed by
  // anything but one (by-path/pci-0000:00:14.0-usb-0:1:1.0-port0).
  std::vector<std::string> paths = split(':');
  for (const std::string& path : paths) {
    if (path.front() != '/') return {text};
  }
  return paths;
}

PortSources PortSourcesFromEnvironment() {
  PortSources sources;
  sources.extraPorts = SplitPortPaths(Environment(ENV_EXTRA_PORTS));
  sources.bridgePort = Environment(ENV_BRIDGE_PORT);
  const std::string sysfsRoot = Environment(ENV_SYSFS_ROOT);
  if (!sysfsRoot.empty()) sources.sysfsRoot = sysfsRoot;
  return sources;
}

std::vector<std::string> CandidatePorts(const PortSources& sources) {
  std::vector<std::string> ports;
  for (const SerialDevice& device : ListSerialDevices(sources.sysfsRoot)) {
    AddOnce(ports, device.devicePath);
  }
  for (const std::string& extra : sources.extraPorts) AddOnce(ports, extra);
  if (!sources.bridgePort.empty()) AddOnce(ports, sources.bridgePort);
  return ports;
}

std::string FindPrinterBridgePort(const PortSources& sources) {
  if (!sources.bridgePort.empty()) return sources.bridgePort;
  // The original platform asks the registry for the COM number of the matching
  // device; here the device's own tty is the answer, so the device is found by its
  // index and not looked up again by vendor, product and serial, which two cheap
  // bridges with the same default serial would share.
  SysfsBridgeLibrary library(sources.sysfsRoot);
  const BridgeMatch match = FindBridgeDevice(library, BRIDGE_PRODUCT_TEXT);
  if (!match.found || !match.identified) return {};
  return library.TtyPath(match.index);
}

std::vector<PrinterBridge> FindPrinterBridges(const PortSources& sources) {
  std::vector<PrinterBridge> bridges;
  const auto addOnce = [&bridges](PrinterBridge bridge) {
    for (const PrinterBridge& listed : bridges) {
      if (!bridge.port.empty() && SamePort(listed.port, bridge.port)) return;
    }
    bridges.push_back(std::move(bridge));
  };
  if (!sources.bridgePort.empty()) addOnce({sources.bridgePort, sources.bridgePort, "", ""});
  SysfsBridgeLibrary library(sources.sysfsRoot);
  for (const BridgeMatch& match : FindBridgeDevices(library, BRIDGE_PRODUCT_TEXT)) {
    const std::string tty = match.identified ? library.TtyPath(match.index) : std::string();
    // A bridge without a port still has a printer on it, which the bench must not
    // leave out unsaid: it is named by where it is plugged in.
    addOnce({tty, tty.empty() ? "usb " + library.UsbPath(match.index) : tty, match.device.serial,
             library.PlugIn(match.index)});
  }
  return bridges;
}

PortList BuildPortList(const PortSources& sources) {
  DevicePathSpooler spooler(CandidatePorts(sources), ListSerialPrinters(sources.cupsServer));
  PortListBox list;
  const std::vector<std::string> portNames = EnumerateSpoolerPorts(spooler);
  AddPortEntries(list, portNames, spooler);
  if (list.GetCount() > 0) {
    std::string bridgePort = FindPrinterBridgePort(sources);
    // The bridge may be known under another name than its list entry (a symlink).
    for (const std::string& port : portNames) {
      if (!bridgePort.empty() && SamePort(port, bridgePort)) {
        bridgePort = port;
        break;
      }
    }
    SelectDevicePathEntry(list, portNames, bridgePort);
  }
  return ToPortList(list, portNames);
}

PortList BuildPortList() { return BuildPortList(PortSourcesFromEnvironment()); }

std::string FindPrinterBridgePort() { return FindPrinterBridgePort(PortSourcesFromEnvironment()); }

std::vector<PrinterBridge> FindPrinterBridges() {
  return FindPrinterBridges(PortSourcesFromEnvironment());
}

// sysfs is always there to be read.
std::string BridgeSearchProblem() { return {}; }

}  // namespace zerviko::ports
