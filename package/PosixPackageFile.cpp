#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "package/PackageFile.h"

namespace zerviko {

namespace {
int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }
}  // namespace

PackageFile::~PackageFile() {
  if (m_handle >= 0) ::close(Descriptor(m_handle));
}

bool PackageFile::Open(const std::string& path) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it changes
  // nothing for the regular files that pass the check below.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  m_handle = fd;

  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;

  // A program that holds the package locked for itself is writing it, so the file is
  // not to be read now. Readers share the file: a second program reading the same
  // package at the same moment is no reason to call a good package unavailable. A
  // file system without lock support is no reason to refuse the file either.
  while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return false;
    break;
  }
  return true;
}

std::int64_t PackageFile::Read(void* buffer, std::size_t size) {
  ssize_t count;
  do {
    count = ::read(Descriptor(m_handle), buffer, size);
  } while (count < 0 && errno == EINTR);
  return count;
}

std::int64_t PackageFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  ssize_t count;
  do {
    count = ::pread(Descriptor(m_handle), buffer, size, static_cast<off_t>(offset));
  } while (count < 0 && errno == EINTR);
  return count;
}

bool PackageFile::Size(std::uint64_t& size) const {
  struct stat info {};
  if (::fstat(Descriptor(m_handle), &info) != 0 || info.st_size < 0) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

}  // namespace zerviko
