// The port list over a fake of the original platform (spooler, bridge library, registry,
// version), a row per case: the entries offered, in order, the bridge's COM number, the selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "ports/PortDiscovery.h"
#include "ports/PortIdentity.h"

namespace zerviko::ports {
namespace {

struct Device {  // a bridge device as the library shows it
  std::string serial = "0001";
  std::optional<std::string> product = BRIDGE_PRODUCT_TEXT;
  std::optional<std::uint16_t> vendorId = 0x10C4, productId = 0xEA60;
  int reportedLength = -1;  // the serial length the library reports; -1: the serial's own
  bool opens = true;
};

struct Value {  // a registry string value below HKEY_LOCAL_MACHINE
  std::string key, name, text;
  bool terminated = true;
};
enum Failing { NONE, PORT_SIZE, PORT_FETCH, PRINTER_SIZE, PRINTER_FETCH };
const std::string MARKED = "USB001 Tarno ZERVIKO 2";

struct Row {
  const char* name;
  // BOM4:COM differs from COM4: in its first letter only.
  std::vector<std::string> ports = {"COM1:", "LPT1:", "COM12:", "USB001", "FILE:", "COM4:", "BOM4:COM"};
  std::vector<SpoolerPrinter> printers = {{"Office", "COM1:"}, {"Tarno ZERVIKO 2", "USB001"}};
  Failing failing = NONE;  // the spooler call that fails
  std::vector<Device> devices = {};
  bool countsDevices = true;
  std::vector<Value> registry = {};
  bool everyKeyOpens = false;
  std::uint32_t version = 0x0A280105;     // Windows XP, NT 5.1
  bool lookUp = true;                     // a bridge found is looked up in the registry
  int com = 0;                            // what FindBridgeComPort gives
  std::vector<std::string> entries = {"BOM4:COM", "COM12:", "COM1:  Office", "COM4:", MARKED};
  std::string selected = MARKED;
};

class FakePlatform : public PrintSpooler, public BridgeLibrary, public Registry, public PlatformVersion {
 public:
  explicit FakePlatform(const Row& row) : m_row(row) {}
  std::vector<std::string> keysAsked;
  bool Clean() const { return m_handles.empty() && m_keys.empty() && m_readOnly; }
  PortNaming Naming() const override { return PortNaming::SPOOLER_NAMES; }
  bool EnumPorts(std::vector<std::string>* out, std::size_t capacity, std::size_t& needed) override {
    return Enumerate(m_row.ports, out, capacity, needed, PORT_SIZE);
  }
  bool EnumPrinters(std::vector<SpoolerPrinter>* out, std::size_t capacity, std::size_t& needed) override {
    return Enumerate(m_row.printers, out, capacity, needed, PRINTER_SIZE);
  }
  std::uint32_t LastError() const override { return m_error; }
  int GetDeviceCount(std::uint32_t& count) override {
    if (m_row.countsDevices) count = static_cast<std::uint32_t>(m_row.devices.size());
    return BRIDGE_SUCCESS;
  }
  int GetProductText(std::uint32_t index, BridgeProductBuffer& text, std::uint32_t what) override {
    // The maker's library gives the description for 1 (0: the serial number, 2: the path).
    if (index >= m_row.devices.size() || !m_row.devices[index].product || what != 1) return 1;
    const std::string& product = *m_row.devices[index].product;
    std::memcpy(text.data(), product.data(), std::min(product.size(), text.size()));  // like a careless library:
    if (product.size() < text.size()) text[product.size()] = '\0';                     // no room, no terminator
    return BRIDGE_SUCCESS;
  }
  int Open(std::uint32_t index, BridgeHandle& handle) override {
    if (index >= m_row.devices.size() || !m_row.devices[index].opens) return 1;
    m_handles.insert(handle = 100 + index);
    return BRIDGE_SUCCESS;
  }
  int Close(BridgeHandle handle) override { return m_handles.erase(handle) == 1 ? BRIDGE_SUCCESS : 1; }
  int GetSerialText(BridgeHandle handle, BridgeSerialBuffer& text, std::uint8_t& length, bool singleByte) override {
    const Device* device = m_handles.count(handle) && singleByte ? &m_row.devices[handle - 100] : nullptr;
    if (device == nullptr) return 1;
    std::memcpy(text.data(), device->serial.data(), std::min(device->serial.size(), text.size()));
    length = static_cast<std::uint8_t>(device->reportedLength < 0 ? device->serial.size() : device->reportedLength);
    return BRIDGE_SUCCESS;
  }
  int GetVendorId(BridgeHandle handle, std::uint16_t& value) override { return Id(handle, &Device::vendorId, value); }
  int GetProductId(BridgeHandle handle, std::uint16_t& value) override { return Id(handle, &Device::productId, value); }
  // A key exists when a value lies in it or below it; names are compared exactly.
  long OpenKey(RegistryKey parent, const std::string& subKey, std::uint32_t access, RegistryKey& key) override {
    std::string path = parent == REGISTRY_LOCAL_MACHINE ? subKey : m_keys.at(parent) + '\\' + subKey;
    while (path.ends_with('\\')) path.pop_back();
    keysAsked.push_back(path);
    m_readOnly = m_readOnly && access == REGISTRY_KEY_READ;
    const auto in = [&](const Value& v) { return v.key == path || v.key.starts_with(path + '\\'); };
    if (!m_row.everyKeyOpens && std::none_of(m_row.registry.begin(), m_row.registry.end(), in)) return 2;
    m_keys[key = m_nextKey++] = path;
    return REGISTRY_SUCCESS;
  }
  long QueryValue(RegistryKey key, const std::string& name, char* data, std::uint32_t& size) override {
    for (const Value& value : m_row.registry) {
      if (value.key != m_keys.at(key) || value.name != name) continue;
      const std::string bytes = value.terminated ? value.text + '\0' : value.text;
      if (bytes.size() > size) return 234;  // more data
      std::memcpy(data, bytes.data(), size = static_cast<std::uint32_t>(bytes.size()));
      return REGISTRY_SUCCESS;
    }
    return 2;
  }
  long CloseKey(RegistryKey key) override { return m_keys.erase(key) == 1 ? REGISTRY_SUCCESS : 6; }
  std::uint32_t GetVersion() override { return m_row.version; }

