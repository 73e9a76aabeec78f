// The port list on Windows, as the loader was designed to build it: the spooler's COM
// and USB ports with the local printer installed on each, and the COM port of the
// printer's own USB bridge, found through the bridge maker's library and the
// registry, pre-selected.
#include "ports/PortList.h"
#include "ports/Win32Providers.h"

namespace zerviko::ports {

PortList BuildPortList() {
  Win32Spooler spooler;
  Win32BridgeLibrary library;
  Win32Registry registry;
  Win32Version version;
  PortListBox list;
  std::vector<std::string> portNames;
  FillPortList(list, portNames, spooler, library, registry, version);
  return ToPortList(list, portNames);
}

std::string FindPrinterBridgePort() {
  Win32BridgeLibrary library;
  Win32Registry registry;
  Win32Version version;
  const int comNumber = FindBridgeComPort(library, registry, version, BRIDGE_PRODUCT_TEXT);
  return comNumber >= 1 ? "COM" + std::to_string(comNumber) : std::string();
}

std::vector<PrinterBridge> FindPrinterBridges() {
  Win32BridgeLibrary library;
  Win32Registry registry;
  Win32Version version;
  return FindBridgeComPorts(library, registry, version, BRIDGE_PRODUCT_TEXT);
}

}  // namespace zerviko::ports
