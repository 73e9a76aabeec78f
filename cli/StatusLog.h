// The status log of zerviko-flash program (--log FILE), in the format of the wizard's
// "Status.log": one "%d: %s" line per message and the end marker after each run,
// every line end written as CR LF. The file is appended to, so that a bench keeps the
// history of its runs.
//
// Write may be called from several threads: each call's text goes in whole, flushed.
// Every write and flush is checked: after the first failure (a full disk) the file is
// written no more, so that what it holds is what the runs said, in order, and the
// failure is kept for the program to say once.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

#include "cli/Text.h"

namespace zerviko::cli {

inline constexpr const char* END_MARKER = "****** END OF CURRENT UPDATE ******\n\n";

class StatusLog {
 public:
  StatusLog() = default;
  StatusLog(const StatusLog&) = delete;
  StatusLog& operator=(const StatusLog&) = delete;
  ~StatusLog() { Close(); }

  // Opens path to append to it, or, with truncate, emptied.
  bool Open(const std::string& path, bool truncate = false) {
    m_file = std::fopen(path.c_str(), truncate ? "wb" : "ab");
    m_strPath = path;
    return m_file != nullptr;
  }
  bool IsOpen() const { return m_file != nullptr; }
  const std::string& Path() const { return m_strPath; }
  // A file of its own on disk, beside which other files may be written (not a
  // device such as /dev/null, nor a pipe).
  bool IsRegularFile() const {
    std::error_code error;
    return m_file && std::filesystem::is_regular_file(PathOf(m_strPath), error);
  }

  // True when text is in the file whole.
  bool Write(const std::string& text) {
    if (!m_file) return false;
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bFailed) return false;
    errno = 0;
    if (std::fwrite(crlf.data(), 1, crlf.size(), m_file) != crlf.size() || std::fflush(m_file) != 0) {
      Fail();
      return false;
    }
    return true;
  }

  // Closes the file; false when it was not written whole.
  bool Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file) return !m_bFailed;
    errno = 0;
    if (std::fclose(m_file) != 0 && !m_bFailed) Fail();
    m_file = nullptr;
    return !m_bFailed;
  }

  // True once a write, flush or close has failed: the log is incomplete.
  bool Failed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bFailed;
  }
  // The first failure in a user's words, naming the file and the reason, the first
  // time it is asked for; empty otherwise.
  std::string TakeFailure() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bFailed || m_bFailureTaken) return {};
    m_bFailureTaken = true;
    return "cannot write the log " + PrintableText(m_strPath) + ": " + m_strReason +
           "; the log is incomplete";
  }

 private:
  void Fail() {
    m_strReason = errno != 0 ? std::strerror(errno) : "write failed";
    m_bFailed = true;
  }

  std::FILE* m_file = nullptr;
  std::string m_strPath;
  mutable std::mutex m_mutex;
  bool m_bFailed = false;
  bool m_bFailureTaken = false;
  std::string m_strReason;
};

}  // namespace zerviko::cli