 private:
  template <typename Record>
  bool Enumerate(const std::vector<Record>& records, std::vector<Record>* out, std::size_t capacity,
                 std::size_t& needed, Failing sizeFails) {
    needed = records.size() * 64;
    const bool denied = m_row.failing == sizeFails + (out ? 1 : 0);
    m_error = denied ? 5 : SPOOLER_ERROR_INSUFFICIENT_BUFFER;
    if (out == nullptr || denied || capacity < needed) return out == nullptr && records.empty() && !denied;
    *out = records;
    return true;
  }
  int Id(BridgeHandle handle, std::optional<std::uint16_t> Device::*id, std::uint16_t& value) const {
    if (!m_handles.count(handle) || !(m_row.devices[handle - 100].*id)) return 1;
    value = *(m_row.devices[handle - 100].*id);
    return BRIDGE_SUCCESS;
  }

  const Row& m_row;
  std::uint32_t m_error = 0;
  std::set<BridgeHandle> m_handles;
  std::map<RegistryKey, std::string> m_keys;
  RegistryKey m_nextKey = 1;
  bool m_readOnly = true;  // keys opened for reading only, as a user without rights may
};

std::string Nt(const std::string& serial, const std::string& ids = "Vid_10c4&Pid_ea60") {
  return "SYSTEM\\CurrentControlSet\\Enum\\USB\\" + ids + "&Mi_00\\" + serial + "_00\\Device Parameters";
}
std::vector<Value> Keys9x(const std::vector<std::pair<std::string, std::string>>& idsAndPorts, int first = 0) {
  std::vector<Value> values;
  for (const auto& [id, port] : idsAndPorts) {
    char key[32];
    std::snprintf(key, sizeof key, "Enum\\SLABCR\\guid\\%04d", first++);
    if (!id.empty()) values.push_back({key, "CRLowerDeviceID", id});
    if (!port.empty()) values.push_back({key, "Portname", port});
  }
  return values;
}

TEST(PortList, Table) {
  const std::string id = "USB\\VID_10C4&PID_EA60&MI_00\\0001_00";
  const std::vector<Value> com4 = {{Nt("0001"), "PortName", "COM4"}};
  const std::vector<std::string> plain = {"BOM4:COM", "COM12:", "COM1:", "COM4:", "USB001"};
  const std::string BRIDGE = BRIDGE_PRODUCT_TEXT;
  constexpr std::uint32_t WINDOWS_98 = 0xC0000A04;  // 9x 4.10
  const Row rows[] = {
      {.name = "COM and USB ports kept, names padded to 7 columns",
       .ports = {"USB002", "COM3:", "LPT1:", "FILE:", "USB001", "com2:", "Ne01:", "XCOMY", "usb003", "COM10PORT"},
       .printers = {{"Office Printer", "COM3:"}, {"Label", "USB001"}, {"Long", "COM10PORT"}},
       .entries = {"COM10PORTLong", "COM3:  Office Printer", "USB001 Label", "USB002", "XCOMY"}, .selected = "COM10PORTLong"},
      {.name = "the first printer on exactly that port", .ports = {"COM1:", "COM2:", "COM3:"},
       .printers = {{"2", "COM5:"}, {"Lower", "com1:"}, {"Several", "COM2:,COM3:"}, {"First", "COM3:"}, {"3", "COM3:"}},
       .entries = {"COM1:", "COM2:", "COM3:  First"}, .selected = "COM1:"},
      {.name = "no printers", .printers = {}, .entries = plain, .selected = "BOM4:COM"},
      {.name = "the printers' fetch fails", .failing = PRINTER_FETCH, .entries = plain, .selected = "BOM4:COM"},
      {.name = "printers refused: no entries, no bridge asked", .failing = PRINTER_SIZE, .devices = {{}},
       .registry = com4, .com = 4, .entries = {}, .selected = ""},
      {.name = "ports refused", .failing = PORT_SIZE, .entries = {}, .selected = ""},
      {.name = "the ports' fetch fails", .failing = PORT_FETCH, .entries = {}, .selected = ""},
      {.name = "no ports", .ports = {}, .entries = {}, .selected = ""},
      {.name = "one port", .ports = {"USB001"}, .printers = {}, .entries = {"USB001"}, .selected = "USB001"},
      {.name = "no bridge: the printer mark"},
      {.name = "other products, compared whole", .devices = {{.product = "CP2102"}, {.product = BRIDGE + " "}},
       .registry = com4},
      {.name = "NT; COM1 is not COM12", .devices = {{}}, .registry = {{Nt("0001"), "PortName", "COM1"}}, .com = 1,
       .selected = "COM1:  Office"},
      {.name = "NT 4 has neither layout", .devices = {{}}, .registry = com4, .version = 4, .lookUp = false, .com = -1},
      {.name = "every NT from 5 on reads the NT layout", .devices = {{}}, .registry = com4, .version = 0x0000000A,
       .com = 4, .selected = "COM4:"},
      {.name = "a COM number without an entry: the first entry, not the mark", .devices = {{}},
       .registry = {{Nt("0001"), "PortName", "COM7"}}, .com = 7, .selected = "BOM4:COM"},
      {.name = "devices that cannot be opened or named are skipped",
       .devices = {{.opens = false}, {.product = {}}, {.serial = "0003"}}, .registry = {{Nt("0003"), "PortName", "COM4"}},
       .com = 4, .selected = "COM4:"},
      {.name = "only the first matching device counts", .devices = {{.serial = "0000"}, {}}, .registry = com4, .com = -1},
      {.name = "no vendor ID", .devices = {{.vendorId = {}}}, .registry = com4, .lookUp = false, .com = -1},
      {.name = "no product ID", .devices = {{.productId = {}}}, .registry = com4, .lookUp = false, .com = -1},
      {.name = "a library that gives no count", .devices = {{}}, .countsDevices = false, .registry = com4},
      {.name = "a serial length of 64 is cut to 63", .devices = {{.serial = std::string(64, 'S'), .reportedLength = 64}},
       .registry = {{Nt(std::string(63, 'S')), "PortName", "COM4"}}, .com = 4, .selected = "COM4:"},
      {.name = "NT: blanks become _, IDs in lower-case hex",
       .devices = {{.serial = "ab 12", .vendorId = 0xABCD, .productId = 0xEF}},
       .registry = {{Nt("ab_12", "Vid_abcd&Pid_00ef"), "PortName", "COM12x"}}, .com = 12, .selected = "COM12:"},
      {.name = "9x: blanks become _, all upper case", .devices = {{.serial = "ab 12", .vendorId = 0xABCD, .productId = 0xEF}},
       .registry = Keys9x({{"USB\\VID_ABCD&PID_00EF&MI_00\\AB_12_00", "COM4"}}), .version = WINDOWS_98, .com = 4,
       .selected = "COM4:"},
      {.name = "a value without a terminator", .devices = {{}}, .registry = {{Nt("0001"), "PortName", "COM4", false}},
       .com = 4, .selected = "COM4:"},
      {.name = "a value filling the buffer", .devices = {{}},
       .registry = {{Nt("0001"), "PortName", "COM" + std::string(95, '0') + "4"}}, .com = 4, .selected = "COM4:"},
      {.name = "a value beyond the buffer", .devices = {{}},
       .registry = {{Nt("0001"), "PortName", "COM4" + std::string(96, ' ')}},
       .com = -1},
      {.name = "9x: the last match of the whole sequence", .devices = {{}},
       .registry = Keys9x({{id, "COM4"}, {"USB\\VID_10C4&PID_EA60&MI_00\\0002_00", "COM1"}, {id, "COM12"}}),
       .version = WINDOWS_98, .com = 12, .selected = "COM12:"},
      {.name = "9x: the scan ends at the first missing key", .devices = {{}},
       .registry = Keys9x({{id, "COM4"}, {"", ""}, {id, "COM12"}}), .version = WINDOWS_98, .com = 4, .selected = "COM4:"},
      {.name = "9x: IDs compared exactly, a match without a port", .devices = {{}},
       .registry = Keys9x({{"usb\\vid_10c4&pid_ea60&mi_00\\0001_00", "COM4"}, {id, ""}}), .version = WINDOWS_98, .com = -1},
      {.name = "9x: the scan ends after four digits", .devices = {{}}, .registry = Keys9x({{id, "COM4"}}, 9999),
       .everyKeyOpens = true, .version = WINDOWS_98, .com = 4, .selected = "COM4:"},
      {.name = "letter case does not sort, equal texts keep their order", .ports = {"USBb", "USBA", "USBa", "USBB2"},
       .printers = {}, .entries = {"USBA", "USBa", "USBb", "USBB2"}, .selected = "USBA"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform(row);
    PortListBox list;
    std::vector<std::string> names;
    FillPortList(list, names, platform, platform, platform, platform);
    EXPECT_EQ(!platform.keysAsked.empty(), row.lookUp && row.com != 0 && !row.entries.empty());
    std::vector<std::string> entries;
    for (int i = 0; i < list.GetCount(); ++i) {
      entries.push_back(list.GetText(i));
      EXPECT_EQ(entries.back().rfind(names.at(list.GetItemData(i)), 0), 0u) << "item value of " << entries.back();
    }
    EXPECT_EQ(entries, row.entries);
    EXPECT_EQ(list.GetCurSel() < 0 ? "" : list.GetText(list.GetCurSel()), row.selected);
    EXPECT_EQ(FindBridgeComPort(platform, platform, platform, BRIDGE_PRODUCT_TEXT), row.com);
    EXPECT_TRUE(platform.Clean()) << "a handle or key left open, or a key opened for writing";
  }
}

TEST(PortList, ComNumbersAndLongProductTexts) {
  for (auto [value, number] : {std::pair{"COM7", 7}, {"COM007", 7}, {"COM12x", 12}, {"XYZ5", 5}, {"COM", 0},
                               {"CO", 0}, {"COMx3", 0}, {"COM-3", 0}, {"COM 3", 0}, {"COM2147483647", INT_MAX},
                               {"COM99999999999", -1}}) {
    EXPECT_EQ(ParseComNumber(value), number) << value;
  }
  // A port named on the command line: the spellings that open COM n, and no others.
  for (auto [name, number] : {std::pair{"COM5", 5}, {"com5", 5}, {"COM5:", 5}, {"\\\\.\\COM5", 5}, {"\\\\.\\cOm12", 12},
                              {"\\\\.\\COM5:", 0}, {"COM5::", 0}, {"COM05", 0}, {"COM0", 0}, {"COM", 0}, {"COM5x", 0},
                              {"LPT1:", 0}, {"/dev/ttyS5", 0}, {"COM99999999999", 0}}) {
    EXPECT_EQ(ComPortNumber(name), number) << name;
  }
  // A product text filling its buffer is cut to the 255 characters it holds.
  const Row row{.name = "", .devices = {{.product = std::string(300, 'P')}}};
  FakePlatform platform(row);
  EXPECT_TRUE(FindBridgeDevice(platform, std::string(255, 'P')).found);
}

// A bench of printers: every matching device, each port once, and a device the registry
// gives no port named by its serial text, or its index when that tells it from no other.
TEST(PortList, EveryPrinterBridgeOfABench) {
  const Row row{.name = "", .devices = {{}, {.serial = "0002"}, {.serial = "0003"}, {.serial = ""}, {.product = "CP2102"},
                                        {.serial = "0002"}, {.vendorId = {}}},
                .registry = {{Nt("0001"), "PortName", "COM4"}, {Nt("0003"), "PortName", "COM4"}}};
  FakePlatform platform(row);
  EXPECT_EQ(FindBridgeComPorts(platform, platform, platform, BRIDGE_PRODUCT_TEXT),
            (std::vector<PrinterBridge>{{"COM4", "COM4", "0001", ""}, {"", "serial 0002", "0002", ""}, {"", "bridge 3", "", ""},
                                        {"", "bridge 5", "0002", ""}, {"", "bridge 6", "", ""}}));
}

}  // namespace
}  // namespace zerviko::ports
