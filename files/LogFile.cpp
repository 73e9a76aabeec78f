#include "files/LogFile.h"

#include "files/UserFolders.h"

namespace zerviko {

LogFileResult OpenStatusLog(const std::string& programFolder, std::FILE*& file, std::string& path) {
  path = programFolder + kStatusLogName;
  const LogFileResult beside = OpenLogFile(path, file);
  // Only a folder the user may not write sends the log elsewhere; anything else (a
  // folder in the log's place, another loader holding it) stays as it always was.
  if (beside != LogFileResult::LOG_NOT_WRITABLE) return beside;
  const std::string folder = UserStateFolder();
  if (folder.empty()) return beside;
  path = folder + kStatusLogName;
  if (!MakeUserFolder(folder)) return LogFileResult::LOG_UNAVAILABLE;
  return OpenLogFile(path, file);
}

}  // namespace zerviko
