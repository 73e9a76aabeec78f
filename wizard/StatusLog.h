// The status log "Status.log": every message of every run of this start of the
// program, one "%d: %s" line each (level and text), and a marker after each run that
// reached the engine. Written as text the way the loader has always written it: every
// LF goes to the disk as CR LF, on every system.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "files/LogFile.h"

namespace zerviko::wizard {

class CStatusLog {
 public:
  CStatusLog() = default;
  ~CStatusLog();
  CStatusLog(const CStatusLog&) = delete;
  CStatusLog& operator=(const CStatusLog&) = delete;

  using OpenResult = LogFileResult;

  // Creates "Status.log" in programFolder (ending in the system's separator), or
  // empties it, and keeps it for this program alone while it is open: others may read
  // it, but another loader opening it gets LOG_IN_USE and leaves it as it is. When the
  // user may not write the program folder (an installed program), the log goes to the
  // user's state folder. Unless LOG_OPENED the log stays closed and the program runs
  // without one.
  OpenResult Open(const std::string& programFolder);
  bool IsOpen() const { return m_pFile != nullptr; }
  // Where the log is, or the last place tried when it could not be opened.
  const std::string& Path() const { return m_strPath; }

  // One engine message: level, ": ", text, line end.
  void WriteMessage(int level, std::string_view text);
  // The marker after a run that reached the engine, followed by an empty line.
  void WriteEndMarker();
  // Puts what is buffered on the disk.
  void Flush();
  void Close();

  static constexpr std::string_view kEndMarker = "****** END OF CURRENT UPDATE ******\n\n";

 private:
  void WriteText(std::string_view text);

  std::FILE* m_pFile = nullptr;
  std::string m_strPath;
};

}  // namespace zerviko::wizard
