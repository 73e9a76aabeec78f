#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "files/LogFile.h"

namespace zerviko {

LogFileResult OpenLogFile(const std::string& path, std::FILE*& file) {
  // Opened without emptying it: a loader started earlier from the same folder may be
  // writing it. Only the one that gets the lock empties it; the lock belongs to this
  // open file and ends with it. Non-blocking, so that something other than a file in
  // the log's place (a FIFO) refuses at once instead of holding the start of the
  // program.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    // Judged by the attempt itself, not by access(): root may write a folder whose mode
    // says read-only, and only a read-only mount keeps it out.
    return errno == EACCES || errno == EPERM || errno == EROFS ? LogFileResult::LOG_NOT_WRITABLE
                                                               : LogFileResult::LOG_UNAVAILABLE;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    return LogFileResult::LOG_IN_USE;
  }
  // (A file system that cannot lock at all gets the log unguarded, as it always did.)
  if (::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return LogFileResult::LOG_UNAVAILABLE;
  }
  std::FILE* opened = ::fdopen(fd, "wb");
  if (opened == nullptr) {
    ::close(fd);
    return LogFileResult::LOG_UNAVAILABLE;
  }
  file = opened;
  return LogFileResult::LOG_OPENED;
}

std::intptr_t ReleaseLogFile(std::FILE* file) {
  // A duplicate shares the open file, and with it the lock.
  const int fd = ::fcntl(::fileno(file), F_DUPFD_CLOEXEC, 0);
  std::fclose(file);
  if (fd < 0) return -1;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_APPEND);
  return fd;
}

}  // namespace zerviko
