// The Linux providers: serial devices and USB bridges from sysfs trees built in a
// temporary folder, printers from a private CUPS server the test starts (or from
// servers that misbehave), and the port list they make together.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "ports/CupsPrinters.h"
#include "ports/LinuxPorts.h"
#include "ports/SysfsSerial.h"
#include "tests/TempFolder.h"

namespace zerviko::ports {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

// A folder of its own, removed at the end, and a sysfs tree in it as the kernel links it.
class Tree {
 public:
  Tree() : m_root(test::MakeTempFolder("zerviko-ports-")) {}
  ~Tree() { fs::remove_all(m_root); }
  const fs::path& Root() const { return m_root; }
  std::string operator/(const std::string& name) const { return (m_root / name).string(); }

  void Put(const fs::path& file, const std::string& text) const {
    fs::create_directories((m_root / file).parent_path());
    std::ofstream(m_root / file) << text;
  }
  // The tty name of the device at device (below sys/devices), backed by that device.
  void Tty(const fs::path& device, const std::string& name, bool backed = true) const {
    const fs::path tty = m_root / "sys/devices" / device / "tty" / name;
    Put(tty / "dev", "188:0\n");
    if (backed) fs::create_directory_symlink(m_root / "sys/devices" / device, tty / "device");
    fs::create_directories(m_root / "sys/class/tty");
    fs::create_directory_symlink(tty, m_root / "sys/class/tty" / name);
  }
  // A USB device, its idVendor, idProduct, serial and product (empty: none), and a tty
  // on each interface named.
  void Usb(const std::string& port, const Strings& attributes, const std::vector<std::pair<int, std::string>>& ttys) {
    const fs::path device = fs::path("pci0000:00/usb1") / port;
    const char* files[] = {"idVendor", "idProduct", "serial", "product"};
    for (std::size_t i = 0; i < 4; ++i) {
      if (!attributes[i].empty()) Put(fs::path("sys/devices") / device / files[i], attributes[i] + "\n");
    }
    for (const auto& [number, name] : ttys) {
      const fs::path interface = device / (port + ":1." + std::to_string(number));
      Put(fs::path("sys/devices") / interface / "bInterfaceNumber", "0" + std::to_string(number) + "\n");
      Tty(name.starts_with("ttyACM") ? interface : interface / name, name);  // ACM: right below it
    }
  }

 private:
  fs::path m_root;
};

// The list as the page shows it: "* " marks the selected entry, "@port" follows an entry
// whose port is not its text.
Strings Shown(const PortList& list) {
  Strings shown;
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    const PortListEntry& entry = list.entries[i];
    shown.push_back((static_cast<int>(i) == list.selected ? "* " : "  ") + entry.display +
                    (entry.port == entry.display ? "" : " @" + entry.port));
  }
  return shown;
}

// A bench of printers on a hub: every bridge with the product text, the stand-in first;
// one whose interface 0 has no tty is named by its USB path.
TEST(LinuxPorts, EveryPrinterBridgeOfABench) {
  Tree tree;
  tree.Usb("1-1", {"10c4", "ea60", "0001", BRIDGE_PRODUCT_TEXT}, {{0, "ttyUSB0"}});
  tree.Usb("1-2", {"10c4", "ea60", "0002", "CP2102"}, {{0, "ttyUSB1"}});
  tree.Usb("1-3.2", {"10c4", "ea70", "0003", BRIDGE_PRODUCT_TEXT}, {{1, "ttyUSB2"}});
  tree.Usb("1-4", {"10c4", "ea60", "0004", BRIDGE_PRODUCT_TEXT}, {{0, "ttyUSB3"}});
  PortSources sources{tree.Root(), {}, "", tree / "no-cups.sock"};
  EXPECT_EQ(FindPrinterBridges(sources), (std::vector<PrinterBridge>{{"/dev/ttyUSB0", "/dev/ttyUSB0", "0001", ""},
                                                                     {"", "usb 1-3.2", "0003", ""},
                                                                     {"/dev/ttyUSB3", "/dev/ttyUSB3", "0004", ""}}));
  sources.bridgePort = "/dev/pts/7";
  EXPECT_EQ(FindPrinterBridges(sources).front(), (PrinterBridge{"/dev/pts/7", "/dev/pts/7", "", ""}));
}

