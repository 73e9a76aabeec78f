#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "files/UserFolders.h"

namespace zerviko {
namespace {

// The base directory rules: a variable that is unset, empty or not an absolute path
// counts as unset, and the folder below the home is used.
std::string UserFolder(const char* variable, const char* belowHome) {
  std::string base;
  const char* set = std::getenv(variable);
  if (set != nullptr && set[0] == '/') {
    base = set;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return {};
    base = home;
    while (!base.empty() && base.back() == '/') base.pop_back();
    base += belowHome;
  }
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + "/zerviko-loader/";
}

}  // namespace

std::string UserStateFolder() { return UserFolder("XDG_STATE_HOME", "/.local/state"); }

std::string UserConfigFolder() { return UserFolder("XDG_CONFIG_HOME", "/.config"); }

bool MakeUserFolder(const std::string& folder) {
  struct stat info {};
  // Each folder on the way down in turn; one that is there already (ours or the
  // system's) is left as it is.
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace zerviko
