// zerviko-flash program --station: a programming station. It watches for the printer's
// bridges as --port all finds them, polling a few times a second, and programs each
// printer that appears, at once and on a thread of its own, as a bench does, once per
// plug-in: a printer is known by its port and its bridge's serial text, and is
// programmed again only after its bridge has gone and come back. A bridge that gives
// no port is reported as a failed printer. Ctrl-C stops watching, lets the runs stop
// before their next block, and prints the table of every printer since the start.
//
// --record FILE appends a JSON line per finished printer, written at once and whole or
// not at all (files/LineFile.h), so that a service centre keeps a record across
// restarts, full disks and log rotation. Its texts are UTF-8, as --json's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/SeveralPrinters.h"
#include "cli/StatusLog.h"
#include "engine/ProgramTarget.h"

namespace zerviko::cli {

struct StationSettings {
  BenchOutput output;
  std::string recordPath;   // empty: no record
  std::string packageName;  // the package's (or image's) file name, for the record
};

// Returns the exit status as a bench does: EXIT_FAILED too when the record cannot be
// opened (before any printer is touched), EXIT_LOG_INCOMPLETE when every printer was
// programmed but the record could not be written whole.
int RunStation(const ProgrammingOptions& options, const std::vector<std::uint8_t>& image,
               const StationSettings& settings, StatusLog& log);

}  // namespace zerviko::cli
