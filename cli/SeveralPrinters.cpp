#include "cli/SeveralPrinters.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>

#include "cli/Commands.h"
#include "cli/ImageBlocks.h"
#include "cli/Platform.h"
#include "cli/Text.h"

namespace zerviko::cli {
namespace {

using Clock = std::chrono::steady_clock;

// A redraw a few times a second follows a run closely enough; every message of eight
// runs would be thousands of redraws.
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(200);
constexpr int BAR_WIDTH = 20;
// The one message of a bench entry whose printer bridge gives no port to open.
constexpr const char* BRIDGE_WITHOUT_PORT = "printer bridge found, no port";

// Text cut to at most width characters on the screen; a UTF-8 sequence is never cut.
std::string FitColumns(const std::string& text, int width) {
  int shown = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    if (!continuation && shown++ == width) return text.substr(0, i);
  }
  return text;
}

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// A port's name as part of a file name on any system: letters, digits, '-' and '_'
// ("/dev/ttyUSB0" gives "dev_ttyUSB0", "\\.\COM12" gives "COM12").
std::string FileNamePart(const std::string& port) {
  std::string name;
  for (char c : port) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    if (kept || !name.empty()) name += kept ? c : '_';
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "port" : name;
}

// A port just plugged in may not open yet: the kernel shows the tty a moment before
// udev has made its node, or given it the group and access list that let the user
// open it. Its first open is tried again for this long before the printer counts as
// failed; the run sends nothing before the port is open.
constexpr auto OPEN_RETRY_TIME = std::chrono::seconds(2);
constexpr auto OPEN_RETRY_INTERVAL = std::chrono::milliseconds(100);

// The system's port, whose first Open waits for the port to become openable; every
// other call goes straight through.
class PluggedInPort : public SerialPort {
 public:
  explicit PluggedInPort(SerialPort& port) : m_port(port) {}
  bool Open(const std::string& name) override {
    const auto deadline = Clock::now() + OPEN_RETRY_TIME;
    bool opened = m_port.Open(name);
    while (!opened && m_bFirst && !InterruptGuard::Interrupted() && Clock::now() < deadline) {
      std::this_thread::sleep_for(OPEN_RETRY_INTERVAL);
      opened = m_port.Open(name);
    }
    m_bFirst = false;
    return opened;
  }
  void Close() override { m_port.Close(); }
  bool Configure(const std::string& settings) override { return m_port.Configure(settings); }
  bool SetBaudRate(std::int32_t rate) override { return m_port.SetBaudRate(rate); }
  bool SetBufferSizes(std::uint32_t inputSize, std::uint32_t outputSize) override {
    return m_port.SetBufferSizes(inputSize, outputSize);
  }
  bool SetReadTimeout(std::uint32_t milliseconds) override { return m_port.SetReadTimeout(milliseconds); }
  bool PurgeInput() override { return m_port.PurgeInput(); }
  bool SetRts(bool on) override { return m_port.SetRts(on); }
  bool SetDtr(bool on) override { return m_port.SetDtr(on); }
  bool WriteByte(std::uint8_t byte) override { return m_port.WriteByte(byte); }
  bool Read(std::uint8_t* buffer, std::size_t count, std::size_t* countRead) override {
    return m_port.Read(buffer, count, countRead);
  }
  bool ReadByte(std::uint8_t* byte) override { return m_port.ReadByte(byte); }

 private:
  SerialPort& m_port;
  bool m_bFirst = true;
};

// One printer's run. The run's thread writes it under the bench's lock; the printing
// thread reads it under the same lock.
struct PortRun {
  std::string port;          // for a bridge without a port, what names the bridge
  bool hasPort = true;
  std::string serial;        // at a station, the bridge's serial text
  std::string who;           // what every line about the printer names it by, printable
  ProgrammingOptions options;
  std::unique_ptr<PlatformPort> serialPort = MakePlatformPort();
  class Bench* bench = nullptr;
  std::thread thread;

