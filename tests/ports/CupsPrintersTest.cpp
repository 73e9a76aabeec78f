// The printers installed on serial ports, from a real CUPS server: a private cupsd
// that each test starts in a folder of its own, listening on a socket there, and
// stops again. A machine without a CUPS server has no printers, quickly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "ports/CupsPrinters.h"
#include "ports/LinuxPorts.h"

namespace zerviko::ports::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* CUPSD = "/usr/sbin/cupsd";

bool SocketAnswers(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

// Runs a program with its output sent to log; returns its exit status, or -1.
int Run(const std::vector<std::string>& arguments, const std::string& log) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A cupsd of our own: its configuration, state, spool and log in a temporary folder,
// listening only on a socket there. It dies with the test process if that dies first.
class PrivateCupsd {
 public:
  ~PrivateCupsd() { Stop(); }

  // Empty when it runs; otherwise why it could not be started.
  std::string Start() {
    const std::filesystem::path& root = m_dir.Path();
    for (const char* sub : {"spool", "cache", "state", "log", "run"}) m_dir.MakeDir(sub);
    m_socket = (root / "run" / "cups.sock").string();
    m_dir.Write("cupsd.conf",
                "Listen " + m_socket + "\n"
                "LogLevel warn\n"
                "Browsing No\n"
                "BrowseLocalProtocols none\n"
                "WebInterface No\n"
                "DefaultAuthType None\n"
                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n");
    const std::string dir = root.string();
    m_dir.Write("cups-files.conf",
                "ServerRoot " + dir + "\n"
                "RequestRoot " + dir + "/spool\n"
                "TempDir " + dir + "/spool\n"
                "CacheDir " + dir + "/cache\n"
                "StateDir " + dir + "/state\n"
                "ErrorLog " + dir + "/log/error_log\n"
                "AccessLog " + dir + "/log/access_log\n"
                "PageLog " + dir + "/log/page_log\n"
                "SystemGroup root\n");

    m_pid = ::fork();
    if (m_pid < 0) return "fork failed";
    if (m_pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      const std::string log = dir + "/log/cupsd.out";
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
      }
      const std::string conf = dir + "/cupsd.conf";
      const std::string files = dir + "/cups-files.conf";
      ::execl(CUPSD, "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      if (SocketAnswers(m_socket)) return {};
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return "cupsd ended at start: " + ReadFile(root / "log/cupsd.out") +
               ReadFile(root / "log/error_log");
      }
      std::this_thread::sleep_for(10ms);
    }
    return "cupsd did not listen within 10 s";
  }

  void Stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    const auto deadline = Clock::now() + 5s;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
    m_pid = -1;
  }

  // Adds a queue on device uri, with description info unless it is empty.
  bool AddQueue(const std::string& name, const std::string& uri, const std::string& info) {
    std::vector<std::string> arguments = {"lpadmin", "-h", m_socket, "-p", name, "-E", "-v", uri};
    if (!info.empty()) arguments.insert(arguments.end(), {"-D", info});
    // A raw queue: no driver needed for a printer that is only listed. CUPS 2.4 still
    // takes it, with a warning that raw queues are deprecated.
    arguments.insert(arguments.end(), {"-m", "raw"});
    return Run(arguments, (m_dir.Path() / "log/lpadmin.out").string()) == 0;
  }

  const std::string& Socket() const { return m_socket; }
  std::string Log() const { return ReadFile(m_dir.Path() / "log/lpadmin.out"); }

 private:
  TempDir m_dir;
  std::string m_socket;
  pid_t m_pid = -1;
};

class CupsServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) {
      GTEST_SKIP() << "a private cupsd needs root (it drops to the lp user for its children)";
    }
    if (::access(CUPSD, X_OK) != 0) GTEST_SKIP() << CUPSD << " is not installed (package cups)";
    const std::string why = cupsd.Start();
    ASSERT_EQ(why, "");
    ASSERT_TRUE(cupsd.AddQueue("zerviko2", "serial:/dev/ttyUSB9", "Tarno ZERVIKO 2")) << cupsd.Log();
    ASSERT_TRUE(cupsd.AddQueue("zz_plain", "serial:/dev/ttyS7?baud=9600+bits=8", "")) << cupsd.Log();
    ASSERT_TRUE(cupsd.AddQueue("zz_second", "serial:/dev/ttyUSB9?baud=115200", "Second on USB9"))
        << cupsd.Log();
    ASSERT_TRUE(cupsd.AddQueue("network", "socket://127.0.0.1:9100", "Network")) << cupsd.Log();
  }
  PrivateCupsd cupsd;
};

