// The Linux providers over sysfs trees built in a temporary folder: which ttys are
// serial devices, what the USB bridges above them say, and the port list they make.
#include <gtest/gtest.h>

#include <cstdio>

#include "TempDir.h"
#include "ports/LinuxPorts.h"
#include "ports/SysfsSerial.h"

namespace zerviko::ports::test {
namespace {

namespace fs = std::filesystem;

const fs::path USB_BUS = "pci0000:00/0000:00:14.0/usb1";

// A sysfs tree laid out as the kernel lays it out, with relative links.
class SysfsTree {
 public:
  explicit SysfsTree(const TempDir& dir) : m_dir(dir) {}

  // A tty below the device at parent (relative to sys/devices).
  void AddTty(const std::string& name, const fs::path& parent, bool withDevice = true) {
    const fs::path tty = fs::path("sys/devices") / parent / "tty" / name;
    m_dir.Write(tty / "dev", "188:0\n");
    if (withDevice) m_dir.Link(fs::path("../../..") / parent.filename(), tty / "device");
    m_dir.Link(fs::path("../../devices") / parent / "tty" / name, fs::path("sys/class/tty") / name);
  }
  void AddUart(const std::string& name, const fs::path& parent, int type) {
    AddTty(name, parent);
    const fs::path tty = fs::path("sys/devices") / parent / "tty" / name;
    m_dir.Write(tty / "type", std::to_string(type) + "\n");
    m_dir.Write(tty / "port", "0x2F8\n");
    m_dir.Write(tty / "irq", "3\n");
  }
  void AddVirtualTty(const std::string& name) {
    m_dir.Write(fs::path("sys/devices/virtual/tty") / name / "dev", "4:0\n");
    m_dir.Link(fs::path("../../devices/virtual/tty") / name, fs::path("sys/class/tty") / name);
  }
  // A USB device; attributes left empty are not written.
  fs::path AddUsbDevice(const std::string& busPort, const std::string& vendorId,
                        const std::string& productId, const std::string& serial,
                        const std::string& product) {
    const fs::path device = USB_BUS / busPort;
    const fs::path dir = fs::path("sys/devices") / device;
    m_dir.MakeDir(dir);
    if (!vendorId.empty()) m_dir.Write(dir / "idVendor", vendorId + "\n");
    if (!productId.empty()) m_dir.Write(dir / "idProduct", productId + "\n");
    if (!serial.empty()) m_dir.Write(dir / "serial", serial + "\n");
    if (!product.empty()) m_dir.Write(dir / "product", product + "\n");
    return device;
  }
  // A USB serial converter's port: interface, port device, tty.
  void AddTtyUsb(const fs::path& device, int interfaceNumber, const std::string& name) {
    const fs::path interface =
        device / (device.filename().string() + ":1." + std::to_string(interfaceNumber));
    char number[8];
    std::snprintf(number, sizeof number, "%02x\n", interfaceNumber);  // as the kernel writes it
    m_dir.Write(fs::path("sys/devices") / interface / "bInterfaceNumber", number);
    AddTty(name, interface / name);
  }
  // A CDC ACM port: the tty sits right below the interface.
  void AddTtyAcm(const fs::path& device, const std::string& name) {
    const fs::path interface = device / (device.filename().string() + ":1.0");
    m_dir.Write(fs::path("sys/devices") / interface / "bInterfaceNumber", "00\n");
    AddTty(name, interface);
  }

