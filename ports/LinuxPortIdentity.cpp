// Two port names on Linux reach one port when they lead to the same device: a relative
// path (3 in /dev/pts), a link (/dev/serial/by-id/...) or another node of the same
// device all count. stat() follows the links without opening anything, so no modem
// line moves.
#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "ports/PortIdentity.h"

namespace zerviko::ports {

namespace {

// The path as the system would take it from here, for names that do not exist.
std::filesystem::path Absolute(const std::string& name) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(name, error);
  return error ? std::filesystem::path(name) : path.lexically_normal();
}

}  // namespace

bool IsSamePort(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat first {}, second {};
  const bool firstFound = ::stat(a.c_str(), &first) == 0;
  const bool secondFound = ::stat(b.c_str(), &second) == 0;
  if (firstFound && secondFound) {
    // A device node stands for its device number, wherever the node lies.
    if (S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode)) return first.st_rdev == second.st_rdev;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  // Names that lead nowhere (yet) are the same port when they are the same path.
  return !firstFound && !secondFound && Absolute(a) == Absolute(b);
}

}  // namespace zerviko::ports
