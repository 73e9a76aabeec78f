#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/LineFile.h"

namespace zerviko {
namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

bool LineFile::OpenHandle() {
  // Read too, to see how the last line ends; a file this user may only write is still
  // appended to.
  int fd = ::open(m_strPath.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EACCES) fd = ::open(m_strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    m_strError = std::strerror(errno);
    return false;
  }
  m_handle = fd;
  return true;
}

void LineFile::CloseHandle() { ::close(Fd(m_handle)); }

bool LineFile::PathNamesOpenFile() const {
  struct stat named {}, open {};
  return ::stat(m_strPath.c_str(), &named) == 0 && ::fstat(Fd(m_handle), &open) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

bool LineFile::IsRegular() const {
  struct stat info {};
  return ::fstat(Fd(m_handle), &info) == 0 && S_ISREG(info.st_mode);
}

bool LineFile::Length(std::uint64_t& length) {
  struct stat info {};
  if (::fstat(Fd(m_handle), &info) != 0) {
    m_strError = std::strerror(errno);
    return false;
  }
  length = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool LineFile::EndsLine(std::uint64_t offset) const {
  char last = 0;
  return ::pread(Fd(m_handle), &last, 1, static_cast<off_t>(offset)) != 1 || last == '\n';
}

bool LineFile::WriteAtEnd(const std::string& bytes, std::uint64_t& written) {
  written = 0;
  while (written < bytes.size()) {
    // O_APPEND: every write goes to the end, whoever else appends.
    const ssize_t wrote = ::write(Fd(m_handle), bytes.data() + written, bytes.size() - written);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      m_strError = wrote < 0 ? std::strerror(errno) : "write failed";
      return false;
    }
    written += static_cast<std::uint64_t>(wrote);
  }
  return true;
}

bool LineFile::CutBack(std::uint64_t length) {
  if (::ftruncate(Fd(m_handle), static_cast<off_t>(length)) == 0) return true;
  m_strError = std::strerror(errno);
  return false;
}

}  // namespace zerviko