 private:
  const TempDir& m_dir;
};

// The machine most tests look at.
class Sysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    SysfsTree tree(dir);
    // A dual bridge whose second UART the kernel bound first: its port is interface 0's.
    const fs::path bridge = tree.AddUsbDevice("1-2", "10c4", "ea70", "ab 12", BRIDGE_PRODUCT_TEXT);
    tree.AddTtyUsb(bridge, 1, "ttyUSB0");
    tree.AddTtyUsb(bridge, 0, "ttyUSB1");
    const fs::path generic =
        tree.AddUsbDevice("1-1", "10c4", "ea60", "0001", "CP2102 USB to UART Bridge Controller");
    tree.AddTtyUsb(generic, 0, "ttyUSB4");
    const fs::path dual = tree.AddUsbDevice("1-5", "0403", "6010", "FT1234", "Dual RS232");
    tree.AddTtyUsb(dual, 1, "ttyUSB3");
    tree.AddTtyUsb(dual, 0, "ttyUSB2");
    const fs::path arduino = tree.AddUsbDevice("1-3", "2341", "0043", "", "Arduino Uno");
    tree.AddTtyAcm(arduino, "ttyACM0");
    tree.AddUsbDevice("1-4", "046d", "c31c", "", "USB Keyboard");  // no tty
    tree.AddUart("ttyS0", "pnp0/00:05", 4);                       // an on-board 16550A
    tree.AddUart("ttyS10", "pnp0/00:06", 4);
    tree.AddUart("ttyS1", "platform/serial8250", 0);  // a placeholder: no UART there
    tree.AddTty("ttyS2", "platform/serial8250");      // no type at all
    tree.AddVirtualTty("tty0");
    tree.AddVirtualTty("console");
    tree.AddVirtualTty("ptmx");
  }

  PortSources Sources() const {
    PortSources sources;
    sources.sysfsRoot = dir.Path();
    sources.cupsServer = (dir.Path() / "no-cups.sock").string();  // no server: no printers
    return sources;
  }

  TempDir dir;
};

std::vector<std::string> Paths(const std::vector<SerialDevice>& devices) {
  std::vector<std::string> paths;
  for (const SerialDevice& device : devices) paths.push_back(device.devicePath);
  return paths;
}

TEST_F(Sysfs, SerialDevicesAreTtysBackedByARealDevice) {
  EXPECT_EQ(Paths(ListSerialDevices(dir.Path())),
            (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS10", "/dev/ttyUSB0",
                                      "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3",
                                      "/dev/ttyUSB4"}));
}

TEST_F(Sysfs, UsbDevicesAboveTheSerialDevices) {
  const std::vector<UsbSerialDevice> devices = ListUsbSerialDevices(dir.Path());
  ASSERT_EQ(devices.size(), 4u);
  EXPECT_EQ(devices[0].ttyPath, "/dev/ttyACM0");
  EXPECT_EQ(devices[0].vendorId, 0x2341);
  EXPECT_EQ(devices[0].productId, 0x0043);
  EXPECT_FALSE(devices[0].serial.has_value());
  EXPECT_EQ(devices[0].product, "Arduino Uno");
  EXPECT_EQ(devices[1].ttyPath, "/dev/ttyUSB1");  // the dual bridge once, by its interface 0
  EXPECT_EQ(devices[1].vendorId, 0x10C4);
  EXPECT_EQ(devices[1].productId, 0xEA70);
  EXPECT_EQ(devices[1].serial, "ab 12");  // blanks kept: the look-ups convert them
  EXPECT_EQ(devices[1].product, BRIDGE_PRODUCT_TEXT);
  EXPECT_EQ(devices[2].ttyPath, "/dev/ttyUSB2");
  EXPECT_EQ(devices[3].ttyPath, "/dev/ttyUSB4");
}

