// zerviko-flash program: one programming run from the command line, with the
// programming page's run parameters as defaults and every one of them settable.
#include <CLI/CLI.hpp>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <vector>

#include "cli/Commands.h"
#include "cli/ImageBlocks.h"
#include "cli/Platform.h"
#include "cli/SeveralPrinters.h"
#include "cli/Station.h"
#include "cli/StatusLog.h"
#include "cli/Text.h"
#include "engine/ProgramTarget.h"
#include "package/FirmwarePackage.h"
#include "ports/PortIdentity.h"
#include "ports/PortList.h"

namespace zerviko::cli {
namespace {

// --port names that stand for ports found on the machine.
constexpr const char* PORT_AUTO = "auto";  // the printer's own USB bridge
constexpr const char* PORT_ALL = "all";    // every printer bridge: a bench of printers

struct ProgramArgs {
  std::vector<std::string> ports;
  std::string packagePath;
  std::string imagePath;
  int language = 0;
  bool bootMode = false;
  std::string reset = "lines";
  std::string microKernel;
  std::int64_t syncBaud = 9600;
  std::int64_t baud = 115200;
  std::int64_t clock = 22118400;
  std::string startAddress = "0";
  std::optional<std::string> eraseBlocks;
  std::string device = "2329";
  bool noDevice = false;
  std::string kernelDir;
  std::string mainKernel;
  std::string eraseModule;
  std::string writeModule;
  bool verbose = false;
  bool json = false;
  std::string logPath;
  bool station = false;
  std::string recordPath;
};

class RunView {
 public:
  RunView(const ProgramArgs& args, StatusLog& log)
      : m_args(args), m_log(log), m_bTerminal(!args.json && OutputIsTerminal()) {}

  static int Callback(void* context, int percent, int level, int blockMessage, const char* text,
                      std::uint8_t* abortFlag) {
    static_cast<RunView*>(context)->OnMessage(percent, level, blockMessage, text, abortFlag);
    return 0;
  }

  void OnMessage(int percent, int level, int blockMessage, const char* text,
                 std::uint8_t* abortFlag) {
    // Ctrl-C becomes the run's abort byte.
    if (InterruptGuard::Interrupted() && abortFlag) {
      *abortFlag = 1;
      if (!m_bAbortNoted && !m_args.json) {
        ClearBar();
        std::cerr << "zerviko-flash: stopping before the next block write (Ctrl-C again to "
                     "quit at once)\n";
      }
      m_bAbortNoted = true;
    }
    if (level == LEVEL_WAITING) return;  // no message: the engine only listens for Ctrl-C
    char line[300];
    std::snprintf(line, sizeof line, "%d: %s\n", level, text);
    m_log.Write(line);
    const std::string logFailure = TakeLogFailure(m_log);
    if (!logFailure.empty()) {
      ClearBar();
      std::cerr << "zerviko-flash: " << logFailure << "\n";
    }
    if (level == LEVEL_ERROR) m_strError = PrintableText(text);
    if (m_args.json) {
      nlohmann::ordered_json message;
      message["percent"] = percent;
      message["level"] = level;
      message["block"] = blockMessage;
      message["text"] = text;
      std::cout << JsonLine(message) << std::endl;
      return;
    }
    // Messages carry text from the printer (its device names): shown printable.
    const std::string shown = PrintableText(text);
    // The user must act on these at once: they get a line of their own, bar or not.
    const bool prompt = std::strcmp(text, PROMPT_BOOT_MODE) == 0 ||
                        std::strcmp(text, PROMPT_USER_MODE) == 0;
    if (m_args.verbose) {
      ClearBar();
      std::cout << level << ": " << shown << '\n' << std::flush;
    } else if ((!m_bTerminal && level == LEVEL_STAGE && !blockMessage) || prompt) {
      ClearBar();
      std::cout << shown << '\n' << std::flush;
    }
    if (level == LEVEL_STAGE && !blockMessage) m_strStage = shown;
    if (m_bTerminal && level != LEVEL_ERROR) DrawBar(percent, blockMessage ? shown : m_strStage);
  }

  void Finish() { ClearBar(); }
  const std::string& Error() const { return m_strError; }

