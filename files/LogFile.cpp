#include "files/LogFile.h"

#include <filesystem>
#include <system_error>

#include "files/UserFolders.h"

namespace zerviko {
namespace {

// Makes the folder and every missing folder above it, each new one for its owner
// only: a user's state is the user's own. True when the folder is there at the end.
bool MakeUserFolder(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_directory(folder, error)) return true;
  const fs::path parent = folder.parent_path();
  if (!parent.empty() && parent != folder && !MakeUserFolder(parent)) return false;
  if (!fs::create_directory(folder, error)) return fs::is_directory(folder, error);
  fs::permissions(folder, fs::perms::owner_all, error);
  return true;
}

}  // namespace

LogFileResult OpenStatusLog(const std::string& programFolder, std::FILE*& file, std::string& path) {
  path = programFolder + kStatusLogName;
  const LogFileResult beside = OpenLogFile(path, file);
  // Only a folder the user may not write sends the log elsewhere; anything else (a
  // folder in the log's place, another loader holding it) stays as it always was.
  if (beside != LogFileResult::LOG_NOT_WRITABLE) return beside;
  const std::string folder = UserStateFolder();
  if (folder.empty()) return beside;
  path = folder + kStatusLogName;
  if (!MakeUserFolder(std::filesystem::path(path).parent_path())) {
    return LogFileResult::LOG_UNAVAILABLE;
  }
  return OpenLogFile(path, file);
}

}  // namespace zerviko