TEST_F(Sysfs, BridgeLibraryFindsTheBridgeAndItsTty) {
  SysfsBridgeLibrary library(dir.Path());
  const BridgeMatch match = FindBridgeDevice(library, BRIDGE_PRODUCT_TEXT);
  ASSERT_TRUE(match.found);
  EXPECT_TRUE(match.identified);
  EXPECT_EQ(match.device.serial, "ab 12");
  EXPECT_EQ(library.TtyPath(match.index), "/dev/ttyUSB1");
  EXPECT_EQ(FindPrinterBridgePort(Sources()), "/dev/ttyUSB1");

  BridgeHandle handle = 0;
  std::uint16_t id = 0;
  EXPECT_NE(library.GetVendorId(handle, id), BRIDGE_SUCCESS);  // never opened
  ASSERT_EQ(library.Open(match.index, handle), BRIDGE_SUCCESS);
  EXPECT_EQ(library.Close(handle), BRIDGE_SUCCESS);
  EXPECT_NE(library.GetVendorId(handle, id), BRIDGE_SUCCESS);  // closed
  EXPECT_NE(library.Open(99, handle), BRIDGE_SUCCESS);
}

TEST_F(Sysfs, PortListOffersEverySerialDeviceAndSelectsTheBridge) {
  const PortList list = BuildPortList(Sources());
  ASSERT_EQ(list.entries.size(), 8u);
  for (const PortListEntry& entry : list.entries) EXPECT_EQ(entry.display, entry.port);
  ASSERT_GE(list.selected, 0);
  EXPECT_EQ(list.entries[static_cast<std::size_t>(list.selected)].port, "/dev/ttyUSB1");
}

TEST_F(Sysfs, BridgePortVariableStandsAsTheBridge) {
  PortSources sources = Sources();
  sources.bridgePort = "/dev/pts/7";
  sources.extraPorts = {"/dev/pts/5", "/dev/ttyUSB0", "/dev/pts/5"};
  EXPECT_EQ(FindPrinterBridgePort(sources), "/dev/pts/7");
  const PortList list = BuildPortList(sources);
  ASSERT_EQ(list.entries.size(), 10u);  // each port once
  EXPECT_EQ(list.entries.front().port, "/dev/pts/5");
  EXPECT_EQ(list.entries[static_cast<std::size_t>(list.selected)].port, "/dev/pts/7");
}

TEST(SysfsEdges, NoBridgeNoTreeAndOddAttributes) {
  TempDir dir;
  PortSources sources;
  sources.sysfsRoot = dir.Path() / "missing";
  sources.cupsServer = (dir.Path() / "no-cups.sock").string();
  const PortList empty = BuildPortList(sources);
  EXPECT_TRUE(empty.entries.empty());
  EXPECT_EQ(empty.selected, -1);
  EXPECT_EQ(FindPrinterBridgePort(sources), "");

  SysfsTree tree(dir);
  const std::string longSerial(100, 'Z');
  const fs::path odd = tree.AddUsbDevice("1-1", "10c4", "xyz", longSerial, std::string(300, 'P'));
  tree.AddTtyUsb(odd, 0, "ttyUSB0");
  const fs::path bridge = tree.AddUsbDevice("1-2", "10c4", "ea61", "", BRIDGE_PRODUCT_TEXT);
  tree.AddTtyUsb(bridge, 0, "ttyUSB1");
  const fs::path unbound = tree.AddUsbDevice("1-3", "10c4", "ea70", "", "CP2105");
  tree.AddTtyUsb(unbound, 1, "ttyUSB2");  // interface 0 has no tty
  sources.sysfsRoot = dir.Path();

  const std::vector<UsbSerialDevice> devices = ListUsbSerialDevices(dir.Path());
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_FALSE(devices[0].productId.has_value());  // not hexadecimal
  EXPECT_EQ(devices[2].ttyPath, "");  // another UART of the chip is not its port
  SysfsBridgeLibrary library(devices);
  BridgeHandle handle = 0;
  ASSERT_EQ(library.Open(0, handle), BRIDGE_SUCCESS);
  BridgeSerialBuffer serial{};
  std::uint8_t length = 0;
  library.GetSerialText(handle, serial, length, true);
  EXPECT_EQ(length, 64);
  BridgeProductBuffer product{};
  ASSERT_EQ(library.GetProductText(0, product, BRIDGE_PRODUCT_OPTION), BRIDGE_SUCCESS);
  EXPECT_EQ(std::string(product.data()), std::string(255, 'P'));
  library.Close(handle);

  // A bridge without a serial string is still found, with an empty serial.
  const BridgeMatch match = FindBridgeDevice(library, BRIDGE_PRODUCT_TEXT);
  ASSERT_TRUE(match.found);
  EXPECT_EQ(match.device.serial, "");
  EXPECT_EQ(FindPrinterBridgePort(sources), "/dev/ttyUSB1");
}

