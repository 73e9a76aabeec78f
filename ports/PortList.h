// What the model and port page shows: the machine's ports, each with the printer
// installed on it, in list order, and the entry to pre-select.
#pragma once

#include <string>
#include <vector>

namespace zerviko::ports {

struct PortListEntry {
  std::string display;  // the text the list shows
  std::string port;     // the port to open (a device path on Linux), never the display text
};

struct PortList {
  std::vector<PortListEntry> entries;  // in the order the list shows them
  int selected = -1;                   // index into entries; -1 only when entries is empty
};

// Builds the list from this machine's serial devices, its printers and its USB bridges.
PortList BuildPortList();

// The device path of the printer's own USB bridge on this machine; empty when none.
std::string FindPrinterBridgePort();

// What keeps this machine from looking for the printer's bridges at all, in a user's
// words: on Windows, the bridge maker's library that is missing, where it was looked
// for and what to do. Empty when nothing does (always on Linux).
std::string BridgeSearchProblem();

// A printer's bridge on a bench: the port to open, and the name the bench shows it by.
// A bridge that gives no port (on Linux its interface 0 has no tty, or its driver is not
// bound and it has none at all; on Windows the registry gives it no COM number) still
// holds a printer: its port is empty and its name says which bridge it is, "usb 1-4"
// (its USB path) on Linux, "serial 0001" (its serial text) on Windows.
struct PrinterBridge {
  std::string port;
  std::string name;
  // The bridge's serial text (its USB serial number on Linux), which tells one printer
  // from another; empty when the bridge has none (or, on Windows, gives none).
  std::string serial;
  std::string plugIn;  // tells this plug-in of the bridge from an earlier one; empty when the system cannot tell
  bool operator==(const PrinterBridge&) const = default;
};

// Every USB bridge on this machine that carries the printer's product text (a bench of
// printers on a hub), in the order the bridges are found, each port once.
std::vector<PrinterBridge> FindPrinterBridges();

}  // namespace zerviko::ports