TEST(LinuxPorts, SerialDevicesAndBridgesFromSysfs) {
  Tree tree;
  // A dual bridge without a serial string, whose second UART the kernel bound first: its
  // port is interface 0's. Another chip's UART other than interface 0's is not its port.
  tree.Usb("1-2", {"10c4", "ea70", "", BRIDGE_PRODUCT_TEXT}, {{1, "ttyUSB0"}, {0, "ttyUSB1"}});
  tree.Usb("1-1", {"10c4", "ea60", "0001", "CP2102"}, {{0, "ttyUSB10"}});  // not chosen for ttyUSB1
  tree.Usb("1-6", {"10c4", "xyz", "", "CP2105"}, {{1, "ttyUSB6"}});
  tree.Usb("1-3", {"2341", "0043", "", "Arduino Uno"}, {{0, "ttyACM1"}});
  tree.Usb("1-5", {"10c4", "ea60", std::string(100, 'Z'), std::string(300, 'P')}, {{0, "ttyACM0"}});
  // A UART of the serial core counts when its type is not 0, the 8250 placeholders' type.
  for (auto [name, type] : {std::pair{"ttyS2", "4"}, {"ttyS10", "4"}, {"ttyS1", "0"}, {"ttyS3", ""}}) {
    tree.Tty(std::string("pnp0/") + name, name);
    if (*type) tree.Put(fs::path("sys/devices/pnp0") / name / "tty" / name / "type", std::string(type) + "\n");
  }
  tree.Tty("virtual", "tty0", false);

  Strings found;
  for (const SerialDevice& device : ListSerialDevices(tree.Root())) found.push_back(device.devicePath);
  EXPECT_EQ(found, (Strings{"/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0",
                            "/dev/ttyUSB1", "/dev/ttyUSB6", "/dev/ttyUSB10"}));
  found.clear();
  for (const UsbSerialDevice& device : ListUsbSerialDevices(tree.Root())) {
    char ids[16];
    std::snprintf(ids, sizeof ids, " %04x:%04x ", device.vendorId.value_or(0), device.productId.value_or(0));
    found.push_back(device.ttyPath + ids + device.serial.value_or("-") + " " + device.product.value_or("-"));
  }
  EXPECT_EQ(found, (Strings{"/dev/ttyACM0 10c4:ea60 " + std::string(100, 'Z') + " " + std::string(300, 'P'),
                            "/dev/ttyACM1 2341:0043 - Arduino Uno",
                            "/dev/ttyUSB1 10c4:ea70 - " + std::string(BRIDGE_PRODUCT_TEXT),
                            " 10c4:0000 - CP2105", "/dev/ttyUSB10 10c4:ea60 0001 CP2102"}));
  SysfsBridgeLibrary library(tree.Root());  // texts beyond its buffers: 63 serial characters, 255 of the product
  const BridgeMatch cut = FindBridgeDevice(library, std::string(255, 'P'));
  EXPECT_TRUE(cut.found && cut.identified && cut.index == 0);
  EXPECT_EQ(cut.device.serial, std::string(63, 'Z'));
  BridgeProductBuffer product{};
  ASSERT_EQ(library.GetProductText(0, product, BRIDGE_PRODUCT_OPTION), BRIDGE_SUCCESS);
  EXPECT_EQ(std::string(product.data(), strnlen(product.data(), product.size())), std::string(255, 'P'));

  PortSources sources{tree.Root(), {}, "", tree / "no-cups.sock"};
  EXPECT_EQ(Shown(BuildPortList(sources)), (Strings{"  /dev/ttyACM0", "  /dev/ttyACM1", "  /dev/ttyS10", "  /dev/ttyS2",
                                                    "  /dev/ttyUSB0", "* /dev/ttyUSB1", "  /dev/ttyUSB10", "  /dev/ttyUSB6"}));
  // The bridge variable stands as the bridge; each port comes once, under a link too.
  tree.Put("real", "");
  fs::create_symlink(tree / "real", tree / "alias");
  sources.extraPorts = {"/dev/pts/5", tree / "real", "/dev/ttyUSB0", tree / "alias", "/dev/pts/5"};
  sources.bridgePort = "/dev/pts/7";
  EXPECT_EQ(FindPrinterBridgePort(sources), "/dev/pts/7");
  const Strings extra = Shown(BuildPortList(sources));
  EXPECT_EQ(Strings(extra.begin(), extra.begin() + 2), (Strings{"  /dev/pts/5", "* /dev/pts/7"}));
  EXPECT_EQ(extra.size(), 11u);
  EXPECT_EQ(extra.back(), "  " + tree / "real");
  sources.bridgePort = tree / "alias";
  EXPECT_EQ(Shown(BuildPortList(sources)).back(), "* " + tree / "real");
  sources = {tree / "missing", {}, "", tree / "no-cups.sock"};
  EXPECT_EQ(Shown(BuildPortList(sources)), Strings{});
  EXPECT_EQ(FindPrinterBridgePort(sources), "");
}

TEST(LinuxPorts, ExtraPortPaths) {
  const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0";
  const struct {
    std::string text;
    Strings paths;
  } rows[] = {
      {byPath, {byPath}},                                                // a stable name holds colons
      {"/dev/pts/3;;" + byPath + ";", {"/dev/pts/3", byPath}},           // ";" separates
      {"/dev/pts/3::/tmp/sim/port:", {"/dev/pts/3", "/tmp/sim/port"}},  // colons as before
      {"/dev/pts/3:" + byPath, {"/dev/pts/3:" + byPath}},                // unless they cut a name
      {"", {}},
  };
  for (const auto& row : rows) EXPECT_EQ(SplitPortPaths(row.text), row.paths) << row.text;
}

