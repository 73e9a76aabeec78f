// The status log of zerviko-flash program (--log FILE), in the format of the wizard's
// "Status.log": one "%d: %s" line per message and the end marker after each run,
// every line end written as CR LF. The file is appended to, so that a bench keeps the
// history of its runs.
//
// Write may be called from several threads: each call's text goes in whole, flushed.
#pragma once

#include <fstream>
#include <mutex>
#include <string>

namespace zerviko::cli {

inline constexpr const char* END_MARKER = "****** END OF CURRENT UPDATE ******\n\n";

class StatusLog {
 public:
  bool Open(const std::string& path) {
    m_file.open(path, std::ios::binary | std::ios::app);
    return m_file.is_open();
  }
  bool IsOpen() const { return m_file.is_open(); }
  void Write(const std::string& text) {
    if (!m_file.is_open()) return;
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_file.write(crlf.data(), static_cast<std::streamsize>(crlf.size()));
    m_file.flush();
  }

 private:
  std::ofstream m_file;
  std::mutex m_mutex;
};

}  // namespace zerviko::cli
