#include "cli/Station.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Platform.h"
#include "cli/Sha256.h"
#include "cli/Text.h"
#include "ports/PortList.h"

namespace zerviko::cli {
namespace {

using Clock = std::chrono::steady_clock;

// A printer is noticed within this of its port appearing, at no cost worth measuring:
// a poll reads a few sysfs folders (on Windows, asks the bridge library and registry).
constexpr auto POLL_INTERVAL = std::chrono::milliseconds(250);
// A bridge counts as gone once this many polls in a row have not found it, so that one
// poll that catches the system mid-change never makes a printer programmed twice.
constexpr int POLLS_TO_GONE = 2;
// Record lines are far shorter; one that fits the buffer reaches the file in one write.
constexpr std::size_t RECORD_BUFFER = 64 * 1024;

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

// The record: opened for appending, each line whole in one write, flushed at once.
class Record {
 public:
  ~Record() {
    if (m_file) std::fclose(m_file);
  }
  bool Open(const std::string& path) {
    m_file = std::fopen(path.c_str(), "ab");
    if (m_file) std::setvbuf(m_file, nullptr, _IOFBF, RECORD_BUFFER);
    return m_file != nullptr;
  }
  // Called under the runs' lock, one printer at a time.
  void Append(const nlohmann::ordered_json& entry) {
    if (!m_file || m_bFailed) return;
    const std::string line = entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    errno = 0;
    if (std::fwrite(line.data(), 1, line.size(), m_file) != line.size() || std::fflush(m_file) != 0) {
      m_bFailed = true;
      m_strFailure = errno ? std::strerror(errno) : "write failed";
      std::cerr << "zerviko-flash: cannot write the record: " << m_strFailure
                << "; no more printers are recorded\n" << std::flush;
    }
  }
  bool Failed() const { return m_bFailed; }

 private:
  std::FILE* m_file = nullptr;
  bool m_bFailed = false;
  std::string m_strFailure;
};

}  // namespace

int RunStation(const ProgrammingOptions& options, const std::vector<std::uint8_t>& image,
               const StationSettings& settings, StatusLog& log) {
  Record record;
  if (!settings.recordPath.empty() && !record.Open(settings.recordPath)) {
    std::cerr << "zerviko-flash: cannot open the record " << PrintableText(settings.recordPath) << ": "
              << std::strerror(errno) << "\n";
    if (settings.output.json) std::cout << R"({"result":"failed","programmed":0,"failed":[]})" << std::endl;
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

  // The printers plugged in now: what names them (port, or the bridge's name when it
  // has none, and serial text) and how many polls in a row have missed them.
  std::map<std::string, int> present;
  {
    InterruptGuard interrupt;
    while (!InterruptGuard::Interrupted()) {
      const auto next = Clock::now() + POLL_INTERVAL;
      runs->Busy({});  // lets the threads of finished runs go
      for (auto& entry : present) ++entry.second;
      for (const ports::PrinterBridge& bridge : ports::FindPrinterBridges()) {
        const std::string& port = bridge.port.empty() ? bridge.name : bridge.port;
        const std::string key = port + '\n' + bridge.serial;
        const auto seen = present.find(key);
        if (seen != present.end()) {
          seen->second = 0;
        } else if (!runs->Busy(port)) {  // else the last plug-in's run is still stopping
          present.emplace(key, 0);
          runs->Start(port, bridge.serial, !bridge.port.empty());
        }
      }
      std::erase_if(present, [](const auto& entry) { return entry.second >= POLLS_TO_GONE; });
      runs->WaitUntil(next);
    }
  }
  const int status = runs->Finish();
  return status == EXIT_OK && record.Failed() ? EXIT_LOG_INCOMPLETE : status;
}

}  // namespace zerviko::cli
