// zerviko-flash program on several ports at once: a bench of printers programmed in
// the time of one, since the serial lines, not the computer, take the time.
//
// One run per port, each on a thread of its own with its own port, run object and
// abort byte; one printer's failure never stops the others. Ctrl-C asks every run to
// stop before its next block. What the user sees:
//   - on a terminal, one live line per port (port, bar, percent, stage) redrawn in
//     place a few times a second, then a table of the results;
//   - otherwise, plain lines each prefixed with the port (-v: every message), then
//     the same table;
//   - with --json, every message object carries "port", each port ends with
//     {"port": P, "result": ...}, and the last line is {"result": "ok"}, or
//     {"result": "failed", "failed": [ports]}.
// Each run's lines go into the status log as one block, preceded by a line naming its
// port, when that run ends; until then, beside a log on disk, they go as they come to
// a file of the run's own (LOG.PORT.part), removed once the block is in the log, so
// that a bench that is killed keeps what it had reported. Port names are shown
// printable; the log and --json keep them exact.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/StatusLog.h"
#include "engine/ProgramTarget.h"

namespace zerviko::cli {

struct BenchOutput {
  bool json = false;
  bool verbose = false;
};

// Programs image into the printer on every port with options (its portName aside).
// bridgesWithoutPort names printer bridges that give no port: each is listed after the
// ports as a failed entry, "printer bridge found, no port", since a printer on it is
// not programmed. Returns EXIT_OK when every run succeeded, EXIT_FAILED otherwise.
int ProgramSeveralPrinters(const std::vector<std::string>& ports, const ProgrammingOptions& options,
                           const std::vector<std::uint8_t>& image, BenchOutput output,
                           StatusLog& log, const std::vector<std::string>& bridgesWithoutPort = {});

// The runs of a programming station: printers that come one by one, each run as a
// bench runs it, on a thread of its own, with the bench's output, and every line about
// a printer naming it by its serial text and port. On a terminal the live lines are
// those of the printers being programmed, under a line per finished printer, with a
// status line under them ("waiting \u00b7 12 programmed \u00b7 1 failed"), never more
// lines than the terminal has rows; --json messages carry "serial" as well as "port".
// A port that does not open at once, just plugged in, is tried again for a moment.
// The table has a row per plug-in; the counts are of printers (serial text and port),
// each by its last plug-in, and name those that needed more than one.
class PrinterRuns {
 public:
  struct Finished {
    std::string port;
    std::string serial;
    bool ok = false;
    double seconds = 0;
    std::string lastMessage;  // as the run gave it
  };
  // Called on the run's thread as each printer finishes, before anything else says so.
  using FinishedHandler = std::function<void(const Finished&)>;

  virtual ~PrinterRuns() = default;
  // Starts programming the printer on port; without a port, it is reported as failed.
  virtual void Start(const std::string& port, const std::string& serial, bool hasPort) = 0;
  // True while a run on port goes on.
  virtual bool Busy(const std::string& port) = 0;
  // Keeps the terminal's lines up to date until deadline.
  virtual void WaitUntil(std::chrono::steady_clock::time_point deadline) = 0;
  // Waits for every run to end, prints the table (--json: the summary) and returns the
  // exit status: EXIT_OK when every printer's last run succeeded.
  virtual int Finish() = 0;
};

std::unique_ptr<PrinterRuns> MakeStationRuns(const ProgrammingOptions& options,
                                             const std::vector<std::uint8_t>& image,
                                             BenchOutput output, StatusLog& log,
                                             PrinterRuns::FinishedHandler onFinished);

}  // namespace zerviko::cli
