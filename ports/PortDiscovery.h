// Port discovery: which ports the model and port page offers, which printer is
// installed on each, and which entry it pre-selects.
//
// Everything here is free of any platform: the port filter, the display texts, the
// sorted list with its item values, the bridge device loop, the registry layouts of
// the loader's original platform, the parsing of a COM number and the order of the
// pre-selection. What it reads from the system comes through the interfaces below
// (a print spooler, the bridge maker's library, the registry, the platform version);
// the Linux providers live in SysfsSerial.h, CupsPrinters.h and LinuxPorts.h, the
// Windows ones in Win32Providers.h, and the tests hand in fakes.
//
// All of it is synchronous and single-threaded; nothing keeps state between calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ports/PortList.h"

namespace zerviko::ports {

// The product string of the printer's own USB bridge, compared whole and exactly.
inline constexpr const char* BRIDGE_PRODUCT_TEXT = "Tarno Corp. Zerviko / Talvrine USB";
// A list entry showing this (a printer of ours installed on the port) is the fallback
// pre-selection when no bridge gives a port.
inline constexpr const char* PRINTER_NAME_MARK = "Tarno ZERVIKO";
// The spooler also offers LPT1:, FILE: and the like; only these can reach the printer.
inline constexpr const char* PORT_FILTER_COM = "COM";
inline constexpr const char* PORT_FILTER_USB = "USB";
// The list entry of COM n begins with this; the colon keeps COM1: from matching COM12:.
inline constexpr const char* PRESELECT_PATTERN = "COM%d:";
// Port column of the original platform's short names (COM3:, USB001).
inline constexpr int PORT_COLUMN_WIDTH = 7;

// ---------------------------------------------------------------------------------
// Print spooler

inline constexpr std::uint32_t SPOOLER_ERROR_INSUFFICIENT_BUFFER = 122;

// One local printer as the spooler lists it: its name and the port it prints to.
struct SpoolerPrinter {
  std::string printerName;
  std::string portName;
};

// How a spooler names its ports, which decides the filter and the port column.
enum class PortNaming {
  SPOOLER_NAMES,  // COM3:, USB001, LPT1:, FILE: ...: filtered to COM and USB, 7 columns
  DEVICE_PATHS,   // /dev/ttyUSB0 ...: serial devices only, all offered, column fits them
};

// The spooler's port and printer enumerations. Both follow its two-call protocol:
// called with no output and a capacity of 0, a call reports in needed how many bytes
// the records take and fails with SPOOLER_ERROR_INSUFFICIENT_BUFFER (or succeeds when
// there is nothing to return); called again with a capacity of at least needed, it
// fills the output. LastError tells why the last failed call failed.
class PrintSpooler {
 public:
  virtual ~PrintSpooler() = default;
  virtual PortNaming Naming() const = 0;
  virtual bool EnumPorts(std::vector<std::string>* ports, std::size_t capacity,
                         std::size_t& needed) = 0;
  virtual bool EnumPrinters(std::vector<SpoolerPrinter>* printers, std::size_t capacity,
                            std::size_t& needed) = 0;
  virtual std::uint32_t LastError() const = 0;
};

// ---------------------------------------------------------------------------------
// The bridge maker's library: the seven operations the discovery calls. Each returns
// BRIDGE_SUCCESS or a non-zero failure code.

inline constexpr int BRIDGE_SUCCESS = 0;
inline constexpr std::size_t BRIDGE_SERIAL_BUFFER_SIZE = 64;    // 63 characters and a zero
inline constexpr std::size_t BRIDGE_PRODUCT_BUFFER_SIZE = 256;  // 255 characters and a zero
inline constexpr std::uint32_t BRIDGE_PRODUCT_OPTION = 1;       // the product description
inline constexpr bool BRIDGE_SERIAL_SINGLE_BYTE = true;         // not UTF-16

using BridgeHandle = std::uintptr_t;
using BridgeSerialBuffer = std::array<char, BRIDGE_SERIAL_BUFFER_SIZE>;
using BridgeProductBuffer = std::array<char, BRIDGE_PRODUCT_BUFFER_SIZE>;

class BridgeLibrary {
 public:
  virtual ~BridgeLibrary() = default;
  // The number of bridge devices attached; the return value tells nothing.
  virtual int GetDeviceCount(std::uint32_t& count) = 0;
  // The product description of a device by index, zero-terminated.
  virtual int GetProductText(std::uint32_t index, BridgeProductBuffer& text,
                             std::uint32_t option) = 0;
  virtual int Open(std::uint32_t index, BridgeHandle& handle) = 0;
  virtual int Close(BridgeHandle handle) = 0;
  // The serial text without a terminator; length says how many characters were
  // written, and a library may report more than the buffer holds.
  virtual int GetSerialText(BridgeHandle handle, BridgeSerialBuffer& text,
                            std::uint8_t& length, bool singleByte) = 0;
  virtual int GetVendorId(BridgeHandle handle, std::uint16_t& vendorId) = 0;
  virtual int GetProductId(BridgeHandle handle, std::uint16_t& productId) = 0;
};

// ---------------------------------------------------------------------------------
// The registry and the platform version of the original platform.

using RegistryKey = std::uintptr_t;
inline constexpr RegistryKey REGISTRY_LOCAL_MACHINE = 0x80000002u;
inline constexpr long REGISTRY_SUCCESS = 0;
inline constexpr std::uint32_t REGISTRY_KEY_READ = 0x20019u;
inline constexpr std::uint32_t REGISTRY_KEY_ALL_ACCESS = 0xF003Fu;
inline constexpr std::size_t REGISTRY_VALUE_BUFFER_SIZE = 100;

class Registry {
 public:
  virtual ~Registry() = default;
  virtual long OpenKey(RegistryKey parent, const std::string& subKey, std::uint32_t access,
                       RegistryKey& key) = 0;
  // size: in, the bytes data can take; out, the bytes written (a string value's
  // terminator included when it was stored with one).
  virtual long QueryValue(RegistryKey key, const std::string& name, char* data,
                          std::uint32_t& size) = 0;
  virtual long CloseKey(RegistryKey key) = 0;
  // When the key was last written, in the system's own units; false when it cannot say.
  virtual bool KeyWriteTime(RegistryKey key, std::uint64_t& time) {
    (void)key, (void)time;
    return false;
  }
};

class PlatformVersion {
 public:
  virtual ~PlatformVersion() = default;
  virtual std::uint32_t GetVersion() = 0;
};

inline constexpr std::uint32_t VERSION_MASK = 0x8000000Fu;
inline constexpr std::uint32_t VERSION_NT_5 = 0x00000005u;
inline constexpr std::uint32_t VERSION_9X_4 = 0x80000004u;
inline constexpr std::uint32_t VERSION_9X_FAMILY = 0x80000000u;

// ---------------------------------------------------------------------------------
// The port list: a sorted list box. Entries are kept in case-insensitive order of
// their texts; an entry's item value ties it back to its port name.

class PortListBox {
 public:
  static constexpr int LB_ERR = -1;

