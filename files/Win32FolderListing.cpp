// A folder's entries on Windows: the directory search over folder "\" mask.
#include <windows.h>

#include "files/FolderListing.h"

namespace zerviko {

bool ListFolder(const std::string& folder, std::string_view mask, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::string pattern = folder;
  while (!pattern.empty() && (pattern.back() == '\\' || pattern.back() == '/')) pattern.pop_back();
  pattern += '\\';
  pattern += mask;
  WIN32_FIND_DATAA data{};
  const HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    // An empty folder that matches nothing is still a folder that could be read.
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  do {
    const std::string name = data.cFileName;
    // The search also matches a name's short 8.3 form ("*.avk" finds "x.avkx" through
    // "X~1.AVK"): the long name must match the mask itself, as on Linux.
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) continue;
    entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return true;
}

}  // namespace zerviko
