// The status log's writer, shared by the wizard ("Status.log") and zerviko-flash
// (--log FILE): one "%d: %s" line per engine message (level and text) and the end
// marker after each run, every LF going to the disk as CR LF, on every system.
//
// What a technician keeps is written whole or not at all (files/LineFile.h): each Write
// lands whole, or the file is cut back to its length before it, and a log that ends in
// a fragment (a program killed mid-line) goes on on a new line. The first failure (a
// full disk, a removed stick, a file grown past its limit) is kept with its reason for
// the program to say once, and nothing more is written, so that what the file holds is
// what the runs said, in order, up to the failure.
//
// Write may be called from several threads: each call's text goes in whole.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "files/LineFile.h"
#include "files/LogFile.h"

namespace zerviko {

class CStatusLog {
 public:
  CStatusLog() = default;
  ~CStatusLog() { Close(); }
  CStatusLog(const CStatusLog&) = delete;
  CStatusLog& operator=(const CStatusLog&) = delete;

  static constexpr std::string_view kEndMarker = "****** END OF CURRENT UPDATE ******\n\n";

  // The program's own "Status.log" in programFolder, held alone and emptied
  // (OpenStatusLog). Unless LOG_OPENED the log stays closed.
  LogFileResult OpenProgramLog(const std::string& programFolder);
  // Any file (a bench's --log): appended to, or emptied with truncate. False, with
  // OpenError(), when it cannot be opened.
  bool Open(const std::string& path, bool truncate = false);
  // Why Open failed, in a user's words.
  std::string OpenError() const;

  bool IsOpen() const;
  // Where the log is, or the last place tried when it could not be opened.
  const std::string& Path() const { return m_strPath; }
  // A file of its own on disk (not a device such as /dev/null, nor a pipe).
  bool IsRegularFile() const;

  // True when text (its LFs as CR LF) is in the file whole.
  bool Write(std::string_view text);
  // One engine message: level, ": ", text, line end.
  bool WriteMessage(int level, std::string_view text);
  bool WriteEndMarker() { return Write(kEndMarker); }

  // Closes the file; false when the log was not written whole.
  bool Close();

  // True once a write has failed: the log is incomplete.
  bool Failed() const;
  // The first failure's reason (the system's words), the first time it is asked for;
  // empty otherwise.
  std::string TakeFailure();

 private:
  mutable std::mutex m_mutex;
  LineFile m_file;
  std::string m_strPath;
  bool m_bFailed = false;
  bool m_bFailureTaken = false;
  std::string m_strReason;
};

}  // namespace zerviko