  // Inserts text at its sorted place (after entries that compare equal) and returns
  // that position.
  int AddString(const std::string& text);
  void SetItemData(int index, std::size_t value);
  std::size_t GetItemData(int index) const;
  int GetCount() const { return static_cast<int>(m_entries.size()); }
  const std::string& GetText(int index) const;
  void SetCurSel(int index);
  int GetCurSel() const { return m_selected; }
  // The first entry after start (from the top when start is -1, wrapping round
  // otherwise) whose text begins with prefix, letter case ignored; LB_ERR if none.
  int FindString(int start, const std::string& prefix) const;

 private:
  struct Entry {
    std::string text;
    std::size_t itemData = 0;
  };
  std::vector<Entry> m_entries;
  int m_selected = LB_ERR;
};

// Case-insensitive comparison as the sorted list uses it: <0, 0, >0.
int CompareNoCase(const std::string& a, const std::string& b);

// ---------------------------------------------------------------------------------
// The decisions.

// True for a spooler port name the printer may be on: "COM" anywhere, else "USB"
// anywhere, letter case as given.
bool KeepSpoolerPort(const std::string& portName);

// The spooler's ports that may reach the printer, in spooler order. Spooler names
// are filtered; device paths are serial devices already and are all kept.
std::vector<std::string> EnumerateSpoolerPorts(PrintSpooler& spooler);

// "%-*s%s" of the port name and the printer name, or the port name alone when no
// printer is installed on it.
std::string FormatPortDisplay(const std::string& portName, const std::string& printerName,
                              int columnWidth);

// Adds one entry per port name (item value: its index in portNames), showing the
// first printer in spooler order installed on exactly that port. Adds nothing when
// the spooler cannot enumerate its printers.
void AddPortEntries(PortListBox& list, const std::vector<std::string>& portNames,
                    PrintSpooler& spooler);

// What one bridge device gave.
struct BridgeDevice {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::string serial;
  std::string product;
};

// The first bridge device, by index, whose product description is productText.
struct BridgeMatch {
  bool found = false;
  std::uint32_t index = 0;
  bool identified = false;  // vendor ID and product ID (and so the serial) were read
  BridgeDevice device;
};
BridgeMatch FindBridgeDevice(BridgeLibrary& library, const std::string& productText);

// COM number of the printer's bridge: n >= 1 for COM n, 0 when no device carries
// productText, -1 when it does but no COM number could be read for it.
int FindBridgeComPort(BridgeLibrary& library, Registry& registry, PlatformVersion& version,
                      const std::string& productText);

// The same loop over every device, for a bench of printers: every device whose
// product description is productText, by index.
std::vector<BridgeMatch> FindBridgeDevices(BridgeLibrary& library, const std::string& productText);

// Every matching device of a bench, in device order: COM n as its port and name (each
// port once), or, for a device the registry gives no COM number, no port and a name
// from its serial text ("serial 0001"; "bridge 2", its index, when it has none or
// shares it with a bridge listed before).
std::vector<PrinterBridge> FindBridgeComPorts(BridgeLibrary& library, Registry& registry,
                                              PlatformVersion& version,
                                              const std::string& productText);

// The registry look-ups of the two original registry layouts; -1 when not found.
int LookupComNumberNt(Registry& registry, std::uint16_t vendorId, std::uint16_t productId,
                      const std::string& serial);
int LookupComNumber9x(Registry& registry, std::uint16_t vendorId, std::uint16_t productId,
                      const std::string& serial);

// Which plug-in of the device this is, on the NT layout: Plug and Play makes the device's
// volatile Control key anew at each arrival and removes it at removal, so the time it
// was written tells one arrival from the next, however short the gap. Empty when the
// device has no such key (not plugged in, or a system that keeps none).
std::string LookupPlugInNt(Registry& registry, std::uint16_t vendorId, std::uint16_t productId,
                           const std::string& serial);

// The number after the first three characters of a port name value (COM12 gives 12,
// COM12x gives 12, COM gives 0).
int ParseComNumber(const std::string& portNameValue);

// Selects the entry of COM n when n >= 1 (the first entry if the list has none),
// else the fallback below. The list must not be empty.
void SelectComPortEntry(PortListBox& list, int comNumber);

// The first entry, then the first entry whose text contains PRINTER_NAME_MARK.
void SelectMarkedEntry(PortListBox& list);

// Where ports are device paths, the bridge's port is a device path too: selects the
// entry of exactly that port (the first entry if the list has none), or the fallback
// above when bridgePort is empty. The list must not be empty.
void SelectDevicePathEntry(PortListBox& list, const std::vector<std::string>& portNames,
                           const std::string& bridgePort);

// The whole list as the original platform builds it: ports, entries, pre-selection.
// portNames receives the port name array the item values index.
void FillPortList(PortListBox& list, std::vector<std::string>& portNames,
                  PrintSpooler& spooler, BridgeLibrary& library, Registry& registry,
                  PlatformVersion& version);

// The list box's entries and selection as the page shows them.
PortList ToPortList(const PortListBox& list, const std::vector<std::string>& portNames);

}  // namespace zerviko::ports
