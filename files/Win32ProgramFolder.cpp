#include <windows.h>

#include "files/ProgramFolder.h"

namespace zerviko {

std::string ProgramFolder() {
  // A program folder deeper than MAX_PATH is asked for again with room enough, rather
  // than cut off into some other folder.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768 * 3) return {};  // the longest path, in UTF-8
    path.resize(path.size() * 2);
  }
  const std::size_t backslash = path.find_last_of("\\/");
  return backslash == std::string::npos ? std::string() : path.substr(0, backslash + 1);
}

}  // namespace zerviko
