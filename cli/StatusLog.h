// The status log of zerviko-flash (--log FILE): the wizard's writer and format
// (files/StatusLog.h), appended to, so that a bench keeps the history of its runs.
#pragma once

#include <string>

#include "cli/Text.h"
#include "files/StatusLog.h"

namespace zerviko::cli {

using StatusLog = CStatusLog;

inline const std::string END_MARKER(CStatusLog::kEndMarker);

// The log's first failure in a user's words, naming the file and the reason, the
// first time it is asked for; empty otherwise.
inline std::string TakeLogFailure(StatusLog& log) {
  const std::string reason = log.TakeFailure();
  if (reason.empty()) return {};
  return "cannot write the log " + PrintableText(log.Path()) + ": " + reason + "; the log is incomplete";
}

}  // namespace zerviko::cli