 private:
  void DrawBar(int percent, const std::string& what) {
    constexpr int WIDTH = 30;
    const int filled = std::clamp(percent, 0, 100) * WIDTH / 100;
    std::string label = what.substr(0, 44);
    // Through std::cout, as every other output: after its first failed write it writes
    // no more.
    std::cout << "\r\033[K[" << std::string(filled, '#') << std::string(WIDTH - filled, '.') << "] "
              << std::setw(3) << percent << " % " << label << std::flush;
    m_bBarShown = true;
  }
  void ClearBar() {
    if (!m_bBarShown) return;
    std::cout << "\r\033[K" << std::flush;
    m_bBarShown = false;
  }

  const ProgramArgs& m_args;
  StatusLog& m_log;
  const bool m_bTerminal;
  bool m_bBarShown = false;
  bool m_bAbortNoted = false;
  std::string m_strStage;
  std::string m_strError;
};

int UsageError(const std::string& text) {
  // The text quotes the command line: shown printable.
  std::cerr << "zerviko-flash program: " << PrintableText(text) << "\n";
  return EXIT_USAGE;
}

bool ParseAddress(const std::string& text, std::uint32_t* address) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const unsigned long long value = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || !end || *end != '\0' || value > 0xFFFFFFFFull) return false;
  *address = static_cast<std::uint32_t>(value);
  return true;
}

bool ParseBlockList(const std::string& text, std::vector<std::int32_t>* blocks) {
  blocks->clear();
  if (text.empty()) return true;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(item.c_str(), &end, 0);
    if (item.empty() || errno != 0 || !end || *end != '\0' || value < 0 || value > INT32_MAX)
      return false;
    blocks->push_back(static_cast<std::int32_t>(value));
  }
  return !text.empty() && text.back() != ',';
}

// The 16-bit fields of the clock and baud frame carry the rate in units of 100 bps
// and the clock in units of 10 kHz, rounded; a value that rounds to 0 or past 65535
// cannot be told to the kernel.
bool FitsField(std::int64_t value, std::int64_t half, std::int64_t unit) {
  if (value <= 0 || value > INT32_MAX) return false;
  const std::int64_t field = (value + half) / unit;
  return field >= 1 && field <= 0xFFFF;
}

// One line a technician can compare between runs: what went into the flash, and how
// fast the whole run went (kernel loads and erase included).
void PrintSummary(const std::vector<std::uint8_t>& image, std::chrono::steady_clock::duration took) {
  const ImageBlocks blocks(image);
  const double seconds = std::chrono::duration<double>(took).count();
  const double rate = seconds > 0 ? static_cast<double>(blocks.bytesWritten) / 1024.0 / seconds : 0.0;
  std::ostringstream line;
  line << std::fixed << std::setprecision(1) << "Wrote " << blocks.bytesWritten << " bytes in "
       << blocks.written << (blocks.written == 1 ? " block (" : " blocks (") << blocks.empty
       << (blocks.empty == 1 ? " empty block" : " empty blocks") << " skipped) in " << seconds
       << " s: " << rate << " KiB/s\n";
  std::cout << line.str() << std::flush;
}

// Closes the log at the end of the program: its first failure is said if it has not
// been yet, and the runs' status tells it when they all succeeded.
int EndLog(StatusLog& log, int status) {
  log.Close();
  const std::string failure = TakeLogFailure(log);
  if (!failure.empty()) std::cerr << "zerviko-flash: " << failure << "\n" << std::flush;
  return status == EXIT_OK && log.Failed() ? EXIT_LOG_INCOMPLETE : status;
}

void PrintResult(const ProgramArgs& args, const char* result) {
  if (!args.json) return;
  nlohmann::ordered_json line;
  line["result"] = result;
  std::cout << JsonLine(line) << std::endl;
}

// The ports named on the command line, checked: "auto" and "all" stand alone, and no
// port is named twice, in any spelling. False after a usage error has been reported.
bool CheckPorts(const std::vector<std::string>& ports) {
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (ports.size() > 1 && (ports[i] == PORT_AUTO || ports[i] == PORT_ALL)) {
      UsageError("--port " + ports[i] + " stands alone: give it once, without other ports");
      return false;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (ports::IsSamePort(ports[i], ports[j])) {
        UsageError("--port " + ports[i] + ": the same port as --port " + ports[j] +
                   "; each printer is programmed once");
        return false;
      }
    }
  }
  return true;
}

