// A folder's entries on Linux: readdir, and stat for what each entry is.
#include <dirent.h>
#include <sys/stat.h>

#include <memory>

#include "files/FolderListing.h"

namespace zerviko {

bool ListFolder(const std::string& folder, std::string_view mask, std::vector<FolderEntry>& entries) {
  entries.clear();
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return false;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    // stat follows a link to what it names; a broken link fails and is left out.
    struct stat info {};
    if (::stat((prefix + name).c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      entries.push_back({name, true});
    } else if (S_ISREG(info.st_mode)) {
      entries.push_back({name, false});
    }
  }
  return true;
}

}  // namespace zerviko
