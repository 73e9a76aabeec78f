#include "files/UserFolders.h"

namespace zerviko {

std::vector<std::string> LanguagePackFolders(const std::string& programFolder) {
  std::vector<std::string> folders;
  const std::string config = UserConfigFolder();
  if (!config.empty()) folders.push_back(config + "Resources/");
  const std::string separator = programFolder.empty() ? "/" : programFolder.substr(programFolder.size() - 1);
  folders.push_back(programFolder + "Resources" + separator);
  return folders;
}

}  // namespace zerviko
