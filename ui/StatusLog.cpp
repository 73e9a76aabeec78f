#include "ui/StatusLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <string>

CStatusLog::~CStatusLog() { Close(); }

CStatusLog::OpenResult CStatusLog::Open(const QString& path) {
  Close();
  // Opened without emptying it: a loader started earlier from the same folder may be
  // writing it. Only the one that gets the lock empties it; the lock belongs to this
  // open file and ends with it, at Close or when the program ends however it ends.
  // Non-blocking, so that something other than a file in the log's place (a FIFO)
  // refuses at once instead of holding the start of the program.
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return OpenResult::LOG_UNAVAILABLE;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    return OpenResult::LOG_IN_USE;
  }
  // (A file system that cannot lock at all gets the log unguarded, as it always did.)
  if (::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return OpenResult::LOG_UNAVAILABLE;
  }
  // Binary mode: the line ends are turned into CR LF here, the same on every platform.
  m_pFile = ::fdopen(fd, "wb");
  if (m_pFile == nullptr) {
    ::close(fd);
    return OpenResult::LOG_UNAVAILABLE;
  }
  return OpenResult::LOG_OPENED;
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
