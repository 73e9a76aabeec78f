#include "files/LineFile.h"

namespace zerviko {

bool LineFile::Open(const std::string& path) {
  Close();
  m_strPath = path;
  m_strError.clear();
  return OpenHandle();
}

void LineFile::Close() {
  if (IsOpen()) CloseHandle();
  m_handle = NO_HANDLE;
}

bool LineFile::Append(const std::string& lines) {
  if (m_strPath.empty()) {
    m_strError = "no file opened";
    return false;
  }
  // Rotated or deleted since the last lines: those stay with the file that has them,
  // and the path gets a file of its own again.
  if (IsOpen() && !PathNamesOpenFile()) Close();
  if (!IsOpen() && !OpenHandle()) return false;
  const bool regular = IsRegular();
  std::uint64_t before = 0;
  if (regular && !Length(before)) return false;
  // Whoever left the last line without its end, it stays a line of its own, ended as
  // these lines are.
  const bool crlf = lines.size() >= 2 && lines.compare(lines.size() - 2, 2, "\r\n") == 0;
  const std::string bytes =
      regular && before > 0 && !EndsLine(before - 1) ? (crlf ? "\r\n" : "\n") + lines : lines;
  std::uint64_t written = 0;
  if (WriteAtEnd(bytes, written)) return true;
  // A part of a line is worse than none: it would glue the next line onto it. (Should
  // the cut fail too, the next lines still start on a line of their own.)
  if (written > 0 && regular) {
    const std::string reason = m_strError;
    CutBack(before);
    m_strError = reason;
  }
  return false;
}

}  // namespace zerviko