  int percent = 0;
  std::string stage;        // the last stage message, printable
  std::string label;        // what the live line shows: the stage, or the block in hand
  std::string lastMessage;  // printable
  std::string lastText;     // the last message as the run gave it
  std::string error;        // the level-0 message of a failed run, printable
  bool done = false;
  bool ok = false;
  double seconds = 0;
  std::string hint;  // why the port would not open, in a user's words

  // The run's own lines until it ends, so that no other run cuts into its block; and,
  // beside the log, a file that gets them as they come, so that a bench that is killed
  // loses nothing already reported. It is removed once the block is in the log.
  std::string logLines;
  std::string partPath;
  StatusLog partLog;
};

class Bench : public PrinterRuns {
 public:
  // A station's runs come one by one (Start); a bench's are all known at the start.
  Bench(const ProgrammingOptions& options, const std::vector<std::uint8_t>& image,
        BenchOutput output, StatusLog& log, bool station, FinishedHandler onFinished = {})
      : m_output(output),
        m_bTerminal(!output.json && OutputIsTerminal()),
        m_bStation(station),
        m_log(log),
        m_options(options),
        m_image(image),
        m_bytesWritten(ImageBlocks(image).bytesWritten),
        m_onFinished(std::move(onFinished)) {}

  int Run(const std::vector<std::string>& ports, const std::vector<std::string>& bridgesWithoutPort) {
    for (const std::string& port : ports) Add(port, true, "");
    for (const std::string& name : bridgesWithoutPort) Add(name, false, "");
    {
      // The first Ctrl-C asks every run to stop before its next block; a second one
      // ends the program at once.
      InterruptGuard interrupt;
      for (auto& run : m_runs) Launch(*run);
      WaitForRuns();
      for (auto& run : m_runs) {
        if (run->thread.joinable()) run->thread.join();
      }
    }
    return Finish();
  }

  void Start(const std::string& port, const std::string& serial, bool hasPort) override {
    PortRun& run = Add(port, hasPort, serial);
    if (!m_output.json) {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_bTerminal) Output(run.who + ": printer found, programming");
    }
    Launch(run);
  }