// A bench of printers on a hub: every bridge with the product text, the stand-in first.
TEST(SysfsBench, EveryPrinterBridgeAndNoOtherDevice) {
  TempDir dir;
  SysfsTree tree(dir);
  const std::pair<const char*, const char*> devices[] = {
      {"1-1", BRIDGE_PRODUCT_TEXT}, {"1-2", "CP2102 USB to UART Bridge Controller"},
      {"1-3", BRIDGE_PRODUCT_TEXT}, {"1-4", BRIDGE_PRODUCT_TEXT}};
  for (std::size_t i = 0; i < std::size(devices); ++i) {
    const auto& [busPort, product] = devices[i];
    tree.AddTtyUsb(tree.AddUsbDevice(busPort, "10c4", "ea60", "0001", product), 0,
                   "ttyUSB" + std::to_string(i));
  }
  PortSources sources;
  sources.sysfsRoot = dir.Path();
  EXPECT_EQ(FindPrinterBridgePorts(sources),
            (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB3"}));
  sources.bridgePort = "/dev/pts/7";
  EXPECT_EQ(FindPrinterBridgePorts(sources).front(), "/dev/pts/7");
}

TEST(PortPaths, SeparatedBySemicolonsOrAsBeforeByColons) {
  const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0";
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> paths;
  } rows[] = {
      {"a stable name with colons", byPath, {byPath}},
      {"semicolons", "/dev/pts/3;;" + byPath + ";", {"/dev/pts/3", byPath}},
      {"colons between absolute paths", "/dev/pts/3::/tmp/sim/port:",
       {"/dev/pts/3", "/tmp/sim/port"}},
      {"colons that would cut a name", "/dev/pts/3:" + byPath, {"/dev/pts/3:" + byPath}},
      {"nothing", "", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SplitPortPaths(row.text), row.paths);
  }
}

TEST(PortPaths, EnvironmentVariablesAreRead) {
  ::setenv(ENV_EXTRA_PORTS, "/dev/pts/1:/dev/pts/2", 1);
  ::setenv(ENV_BRIDGE_PORT, "/dev/pts/2", 1);
  const PortSources sources = PortSourcesFromEnvironment();
  ::unsetenv(ENV_EXTRA_PORTS);
  ::unsetenv(ENV_BRIDGE_PORT);
  EXPECT_EQ(sources.extraPorts, (std::vector<std::string>{"/dev/pts/1", "/dev/pts/2"}));
  EXPECT_EQ(sources.bridgePort, "/dev/pts/2");
  EXPECT_EQ(sources.sysfsRoot, fs::path("/"));
  EXPECT_EQ(PortSourcesFromEnvironment().bridgePort, "");
}

TEST(PortPaths, SymlinkToAListedPortIsTheSamePort) {
  TempDir dir;
  dir.Write("real", "");
  dir.Link(dir.Path() / "real", "alias");
  PortSources sources;
  sources.sysfsRoot = dir.Path() / "missing";
  sources.extraPorts = {(dir.Path() / "real").string(), (dir.Path() / "alias").string()};
  sources.bridgePort = (dir.Path() / "alias").string();
  sources.cupsServer = (dir.Path() / "no-cups.sock").string();
  const PortList list = BuildPortList(sources);
  ASSERT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries[0].port, (dir.Path() / "real").string());
  EXPECT_EQ(list.selected, 0);
}

}  // namespace
}  // namespace zerviko::ports::test
