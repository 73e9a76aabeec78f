// The port list: which ports are offered, how their entries read, which one is
// pre-selected.
#include <algorithm>
#include <cstdio>

#include "ports/PortDiscovery.h"

namespace zerviko::ports {

bool KeepSpoolerPort(const std::string& portName) {
  if (portName.find(PORT_FILTER_COM) != std::string::npos) return true;
  return portName.find(PORT_FILTER_USB) != std::string::npos;
}

std::vector<std::string> EnumerateSpoolerPorts(PrintSpooler& spooler) {
  std::vector<std::string> portNames;
  std::size_t needed = 0;
  // A first call that succeeds has nothing to return.
  if (spooler.EnumPorts(nullptr, 0, needed)) return portNames;
  if (spooler.LastError() != SPOOLER_ERROR_INSUFFICIENT_BUFFER) return portNames;

  std::vector<std::string> ports;
  std::size_t again = 0;
  if (!spooler.EnumPorts(&ports, needed, again)) return portNames;
  const bool filter = spooler.Naming() == PortNaming::SPOOLER_NAMES;
  for (std::string& name : ports) {
    if (!filter || KeepSpoolerPort(name)) portNames.push_back(std::move(name));
  }
  return portNames;
}

std::string FormatPortDisplay(const std::string& portName, const std::string& printerName,
                              int columnWidth) {
  if (printerName.empty()) return portName;
  std::string display = portName;
  if (display.size() < static_cast<std::size_t>(columnWidth)) {
    display.resize(static_cast<std::size_t>(columnWidth), ' ');
  }
  return display + printerName;
}

void AddPortEntries(PortListBox& list, const std::vector<std::string>& portNames,
                    PrintSpooler& spooler) {
  std::vector<SpoolerPrinter> printers;
  std::size_t needed = 0;
  if (!spooler.EnumPrinters(nullptr, 0, needed)) {
    if (spooler.LastError() != SPOOLER_ERROR_INSUFFICIENT_BUFFER) return;
    std::size_t again = 0;
    // A fetch that fails after all leaves the ports without printer names.
    if (!spooler.EnumPrinters(&printers, needed, again)) printers.clear();
  }

  // The first printer in spooler order on exactly this port, letter case included: a
  // printer whose port field names several ports matches none of them.
  std::vector<const SpoolerPrinter*> installed(portNames.size(), nullptr);
  for (std::size_t i = 0; i < portNames.size(); ++i) {
    const auto printer =
        std::find_if(printers.begin(), printers.end(),
                     [&](const SpoolerPrinter& p) { return p.portName == portNames[i]; });
    if (printer != printers.end()) installed[i] = &*printer;
  }

  // Device paths are longer than the original 7 columns and vary in length: the
  // column takes the longest port that shows a printer, plus one blank, so that the
  // printer names still line up in the fixed-pitch list.
  int columnWidth = PORT_COLUMN_WIDTH;
  if (spooler.Naming() == PortNaming::DEVICE_PATHS) {
    std::size_t longest = 0;
    for (std::size_t i = 0; i < portNames.size(); ++i) {
      if (installed[i] != nullptr) longest = std::max(longest, portNames[i].size());
    }
    columnWidth = static_cast<int>(longest + 1);
  }

  for (std::size_t i = 0; i < portNames.size(); ++i) {
    const std::string printerName = installed[i] ? installed[i]->printerName : std::string();
    const int position = list.AddString(FormatPortDisplay(portNames[i], printerName, columnWidth));
    list.SetItemData(position, i);
  }
}

void SelectMarkedEntry(PortListBox& list) {
  list.SetCurSel(0);
  for (int i = 0; i < list.GetCount(); ++i) {
    if (list.GetText(i).find(PRINTER_NAME_MARK) != std::string::npos) {
      list.SetCurSel(i);
      return;
    }
  }
}

void SelectComPortEntry(PortListBox& list, int comNumber) {
  if (comNumber < 1) {
    SelectMarkedEntry(list);
    return;
  }
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, PRESELECT_PATTERN, comNumber);
  const int found = list.FindString(-1, prefix);
  list.SetCurSel(found == PortListBox::LB_ERR ? 0 : found);
}

void SelectDevicePathEntry(PortListBox& list, const std::vector<std::string>& portNames,
                           const std::string& bridgePort) {
  if (bridgePort.empty()) {
    SelectMarkedEntry(list);
    return;
  }
  // Matched on the port itself, not on a prefix of the display text: /dev/ttyUSB1
  // must not pick /dev/ttyUSB10.
  for (int i = 0; i < list.GetCount(); ++i) {
    const std::size_t item = list.GetItemData(i);
    if (item < portNames.size() && portNames[item] == bridgePort) {
      list.SetCurSel(i);
      return;
    }
  }
  list.SetCurSel(0);
}

void FillPortList(PortListBox& list, std::vector<std::string>& portNames,
                  PrintSpooler& spooler, BridgeLibrary& library, Registry& registry,
                  PlatformVersion& version) {
  portNames = EnumerateSpoolerPorts(spooler);
  AddPortEntries(list, portNames, spooler);
  if (list.GetCount() < 1) return;
  SelectComPortEntry(list, FindBridgeComPort(library, registry, version, BRIDGE_PRODUCT_TEXT));
}

}  // namespace zerviko::ports
