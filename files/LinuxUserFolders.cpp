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

}  // namespace zerviko
