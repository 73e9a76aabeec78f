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
// port, when that run ends.
#pragma once

#include <cstdint>
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

}  // namespace zerviko::cli
