#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "cli/Platform.h"
#include "engine/TermiosSerialPort.h"

namespace zerviko::cli {

namespace {

std::atomic<bool> g_interrupted{false};
struct sigaction g_previous {};

extern "C" void OnInterrupt(int) { g_interrupted = true; }

class TermiosPort : public PlatformPort {
 public:
  SerialPort& Port() override { return m_port; }

  std::string OpenHint(const std::string& name) const override {
    switch (m_port.OpenError()) {
      case EACCES:
      case EPERM:
        return "no permission to open " + name +
               ". Install the zerviko-loader package: its udev rule (70-zerviko-bridge.rules) "
               "lets the user logged in at the seat open the printer's USB bridge; unplug the "
               "printer and plug it in again afterwards. For another serial port, or from a "
               "remote login, add yourself to the 'dialout' group (sudo usermod -aG dialout "
               "$USER) and log in again.";
      case EBUSY:
        return name + " is in use by another program.";
      case ENOENT:
      case ENXIO:
      case ENODEV:
        return name + " does not exist. 'zerviko-flash ports' lists the ports of this machine.";
      case ENOTTY:
        return name + " is not a serial port.";
      default:
        return {};
    }
  }

 private:
  TermiosSerialPort m_port;
};

}  // namespace

const char* const PORT_EXAMPLE = "/dev/ttyUSB0";

void PrepareConsole() {
  // A reader that goes away (zerviko-flash program --json | head) must never stop a run
  // half-way through a printer's flash: writes to its pipe fail instead, and the
  // output stops there while the runs go on to their end.
  ::signal(SIGPIPE, SIG_IGN);
  // Likewise a file size limit (ulimit -f): a write past it fails, so that a record or
  // a log is cut back to its last whole line, rather than the program being killed
  // with half a line written.
  ::signal(SIGXFSZ, SIG_IGN);
}

bool OutputIsTerminal() { return ::isatty(STDOUT_FILENO); }

int TerminalColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

int TerminalRows() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return 24;
  return size.ws_row;
}

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  std::string folder(path, static_cast<std::size_t>(n));
  return folder.substr(0, folder.rfind('/') + 1);
}

std::string FolderPath(const std::string& folder) {
  return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

InterruptGuard::InterruptGuard() {
  g_interrupted = false;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_previous);
}

InterruptGuard::~InterruptGuard() { sigaction(SIGINT, &g_previous, nullptr); }

bool InterruptGuard::Interrupted() { return g_interrupted; }

std::unique_ptr<PlatformPort> MakePlatformPort() { return std::make_unique<TermiosPort>(); }

}  // namespace zerviko::cli