int RunProgram(const ProgramArgs& args) {
  // Everything the frames cannot carry is refused before the port is touched.
  if (!FitsField(args.baud, 50, 100))
    return UsageError("--baud " + std::to_string(args.baud) +
                      ": the rate must be between 50 and 6553549 bps");
  if (args.syncBaud <= 0 || args.syncBaud > INT32_MAX)
    return UsageError("--sync-baud " + std::to_string(args.syncBaud) + ": not a baud rate");
  if (!FitsField(args.clock, 5000, 10000))
    return UsageError("--clock " + std::to_string(args.clock) +
                      ": the clock must be between 5000 and 655354999 Hz");
  if (args.language < 0 || args.language > 4)
    return UsageError("--language must be 0 (English) to 4 (Spanish)");
  if (args.bootMode && args.microKernel.empty())
    return UsageError("--boot-mode needs --micro-kernel FILE");
  ProgrammingOptions options;
  if (!ParseAddress(args.startAddress, &options.startAddress))
    return UsageError("--start-address " + args.startAddress +
                      ": not an address (decimal, or hexadecimal with 0x)");
  std::vector<std::int32_t> blocks;
  if (args.eraseBlocks && !ParseBlockList(*args.eraseBlocks, &blocks))
    return UsageError("--erase-blocks " + *args.eraseBlocks +
                      ": expected block numbers separated by commas");

  if (!CheckPorts(args.ports)) return EXIT_USAGE;
  // With "all" or several ports, each port's run goes on in a thread of its own, and
  // every output names its port; with one port the output is a single run's. A
  // station finds its ports as they come.
  const bool several = args.station || args.ports.size() > 1 || args.ports[0] == PORT_ALL;
  std::vector<std::string> ports = args.station ? std::vector<std::string>{""} : args.ports;
  std::vector<std::string> bridgesWithoutPort;
  if (ports[0] == PORT_AUTO || ports[0] == PORT_ALL) {
    if (ports[0] == PORT_ALL) {
      ports.clear();
      for (const ports::PrinterBridge& bridge : ports::FindPrinterBridges()) {
        if (bridge.port.empty()) {
          bridgesWithoutPort.push_back(bridge.name);
        } else {
          ports.push_back(bridge.port);
        }
      }
    } else {
      ports = {ports::FindPrinterBridgePort()};
    }
    if ((ports.empty() || ports[0].empty()) && bridgesWithoutPort.empty()) {
      const std::string problem = ports::BridgeSearchProblem();
      if (!problem.empty()) {
        std::cerr << "zerviko-flash: " << problem << " Or name the printer's port with --port DEVICE "
                     "('zerviko-flash ports' lists them).\n";
      } else {
        std::cerr << "zerviko-flash: no ZERVIKO printer bridge found on this machine. Connect "
                     "the printer, or name its port with --port DEVICE ('zerviko-flash ports' "
                     "lists them).\n";
      }
      if (several && args.json) {
        std::cout << R"({"result":"failed","failed":[]})" << std::endl;
      } else {
        PrintResult(args, "failed");
      }
      return EXIT_FAILED;
    }
  }
  const std::string port = ports.empty() ? std::string() : ports[0];

  // The image: from the package, as the programming page reads it, or a raw file.
  std::vector<std::uint8_t> image;
  if (!args.packagePath.empty()) {
    const int result = ReadFirmwarePackage(args.packagePath, false, args.language);
    if (result != PACKAGE_OK) {
      const bool unavailable = result == PACKAGE_FILE_UNAVAILABLE;
      if (args.json) {
        PrintResult(args, unavailable ? "package-unavailable" : "package-unusable");
      } else {
        std::cerr << PackageRefusal(args.packagePath, result);
      }
      ClearPackage();
      return unavailable ? EXIT_PACKAGE_UNAVAILABLE : EXIT_PACKAGE_UNUSABLE;
    }
    std::uint32_t length = 0;
    GetPackageImage(nullptr, &length);
    image.resize(length);
    if (length > 0) GetPackageImage(image.data(), &length);
    ClearPackage();
  } else {
    // Only a regular file is opened: a FIFO would hold the open, and opening a serial
    // device would move its modem lines.
    struct stat info {};
    std::ifstream file;
    if (::stat(args.imagePath.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      file.open(args.imagePath, std::ios::binary);
    }
    if (file) image.assign(std::istreambuf_iterator<char>(file), {});
    if (!file.is_open() || (!file && !file.eof())) {
      std::cerr << "zerviko-flash: " << PrintableText(args.imagePath) << ": the file is unavailable\n";
      PrintResult(args, "package-unavailable");
      return EXIT_PACKAGE_UNAVAILABLE;
    }
  }
  if (image.size() > static_cast<std::size_t>(INT32_MAX)) {
    std::cerr << "zerviko-flash: the image is too large\n";
    PrintResult(args, "package-unusable");
    return EXIT_PACKAGE_UNUSABLE;
  }

  const std::string folder = args.kernelDir.empty() ? ProgramFolder() : FolderPath(args.kernelDir);
  options.residentKernel = args.bootMode ? 0 : 1;
  options.resetMethod = args.reset == "manual" ? ResetMethod::Manual : ResetMethod::ModemLines;
  options.portName = port;
  options.syncBaudRate = static_cast<std::int32_t>(args.syncBaud);
  options.baudRate = static_cast<std::int32_t>(args.baud);
  options.clockHz = static_cast<std::int32_t>(args.clock);
  if (args.eraseBlocks) {
    options.eraseBlocks = blocks.data();  // empty: a given list of no entries
    options.eraseBlockCount = static_cast<std::int32_t>(blocks.size());
    static const std::int32_t kNone = 0;
    if (blocks.empty()) options.eraseBlocks = &kNone;
  }
  options.deviceName = args.noDevice ? std::nullopt : std::optional<std::string>(args.device);
  options.microKernelPath = args.microKernel;
  options.mainKernelPath = args.mainKernel.empty() ? folder + "Genm2329.cde" : args.mainKernel;
  options.eraseModulePath = args.eraseModule.empty() ? folder + "Gene2329.cde" : args.eraseModule;
  options.writeModulePath = args.writeModule.empty() ? folder + "Genw2329.cde" : args.writeModule;

  StatusLog log;
  if (!args.logPath.empty() && !log.Open(args.logPath)) {
    std::cerr << "zerviko-flash: cannot open the log " << PrintableText(args.logPath) << ": "
              << log.OpenError() << "\n";
    PrintResult(args, "failed");
    return EXIT_FAILED;
  }

  if (args.station) {
    const std::string& file = args.packagePath.empty() ? args.imagePath : args.packagePath;
    const std::u8string name = PathOf(file).filename().u8string();
    const StationSettings settings{{args.json, args.verbose}, args.recordPath, std::string(name.begin(), name.end())};
    return EndLog(log, RunStation(options, image, settings, log));
  }
  if (several) {
    return EndLog(log, ProgramSeveralPrinters(ports, options, image, {args.json, args.verbose}, log,
                                              bridgesWithoutPort));
  }

  // The first Ctrl-C asks the run to stop before its next block; a second one ends
  // the program at once.
  RunView view(args, log);
  const std::unique_ptr<PlatformPort> serialPort = MakePlatformPort();
  bool ok = false;
  const auto started = std::chrono::steady_clock::now();
  {
    InterruptGuard interrupt;
    ok = ProgramTarget(options, image.data(), static_cast<std::int32_t>(image.size()),
                       &RunView::Callback, &view, serialPort->Port());
  }
  const auto took = std::chrono::steady_clock::now() - started;
  view.Finish();
  log.Write(END_MARKER);

  if (ok) {
    PrintResult(args, "ok");
    if (!args.json) {
      std::cout << "Firmware has been successfully loaded.\n";
      PrintSummary(image, took);
    }
    return EndLog(log, EXIT_OK);
  }
  PrintResult(args, "failed");
  if (!args.json) {
    std::cerr << "zerviko-flash: programming failed"
              << (view.Error().empty() ? std::string() : ": " + view.Error()) << "\n";
  }
  const std::string hint = serialPort->OpenHint(port);
  if (!hint.empty()) std::cerr << "zerviko-flash: " << PrintableText(hint) << "\n";
  return EndLog(log, EXIT_FAILED);
}

}  // namespace

