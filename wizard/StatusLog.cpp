#include "wizard/StatusLog.h"

namespace zerviko::wizard {

CStatusLog::~CStatusLog() { Close(); }

CStatusLog::OpenResult CStatusLog::Open(const std::string& programFolder) {
  Close();
  // Binary: the line ends are turned into CR LF here, the same on every system.
  return OpenStatusLog(programFolder, m_pFile, m_strPath);
}

void CStatusLog::WriteText(std::string_view text) {
  if (m_pFile == nullptr) return;
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  // A failed write (a full disk) loses log lines but never the run: it is not
  // reported, and the next line is tried again.
  std::fwrite(out.data(), 1, out.size(), m_pFile);
}

void CStatusLog::WriteMessage(int level, std::string_view text) {
  std::string line = std::to_string(level);
  line += ": ";
  line += text;
  line += '\n';
  WriteText(line);
}

void CStatusLog::WriteEndMarker() { WriteText(kEndMarker); }

void CStatusLog::Flush() {
  if (m_pFile != nullptr) std::fflush(m_pFile);
}

void CStatusLog::Close() {
  if (m_pFile == nullptr) return;
  std::fclose(m_pFile);
  m_pFile = nullptr;
}

}  // namespace zerviko::wizard
