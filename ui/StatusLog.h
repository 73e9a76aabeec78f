// The status log "Status.log": every message of every run of this start of the
// program, one "%d: %s" line each, and a marker after each run. Written as text the
// way the loader has always written it: every LF goes to the disk as CR LF.
#pragma once

#include <QString>
#include <cstdio>
#include <string_view>

class CStatusLog {
 public:
  CStatusLog() = default;
  ~CStatusLog();
  CStatusLog(const CStatusLog&) = delete;
  CStatusLog& operator=(const CStatusLog&) = delete;

  // Creates the file, or empties it. False (and the log stays closed) when it cannot
  // be opened; the program then runs without a log.
  bool Open(const QString& path);
  bool IsOpen() const { return m_pFile != nullptr; }

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
};