TEST(LinuxPorts, PrintersOfAPrivateCupsServer) {
  constexpr const char* CUPSD = "/usr/sbin/cupsd";
  if (::geteuid() != 0) GTEST_SKIP() << "a private cupsd needs root (it drops to the lp user for its children)";
  if (::access(CUPSD, X_OK) != 0) GTEST_SKIP() << "cupsd is not installed (package cups)";
  // A cupsd of our own: its files in a folder of its own, listening only on a socket there.
  Tree dir;
  const std::string root = dir.Root().string(), socket = dir / "cups.sock", log = dir / "log";
  dir.Put("cupsd.conf", "Listen " + socket + "\nLogLevel warn\nBrowsing No\nBrowseLocalProtocols none\nWebInterface No\n"
          "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
  dir.Put("cups-files.conf", "ServerRoot " + root + "\nRequestRoot " + root + "\nTempDir " + root + "\nCacheDir " + root +
          "\nStateDir " + root + "\nErrorLog " + log + "\nAccessLog " + log + "\nPageLog " + log + "\nSystemGroup root\n");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // it dies with the test
    ::execl(CUPSD, "cupsd", "-f", "-c", (root + "/cupsd.conf").c_str(), "-s", (root + "/cups-files.conf").c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const struct Stop {
    pid_t pid;
    ~Stop() {
      if (pid > 0 && ::kill(pid, SIGTERM) == 0) ::waitpid(pid, nullptr, 0);
    }
  } stop{pid};
  // Raw queues need no driver; the first is tried again while cupsd starts.
  for (auto [name, uri, info] : {std::tuple{"zerviko2", "serial:/dev/ttyUSB9", "Tarno ZERVIKO 2"},
                                 {"zz_plain", "serial:/dev/ttyS7?baud=9600+bits=8", ""},
                                 {"zz_second", "serial:///dev/ttyUSB9?baud=115200", "Second on USB9"},
                                 {"network", "socket://127.0.0.1:9100", "Network"}}) {
    const std::string command = "lpadmin -h '" + socket + "' -p " + name + " -E -v '" + uri + "' -m raw -D '" +
                                info + "' >>'" + log + "' 2>&1";
    const auto deadline = Clock::now() + 10s;
    while (std::system(command.c_str()) != 0 && Clock::now() < deadline) std::this_thread::sleep_for(50ms);
    ASSERT_LT(Clock::now(), deadline) << std::ifstream(log).rdbuf();
  }

  Strings printers;
  for (const SpoolerPrinter& printer : ListSerialPrinters(socket)) {
    printers.push_back(printer.printerName + "@" + printer.portName);
  }
  // A queue without a description shows its name; a network queue is on no port of ours.
  EXPECT_EQ(printers, (Strings{"Tarno ZERVIKO 2@/dev/ttyUSB9", "zz_plain@/dev/ttyS7", "Second on USB9@/dev/ttyUSB9"}));
  // The column fits the longest port with a printer; no bridge: the printer mark.
  const PortSources sources{dir / "missing", {"/dev/ttyUSB9", "/dev/serial/by-id/long", "/dev/ttyS7"}, "", socket};
  EXPECT_EQ(Shown(BuildPortList(sources)), (Strings{"  /dev/serial/by-id/long", "  /dev/ttyS7   zz_plain @/dev/ttyS7",
                                                    "* /dev/ttyUSB9 Tarno ZERVIKO 2 @/dev/ttyUSB9"}));
}

// Servers that take the connection and then never answer, send a byte now and then
// without ever ending a line, or hang up: no printers, within the one bound of the query.
TEST(LinuxPorts, NoPrintersFromServersThatCannotAnswer) {
  enum class Manner { SILENT, TRICKLING, HANGING_UP };
  for (Manner manner : {Manner::SILENT, Manner::TRICKLING, Manner::HANGING_UP}) {
    SCOPED_TRACE(static_cast<int>(manner));
    Tree dir;
    const std::string path = dir / "server.sock";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    std::atomic<bool> done{false};
    std::thread server([&] {
      if (manner == Manner::SILENT) return;  // the connection waits in the backlog
      const int client = ::accept(fd, nullptr, nullptr);
      // Trickles for 15 s at most, so that a query without a bound fails rather than hangs.
      for (int i = 0; manner == Manner::TRICKLING && !done && i < 750; ++i) {
        if (::send(client, "H", 1, MSG_NOSIGNAL) != 1) break;
        std::this_thread::sleep_for(20ms);
      }
      ::close(client);
    });
    const auto start = Clock::now();
    EXPECT_TRUE(ListSerialPrinters(path).empty());
    const auto took = Clock::now() - start;
    done = true;
    ::shutdown(fd, SHUT_RDWR);  // wakes an accept that no query came to
    server.join();
    ::close(fd);
    EXPECT_LT(took, CUPS_QUERY_TIMEOUT + 2s);  // slack for a loaded machine
  }
}

}  // namespace
}  // namespace zerviko::ports
