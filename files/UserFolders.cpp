#include "files/UserFolders.h"

namespace zerviko {

std::vector<std::string> LanguagePackFolders(const std::string& programFolder) {
  std::vector<std::string> folders;
  const std::string config = UserConfigFolder();
  if (!config.empty()) folders.push_back(config + "Resources/");
  // The program folder ends in the system's own separator, a backslash on Windows.
  const char separator = programFolder.empty() ? '/' : programFolder.back();
  folders.push_back(programFolder + "Resources" + separator);
  return folders;
}

}  // namespace zerviko