std::string PackageRefusal(const std::string& path, int result) {
  return "zerviko-flash: " + PrintableText(path) +
         (result == PACKAGE_FILE_UNAVAILABLE ? ": the file is unavailable (missing or unreadable)\n"
                                             : ": the file is unusable (not a firmware package)\n");
}

void AddProgramCommand(CLI::App& app, Action& action) {
  CLI::App* sub = app.add_subcommand(
      "program",
      "Write a firmware package's image (or a raw image) into the printer, or into several "
      "printers at once. Exit status: 0 programmed, 1 a run failed (--station: 0 when every printer's last "
      "plug-in was programmed, 1 when a printer's last plug-in failed), 2 usage error, 3 package unavailable, 4 "
      "package unusable, 5 programmed but the --log file (or --record) could not be written whole");
  auto args = std::make_shared<ProgramArgs>();
  sub->add_option("--port", args->ports,
                  std::string("serial port of the printer (") + PORT_EXAMPLE +
                      "), or 'auto' for the printer's own USB bridge. Give it once per "
                      "printer to program several at once, or 'all' for every printer's "
                      "USB bridge on this machine; every other option applies to each")
      ->allow_extra_args(false);
  auto* package = sub->add_option("--package", args->packagePath, "firmware package to program");
  auto* image = sub->add_option("--image", args->imagePath, "raw image file to program");
  package->excludes(image);
  image->excludes(package);
  sub->add_option("--language", args->language,
                  "package section to read: 0 English, 1 French, 2 German, 3 Portuguese, "
                  "4 Spanish (default 0)")
      ->needs(package);
  auto* boot = sub->add_flag("--boot-mode", args->bootMode,
                             "restart the target into its boot program and download a "
                             "micro-kernel first, to recover a printer without a working "
                             "kernel; at the end restart it into its firmware");
  sub->add_option("--reset", args->reset,
                  "how --boot-mode restarts the printer: 'lines' pulses RTS while DTR picks "
                  "the mode (the port needs modem lines; default), 'manual' asks you to "
                  "restart it by hand (the run waits 30 s for its boot program)")
      ->check(CLI::IsMember({"lines", "manual"}))
      ->needs(boot);
  sub->add_option("--micro-kernel", args->microKernel, "micro-kernel file for --boot-mode")
      ->needs(boot);
  sub->add_option("--sync-baud", args->syncBaud, "rate of the first contact (default 9600)");
  sub->add_option("--baud", args->baud, "working rate told to the kernel (default 115200)");
  sub->add_option("--clock", args->clock, "target clock in Hz (default 22118400)");
  sub->add_option("--start-address", args->startAddress,
                  "target address of the image's first byte, decimal or 0x hex (default 0)");
  sub->add_option("--erase-blocks", args->eraseBlocks,
                  "erase only these blocks, comma-separated (an empty list erases none and "
                  "skips the blank check); default: every block, then a blank check");
  auto* device = sub->add_option("--device", args->device,
                                 "device to select from the kernel's list, by name or code "
                                 "(default 2329)");
  auto* noDevice = sub->add_flag("--no-device", args->noDevice, "select no device");
  device->excludes(noDevice);
  noDevice->excludes(device);
  sub->add_option("--kernel-dir", args->kernelDir,
                  "folder of Genm2329.cde, Gene2329.cde and Genw2329.cde (default: the "
                  "program's folder)");
  sub->add_option("--main-kernel", args->mainKernel, "main kernel file");
  sub->add_option("--erase-module", args->eraseModule, "EEPROM erase module file");
  sub->add_option("--write-module", args->writeModule, "EEPROM write module file");
  sub->add_flag("-v,--verbose", args->verbose, "print every message of the run");
  sub->add_flag("--json", args->json,
                "print one JSON object per message ({percent, level, block, text}) and a "
                "final {result}; with several ports each message carries its port, each "
                "port ends with {port, result}, and the final {result} lists the failed "
                "ports");
  sub->add_option("--log", args->logPath,
                  "append the status log to FILE, as the wizard writes Status.log (with "
                  "several ports, each run's lines as one block after a line naming its "
                  "port; until a run ends, its lines go to FILE.PORT.part beside it)");
  auto* station = sub->add_flag(
      "--station", args->station,
      "a programming station: keep running, watch for the printer's USB bridges as --port all "
      "finds them, and program each printer once as it is plugged in (again only after it "
      "has been unplugged); Ctrl-C stops watching and prints the table of every plug-in and "
      "how many printers were programmed");
  sub->add_option("--record", args->recordPath,
                  "with --station, append a JSON line per finished printer to FILE: time (UTC), "
                  "serial, port, package, sha256, result, seconds, message")
      ->needs(station);
  sub->callback([&action, args, package, image] {
    action = [args, package, image] {
      if (package->count() == 0 && image->count() == 0)
        return UsageError("give --package FILE or --image FILE");
      if (args->station && !args->ports.empty())
        return UsageError("--station finds the printers' ports itself: give no --port");
      if (!args->station && args->ports.empty()) return UsageError("give --port PORT, or --station");
      return RunProgram(*args);
    };
  });
}

}  // namespace zerviko::cli
