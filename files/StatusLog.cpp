#include "files/StatusLog.h"

#include <sys/stat.h>

#include <cstdio>

namespace zerviko {

LogFileResult CStatusLog::OpenProgramLog(const std::string& programFolder) {
  Close();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bFailed = m_bFailureTaken = false;
  std::FILE* file = nullptr;
  LogFileResult result = OpenStatusLog(programFolder, file, m_strPath);
  if (result != LogFileResult::LOG_OPENED) return result;
  // The writer takes the very file that holds the log for this program alone.
  const std::intptr_t handle = ReleaseLogFile(file);
  if (handle == -1) return LogFileResult::LOG_UNAVAILABLE;
  m_file.Adopt(m_strPath, handle);
  return result;
}

bool CStatusLog::Open(const std::string& path, bool truncate) {
  Close();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_strPath = path;
  m_bFailed = m_bFailureTaken = false;
  if (truncate) {
    if (std::FILE* emptied = std::fopen(path.c_str(), "wb")) std::fclose(emptied);
  }
  return m_file.Open(path);
}

std::string CStatusLog::OpenError() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_file.Error();
}

bool CStatusLog::IsOpen() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_file.IsOpen();
}

bool CStatusLog::IsRegularFile() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  struct stat status {};
  return m_file.IsOpen() && ::stat(m_strPath.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool CStatusLog::Write(std::string_view text) {
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_file.IsOpen() || m_bFailed) return false;
  if (m_file.Append(crlf)) return true;
  m_bFailed = true;
  m_strReason = m_file.Error().empty() ? "write failed" : m_file.Error();
  return false;
}

bool CStatusLog::WriteMessage(int level, std::string_view text) {
  std::string line = std::to_string(level);
  line += ": ";
  line += text;
  line += '\n';
  return Write(line);
}

bool CStatusLog::Close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  // Nothing is buffered: every line went to the system as it was written.
  m_file.Close();
  return !m_bFailed;
}

bool CStatusLog::Failed() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bFailed;
}

std::string CStatusLog::TakeFailure() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_bFailed || m_bFailureTaken) return {};
  m_bFailureTaken = true;
  return m_strReason;
}

}  // namespace zerviko