TEST_F(CupsServer, ListsTheQueuesOnSerialDevices) {
  const std::vector<SpoolerPrinter> printers = ListSerialPrinters(cupsd.Socket());
  ASSERT_EQ(printers.size(), 3u);
  EXPECT_EQ(printers[0].printerName, "Tarno ZERVIKO 2");
  EXPECT_EQ(printers[0].portName, "/dev/ttyUSB9");
  EXPECT_EQ(printers[1].printerName, "zz_plain");  // no description: its name
  EXPECT_EQ(printers[1].portName, "/dev/ttyS7");
  EXPECT_EQ(printers[2].printerName, "Second on USB9");
  EXPECT_EQ(printers[2].portName, "/dev/ttyUSB9");
}

TEST_F(CupsServer, PortListShowsThePrinterOnItsPort) {
  TempDir sysfs;
  PortSources sources;
  sources.sysfsRoot = sysfs.Path();  // no serial devices, no bridge
  sources.extraPorts = {"/dev/ttyUSB9", "/dev/pts/99", "/dev/ttyS7"};
  sources.cupsServer = cupsd.Socket();
  const PortList list = BuildPortList(sources);
  ASSERT_EQ(list.entries.size(), 3u);
  EXPECT_EQ(list.entries[0].display, "/dev/pts/99");
  EXPECT_EQ(list.entries[1].display, "/dev/ttyS7   zz_plain");
  EXPECT_EQ(list.entries[2].display, "/dev/ttyUSB9 Tarno ZERVIKO 2");
  EXPECT_EQ(list.entries[2].port, "/dev/ttyUSB9");
  EXPECT_EQ(list.selected, 2);  // no bridge: the entry showing the printer mark
}

TEST_F(CupsServer, DefaultServerFollowsCupsServerVariable) {
  ::setenv("CUPS_SERVER", cupsd.Socket().c_str(), 1);
  const std::vector<SpoolerPrinter> printers = ListSerialPrinters();
  ::unsetenv("CUPS_SERVER");
  EXPECT_EQ(printers.size(), 3u);
}

TEST(NoCupsServer, NoPrintersNoErrorQuickly) {
  TempDir dir;
  const std::string missing = (dir.Path() / "cups.sock").string();
  const auto start = Clock::now();
  ::setenv("CUPS_SERVER", missing.c_str(), 1);
  EXPECT_TRUE(ListSerialPrinters().empty());
  ::unsetenv("CUPS_SERVER");
  EXPECT_TRUE(ListSerialPrinters(missing).empty());
  // Another machine's queues print to its own ports, not to ours: not asked at all.
  EXPECT_TRUE(ListSerialPrinters("printers.invalid:631").empty());
  EXPECT_LT(Clock::now() - start, 2s);
}

// A server that takes connections and then, by its row, never answers, sends a byte now
// and then without ever ending a line, or hangs up at once: the whole query ends within
// its bound all the same, and the program survives it.
TEST(NoCupsServer, MisbehavingServerIsGivenUpOnInTime) {
  enum class Manner { SILENT, TRICKLING, HANGING_UP };
  const struct {
    const char* name;
    Manner manner;
  } rows[] = {{"silent", Manner::SILENT},
              {"trickling", Manner::TRICKLING},
              {"hanging up", Manner::HANGING_UP}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::string path = (dir.Path() / "server.sock").string();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    std::atomic<bool> done{false};
    std::thread server([&] {
      if (row.manner == Manner::SILENT) return;  // the connection waits in the backlog
      const int client = ::accept(fd, nullptr, nullptr);
      // Trickles for 15 s at most, so that a query without a bound fails rather than hangs.
      for (int i = 0; row.manner == Manner::TRICKLING && !done && i < 750; ++i) {
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

TEST(SerialUri, DevicePath) {
  EXPECT_EQ(SerialUriDevicePath("serial:/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialUriDevicePath("serial:/dev/ttyUSB0?baud=9600+bits=8"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialUriDevicePath("serial:///dev/ttyS1?baud=115200"), "/dev/ttyS1");
  EXPECT_EQ(SerialUriDevicePath("serial:/dev/serial/by-id/usb-Tarno-if00"),
            "/dev/serial/by-id/usb-Tarno-if00");
  EXPECT_EQ(SerialUriDevicePath("usb://Tarno/ZERVIKO"), "");
  EXPECT_EQ(SerialUriDevicePath("socket://10.0.0.2:9100"), "");
  EXPECT_EQ(SerialUriDevicePath("Serial:/dev/ttyS0"), "");
  EXPECT_EQ(SerialUriDevicePath("serial:"), "");
}

}  // namespace
}  // namespace zerviko::ports::test
