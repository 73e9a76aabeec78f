#include <unistd.h>

#include "files/ProgramFolder.h"

namespace zerviko {

std::string ProgramFolder() {
  // /proc/self/exe names the program's real file, so a launcher symlink on the PATH
  // still leads to the real program folder.
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0) return {};
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace zerviko
