#include "cli/Station.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Platform.h"
#include "cli/Sha256.h"
#include "cli/Text.h"
#include "files/LineFile.h"
#include "ports/PortList.h"

namespace zerviko::cli {
namespace {

using Clock = std::chrono::steady_clock;

// A printer is noticed within this of its port appearing, at no cost worth measuring:
// a poll reads a few sysfs folders (on Windows, asks the bridge library and registry).
constexpr auto POLL_INTERVAL = std::chrono::milliseconds(250);
// A bridge counts as gone once this many polls in a row have not found it, so that one
// poll that catches the system mid-change never makes a printer programmed twice. A
// bridge that says which plug-in it is needs no such wait: a new plug-in is new at once.
constexpr int POLLS_TO_GONE = 2;
// A bridge without a port counts as a printer once this many polls in a row have found
// it so: the kernel shows a USB device a moment before its tty, and takes the tty away
// a moment before the device, and such a moment is no failed printer.
constexpr int POLLS_WITHOUT_PORT = 4;

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  // Called under the runs' lock alone, so gmtime's one buffer is this caller's.
  const std::tm* utc = std::gmtime(&seconds);
  char text[40] = "";
  const std::size_t length = utc ? std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", utc) : 0;
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
  return text;
}

// The record: a line per printer, each whole or not at all, at the path it was given
// even when the file there is rotated away.
class Record {
 public:
  bool Open(const std::string& path) { return m_file.Open(path); }
  const std::string& Error() const { return m_file.Error(); }
  // Called under the runs' lock, one printer at a time.
  void Append(const nlohmann::ordered_json& entry) {
    if (m_file.Path().empty() || m_bFailed) return;
    if (!m_file.Append(JsonLine(entry) + "\n")) {
      m_bFailed = true;
      std::cerr << "zerviko-flash: cannot write the record " << PrintableText(m_file.Path()) << ": "
                << m_file.Error() << "; no more printers are recorded\n" << std::flush;
    }
  }
  bool Failed() const { return m_bFailed; }

 private:
  LineFile m_file;
  bool m_bFailed = false;
};

}  // namespace

int RunStation(const ProgrammingOptions& options, const std::vector<std::uint8_t>& image,
               const StationSettings& settings, StatusLog& log) {
  Record record;
  if (!settings.recordPath.empty() && !record.Open(settings.recordPath)) {
    std::cerr << "zerviko-flash: cannot open the record " << PrintableText(settings.recordPath) << ": "
              << record.Error() << "\n";
    if (settings.output.json)
      std::cout << R"({"result":"failed","programmed":0,"printers":0,"failed":[],"replugged":[]})" << std::endl;
    return EXIT_FAILED;
  }
  // Each poll looks for the library anew, so the station finds the printers once it is
  // put in place; said once, not at every poll.
  const std::string problem = ports::BridgeSearchProblem();
  if (!problem.empty()) {
    std::cerr << "zerviko-flash: " << problem << " The station goes on waiting for printers.\n"
              << std::flush;
  }
  const std::string sha256 = Sha256Hex(image.data(), image.size());
  const auto runs = MakeStationRuns(options, image, settings.output, log, [&](const PrinterRuns::Finished& run) {
    nlohmann::ordered_json entry;
    entry["time"] = UtcNow();
    entry["serial"] = run.serial;
    entry["port"] = run.port;
    entry["package"] = settings.packageName;
    entry["sha256"] = sha256;
    entry["result"] = run.ok ? "ok" : "failed";
    entry["seconds"] = std::round(run.seconds * 1000) / 1000;
    entry["message"] = run.lastMessage;
    record.Append(entry);
  });

  // The printers plugged in now, by what names them (port, or the bridge's name when it
  // has none, and serial text): which plug-in, how many polls have found it and how many
  // in a row have missed it, and whether it has been taken to be programmed.
  struct Plugged {
    std::string plugIn;
    int found = 0;
    int missed = 0;
    bool started = false;
  };
  std::map<std::string, Plugged> present;
  {
    InterruptGuard interrupt;
    while (!InterruptGuard::Interrupted()) {
      const auto next = Clock::now() + POLL_INTERVAL;
      runs->Busy({});  // lets the threads of finished runs go
      for (auto& entry : present) ++entry.second.missed;
      for (const ports::PrinterBridge& bridge : ports::FindPrinterBridges()) {
        const std::string& port = bridge.port.empty() ? bridge.name : bridge.port;
        Plugged& seen = present[port + '\n' + bridge.serial];
        // Another plug-in than the one taken: its printer is programmed anew, however
        // short the gap was. A plug-in that could not be told at first (on Windows, the
        // device's key made a moment after the bridge is listed) is still the same one.
        if (!seen.plugIn.empty() && !bridge.plugIn.empty() && seen.plugIn != bridge.plugIn)
          seen = {bridge.plugIn};
        else if (seen.plugIn.empty())
          seen.plugIn = bridge.plugIn;
        seen.missed = 0;
        ++seen.found;
        if (seen.started || (bridge.port.empty() && seen.found < POLLS_WITHOUT_PORT)) continue;
        if (runs->Busy(port)) continue;  // the last plug-in's run is still stopping
        seen.started = true;
        runs->Start(port, bridge.serial, !bridge.port.empty());
      }
      std::erase_if(present, [](const auto& entry) { return entry.second.missed >= POLLS_TO_GONE; });
      runs->WaitUntil(next);
    }
  }
  const int status = runs->Finish();
  return status == EXIT_OK && record.Failed() ? EXIT_LOG_INCOMPLETE : status;
}

}  // namespace zerviko::cli