  bool Busy(const std::string& port) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& run : m_runs) {
      if (run->done && run->thread.joinable()) {
        // Its thread has nothing left to do but return.
        run->thread.join();
        run->serialPort.reset();
      }
    }
    return std::any_of(m_runs.begin(), m_runs.end(),
                       [&port](const auto& run) { return run->port == port && !run->done; });
  }

  void WaitUntil(Clock::time_point deadline) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (Clock::now() < deadline) {
      if (m_bTerminal && m_bDirty) Draw();
      m_changed.wait_until(lock, m_bTerminal ? std::min(deadline, Clock::now() + REDRAW_INTERVAL) : deadline);
    }
  }

  int Finish() override {
    if (m_bStation) WaitForRuns();
    for (auto& run : m_runs) {
      if (run->thread.joinable()) run->thread.join();
    }
    if (m_output.json) {
      nlohmann::ordered_json last;
      const std::vector<std::string> failed = FailedPorts();
      last["result"] = failed.empty() ? "ok" : "failed";
      if (m_bStation) {
        const std::vector<Printer> printers = Printers();
        last["programmed"] = printers.size() - failed.size();
        last["printers"] = printers.size();
        nlohmann::ordered_json entries = nlohmann::ordered_json::array(), replugged = entries;
        for (const Printer& printer : printers) {
          const PortRun& run = *printer.last;
          if (!run.ok) entries.push_back({{"port", run.port}, {"serial", run.serial}});
          if (printer.plugIns > 1)
            replugged.push_back({{"port", run.port}, {"serial", run.serial}, {"plug_ins", printer.plugIns}});
        }
        last["failed"] = entries;
        last["replugged"] = replugged;
      } else if (!failed.empty()) {
        last["failed"] = failed;
      }
      std::cout << JsonLine(last) << std::endl;
    } else {
      PrintSummary();
    }
    for (const std::string& line : m_deferredErrors) std::cerr << line << '\n';
    std::cerr << std::flush;
    return FailedPorts().empty() ? EXIT_OK : EXIT_FAILED;
  }

 private:
  PortRun& Add(const std::string& port, bool hasPort, const std::string& serial) {
    auto run = std::make_unique<PortRun>();
    run->port = port;
    run->hasPort = hasPort;
    run->serial = serial;
    run->who = PrintableText(serial.empty() ? port : serial + " " + port);
    run->options = m_options;
    run->options.portName = port;
    run->bench = this;
    std::lock_guard<std::mutex> lock(m_mutex);
    // Only beside a log on disk: never files in /dev beside --log /dev/null. A name
    // that is taken (by a bench that was killed, or a run that goes on now) is left alone.
    if (m_log.IsRegularFile()) {
      const std::string base = m_log.Path() + "." + FileNamePart(port);
      const auto taken = [this](const std::string& path) {
        std::error_code error;
        return std::filesystem::exists(PathOf(path), error) ||
               std::any_of(m_runs.begin(), m_runs.end(),
                           [&path](const auto& other) { return !other->done && other->partPath == path; });
      };
      run->partPath = base + ".part";
      for (int n = 2; taken(run->partPath); ++n) run->partPath = base + "-" + std::to_string(n) + ".part";
    }
    m_portWidth = std::max(m_portWidth, run->who.size());
    m_bDirty = true;
    return *m_runs.emplace_back(std::move(run));
  }

  void Launch(PortRun& run) {
    try {
      run.thread = std::thread([this, &run] { Execute(run, m_image); });
    } catch (const std::system_error& e) {
      std::lock_guard<std::mutex> lock(m_mutex);
      run.error = run.lastMessage = run.lastText = std::string("cannot start a run: ") + e.what();
      EndRun(run);
    }
  }

  static int Callback(void* context, int percent, int level, int blockMessage, const char* text,
                      std::uint8_t* abortFlag) {
    auto* run = static_cast<PortRun*>(context);
    run->bench->OnMessage(*run, percent, level, blockMessage, text, abortFlag);
    return 0;
  }

  void Execute(PortRun& run, const std::vector<std::uint8_t>& image) {
    const std::string header = "****** PORT " + run.port + " ******\n";
    // A part file that cannot be written only loses the copy kept against a kill.
    if (!run.partPath.empty() && run.partLog.Open(run.partPath, true)) run.partLog.Write(header);
    const auto start = Clock::now();
    // A bench's ports were there when the user named them; a station's have just come.
    PluggedInPort pluggedIn(run.serialPort->Port());
    SerialPort& port = m_bStation ? pluggedIn : run.serialPort->Port();
    const bool ok = run.hasPort ? ProgramTarget(run.options, image.data(), static_cast<std::int32_t>(image.size()),
                                                &Callback, &run, port)
                                : NoPort(run);
    // A bridge without a port is not a run: nothing was written, in no time.
    const double seconds = run.hasPort ? std::chrono::duration<double>(Clock::now() - start).count() : 0.0;
    const std::string hint = ok || !run.hasPort ? std::string() : run.serialPort->OpenHint(run.port);
    run.partLog.Write(END_MARKER);
    run.partLog.Close();
    // The run's block goes into the log whole, so that the lines of two runs never mix.
    const bool logged = m_log.Write(header + run.logLines + END_MARKER);
    if (logged && !run.partPath.empty()) std::remove(run.partPath.c_str());
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      const std::string logFailure = TakeLogFailure(m_log);
      if (!logFailure.empty()) Error("zerviko-flash: " + logFailure);
      run.logLines = std::string();
      run.ok = ok;
      run.seconds = seconds;
      run.hint = hint;
      // Told before the run counts as done, so that a station's record has the printer
      // before anything reports it finished.
      if (m_onFinished) m_onFinished({run.port, run.serial, ok, seconds, run.lastText});
      EndRun(run);
    }
  }

  // A bridge without a port ends as a run that failed at once: its message, as an
  // engine message, goes everywhere a run's messages go.
  bool NoPort(PortRun& run) {
    OnMessage(run, 0, LEVEL_ERROR, 0, BRIDGE_WITHOUT_PORT, nullptr);
    return false;
  }

  void OnMessage(PortRun& run, int percent, int level, int blockMessage, const char* text,
                 std::uint8_t* abortFlag) {
    const bool interrupted = InterruptGuard::Interrupted() && abortFlag;
    if (interrupted) *abortFlag = 1;
    // No message: the engine only listens for Ctrl-C. The note comes with the abort.
    if (level == LEVEL_WAITING) return;
    if (m_log.IsOpen()) {
      char line[300];
      std::snprintf(line, sizeof line, "%d: %s\n", level, text);
      run.logLines += line;
      run.partLog.Write(line);
    }
    std::string json;
    if (m_output.json) {
      nlohmann::ordered_json message;
      message["port"] = run.port;
      if (m_bStation) message["serial"] = run.serial;
      message["percent"] = percent;
      message["level"] = level;
      message["block"] = blockMessage;
      message["text"] = text;
      json = JsonLine(message);
    }
    // Messages carry text from the printer (its device names): shown printable.
    const std::string shown = PrintableText(text);
    // The user must act on these at once: they get a line of their own, live lines or not.
    const bool prompt = std::strcmp(text, PROMPT_BOOT_MODE) == 0 ||
                        std::strcmp(text, PROMPT_USER_MODE) == 0;

    std::lock_guard<std::mutex> lock(m_mutex);
    if (interrupted && !m_bAbortNoted) {
      m_bAbortNoted = true;
      const char* note =
          "zerviko-flash: stopping every run before its next block write (Ctrl-C again to "
          "quit at once)";
      // Shown at once, above the live lines, however long the runs take to stop.
      if (m_bTerminal) {
        m_pendingLines.push_back(note);
      } else if (!m_output.json) {
        std::cerr << note << std::endl;
      }
    }
    run.percent = percent;
    run.lastMessage = shown;
    run.lastText = text;
    if (level == LEVEL_ERROR) run.error = shown;
    if (level == LEVEL_STAGE && !blockMessage) run.stage = shown;
    run.label = blockMessage ? shown : run.stage;
    m_bDirty = true;
    if (m_output.json) {
      std::cout << json << std::endl;
    } else if (m_output.verbose) {
      Output(run.who + ": " + std::to_string(level) + ": " + shown);
    } else if ((!m_bTerminal && level == LEVEL_STAGE && !blockMessage) || prompt) {
      Output(run.who + ": " + shown);
    }
  }

  // Called with the lock held, once per run.
  void EndRun(PortRun& run) {
    run.done = true;
    m_bDirty = true;
    if (m_output.json) {
      nlohmann::ordered_json end;
      end["port"] = run.port;
      if (m_bStation) end["serial"] = run.serial;
      end["result"] = run.ok ? "ok" : "failed";
      if (m_bStation) end["seconds"] = std::round(run.seconds * 1000) / 1000;
      std::cout << JsonLine(end) << std::endl;
    } else if (m_bStation) {
      // A line per printer that stays, above the live lines.
      char figures[64];
      std::snprintf(figures, sizeof figures, ": %s in %.1f s", run.ok ? "programmed" : "FAILED", run.seconds);
      Output(run.who + figures + (run.ok ? std::string() : ": " + run.error));
    } else if (run.ok && (!m_bTerminal || m_output.verbose)) {
      Output(run.who + ": Firmware has been successfully loaded.");
    }
    if (!run.ok) {
      if (!m_output.json && !m_bStation) {
        Error("zerviko-flash: " + run.who + ": programming failed" +
              (run.error.empty() ? std::string() : ": " + run.error));
      }
      if (!run.hint.empty()) Error("zerviko-flash: " + PrintableText(run.hint));
    }
    m_changed.notify_all();
  }

  // A line of standard output, and one of standard error. On a terminal the live lines
  // own the screen: standard output goes above them at the next redraw, and standard
  // error, which may be the same screen, after the table.
  void Output(const std::string& line) {
    if (m_bTerminal) {
      m_pendingLines.push_back(line);
    } else {
      std::cout << line << std::endl;
    }
  }
  void Error(const std::string& line) {
    if (m_bTerminal) {
      m_deferredErrors.push_back(line);
    } else {
      std::cerr << line << std::endl;
    }
  }

  bool AllDone() const {
    return std::all_of(m_runs.begin(), m_runs.end(), [](const auto& run) { return run->done; });
  }

  void WaitForRuns() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_bTerminal) {
      m_changed.wait(lock, [this] { return AllDone(); });
      return;
    }
    // This thread alone writes to the screen, so no two lines are ever mixed.
    for (;;) {
      const bool done = AllDone();
      if (m_bDirty) Draw();
      if (done) return;
      m_changed.wait_for(lock, REDRAW_INTERVAL);
    }
  }

  std::string LiveLine(const PortRun& run) const {
    const int percent = std::clamp(run.done && run.ok ? 100 : run.percent, 0, 100);
    const int filled = percent * BAR_WIDTH / 100;
    char figure[16];
    std::snprintf(figure, sizeof figure, "] %3d %% ", percent);
    std::string label = run.label;
    if (run.done) label = run.ok ? std::string("programmed") : "FAILED: " + run.error;
    return Padded(run.who, m_portWidth) + "  [" + std::string(filled, '#') +
           std::string(BAR_WIDTH - filled, '.') + figure + label;
  }

  // One write per redraw: the cursor goes back up over the live lines, the lines that
  // came since scroll in above them, and each live line is rewritten in place.
  void Draw() {
    std::string screen;
    if (m_drawnLines > 0) screen += "\033[" + std::to_string(m_drawnLines) + "A";
    for (const std::string& line : m_pendingLines) screen += "\r\033[K" + line + "\n";
    m_pendingLines.clear();
    // A live line that wrapped would throw the count of lines to go back up off.
    const int width = std::max(20, TerminalColumns() - 1);
    // The cursor can go back up no higher than the top row: live lines beyond the
    // screen would be left in the scrollback at every redraw. The line under the live
    // area, where the cursor waits, takes a row too.
    const std::size_t rows = static_cast<std::size_t>(std::max(1, TerminalRows() - 1) - (m_bStation ? 1 : 0));
    std::vector<const PortRun*> live;
    for (const auto& run : m_runs) {
      // A station shows the printers being programmed; the others have had their line.
      if (!m_bStation || !run->done) live.push_back(run.get());
    }
    // Too many: one row says how many more there are.
    const std::size_t shown = live.size() <= rows ? live.size() : std::max<std::size_t>(rows, 1) - 1;
    m_drawnLines = 0;
    for (std::size_t i = 0; i < shown; ++i) {
      screen += "\r\033[K" + FitColumns(LiveLine(*live[i]), width) + "\n";
      ++m_drawnLines;
    }
    if (shown < live.size() && rows > 0) {
      const std::string more = "... and " + std::to_string(live.size() - shown) +
                               (m_bStation ? " more being programmed" : " more ports");
      screen += "\r\033[K" + FitColumns(more, width) + "\n";
      ++m_drawnLines;
    }
    if (m_bStation) {
      screen += "\r\033[K" + FitColumns(StatusLine(), width) + "\n\033[J";
      ++m_drawnLines;
    }
    std::cout << screen << std::flush;
    m_bDirty = false;
  }

  // "waiting · 12 programmed · 1 failed", or "programming 2 · ..." while printers are.
  std::string StatusLine() const {
    std::size_t running = 0, programmed = 0, failed = 0;
    for (const auto& run : m_runs) running += !run->done;
    for (const Printer& printer : Printers()) {
      if (printer.last->done) ++(printer.last->ok ? programmed : failed);
    }
    std::string line = running ? "programming " + std::to_string(running) : std::string("waiting");
    line += " \u00b7 " + std::to_string(programmed) + " programmed";
    if (failed) line += " \u00b7 " + std::to_string(failed) + " failed";
    if (InterruptGuard::Interrupted()) line += " \u00b7 stopping";
    return line;
  }

  void PrintSummary() {
    std::size_t portWidth = 4, serialWidth = 6;
    for (const auto& run : m_runs) serialWidth = std::max(serialWidth, PrintableText(run->serial).size());
    std::string table = m_bStation ? Padded("SERIAL", serialWidth) + "  " : std::string();
    for (const auto& run : m_runs) portWidth = std::max(portWidth, PrintableText(run->port).size());
    table += Padded("PORT", portWidth) + "  RESULT  SECONDS  KiB/s  LAST MESSAGE\n";
    for (const auto& run : m_runs) {
      // The rate of the whole run, as a single run's summary line gives it.
      char rate[16] = "";
      if (run->ok && run->seconds > 0)
        std::snprintf(rate, sizeof rate, "%.1f", static_cast<double>(m_bytesWritten) / 1024.0 / run->seconds);
      char figures[48];
      std::snprintf(figures, sizeof figures, "  %-6s  %7.1f  %5s  ", run->ok ? "ok" : "failed",
                    run->seconds, rate);
      if (m_bStation) table += Padded(PrintableText(run->serial), serialWidth) + "  ";
      table += Padded(PrintableText(run->port), portWidth) + figures + run->lastMessage + "\n";
    }
    // Printers, not plug-ins: a printer plugged in again after a failed run counts
    // by its last run.
    const std::vector<Printer> printers = Printers();
    const std::vector<std::string> failed = FailedPorts();
    table += std::to_string(printers.size() - failed.size()) + " of " + std::to_string(printers.size()) +
             " printers programmed";
    std::string replugged;
    for (const Printer& printer : printers) {
      if (printer.plugIns > 1)
        replugged += (replugged.empty() ? " (" : ", ") + printer.last->who + " needed " +
                     std::to_string(printer.plugIns) + " plug-ins";
    }
    if (!replugged.empty()) table += replugged + ")";
    for (std::size_t i = 0; i < failed.size(); ++i) table += (i == 0 ? "; failed: " : ", ") + failed[i];
    if (m_runs.empty()) table = "No printer programmed";
    std::cout << (m_bTerminal ? "\n" : "") << table << ".\n" << std::flush;
  }

  // A printer is its bridge's serial text and its port; at a station, each plug-in of
  // it is a run of its own.
  struct Printer {
    const PortRun* last = nullptr;
    int plugIns = 0;
  };
  // The printers in the order they were first plugged in. Called with the lock held,
  // or once every run has ended.
  std::vector<Printer> Printers() const {
    std::vector<Printer> printers;
    for (const auto& run : m_runs) {
      const auto same = [&run](const Printer& p) {
        return p.last->port == run->port && p.last->serial == run->serial;
      };
      const auto known = std::find_if(printers.begin(), printers.end(), same);
      Printer& printer = known != printers.end() ? *known : printers.emplace_back();
      printer.last = run.get();
      ++printer.plugIns;
    }
    return printers;
  }

  // The printers whose last run failed.
  std::vector<std::string> FailedPorts() const {
    std::vector<std::string> failed;
    for (const Printer& printer : Printers()) {
      if (!printer.last->ok) failed.push_back(m_output.json ? printer.last->port : printer.last->who);
    }
    return failed;
  }

  const BenchOutput m_output;
  const bool m_bTerminal;
  const bool m_bStation;
  StatusLog& m_log;
  const ProgrammingOptions m_options;
  const std::vector<std::uint8_t>& m_image;
  const std::uint64_t m_bytesWritten;
  const FinishedHandler m_onFinished;
  std::vector<std::unique_ptr<PortRun>> m_runs;
  std::size_t m_portWidth = 0;

  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_bDirty = true;
  bool m_bAbortNoted = false;
  int m_drawnLines = 0;
  std::vector<std::string> m_pendingLines;
  std::vector<std::string> m_deferredErrors;
};

}  // namespace

int ProgramSeveralPrinters(const std::vector<std::string>& ports, const ProgrammingOptions& options,
                           const std::vector<std::uint8_t>& image, BenchOutput output,
                           StatusLog& log, const std::vector<std::string>& bridgesWithoutPort) {
  Bench bench(options, image, output, log, false);
  return bench.Run(ports, bridgesWithoutPort);
}

std::unique_ptr<PrinterRuns> MakeStationRuns(const ProgrammingOptions& options,
                                             const std::vector<std::uint8_t>& image,
                                             BenchOutput output, StatusLog& log,
                                             PrinterRuns::FinishedHandler onFinished) {
  return std::make_unique<Bench>(options, image, output, log, true, std::move(onFinished));
}

}  // namespace zerviko::cli
