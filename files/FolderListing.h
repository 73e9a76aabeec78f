// The entries of one folder that match a wildcard mask, for the file chooser's tree
// and file list and for the language packs. The build chooses the system's file
// (LinuxFolderListing.cpp, Win32FolderListing.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zerviko {

struct FolderEntry {
  std::string name;       // the bare name, without the folder
  bool isFolder = false;  // a folder (or a link to one); otherwise a regular file
};

// Whether name matches mask: "*" any run of characters (none included), "?" any one
// character, every other character itself, letters compared without regard to case
// ("ZERVIKO*.avk" matches "zerviko_2.AVK").
bool MatchesMask(std::string_view name, std::string_view mask);

// The entries of folder whose names match mask, "." and ".." left out, hidden ones
// included. Only folders and regular files are listed (following links): a FIFO, a
// device or a broken link is never offered, since reading one could hang or fail.
// In the order the system gives them. Returns false, with no entries, when the folder
// cannot be read.
bool ListFolder(const std::string& folder, std::string_view mask, std::vector<FolderEntry>& entries);

// The entries sorted by name, letters compared without regard to case (the exact
// names deciding a tie): the order the wizard's tree and lists show them in.
void SortByName(std::vector<FolderEntry>& entries);

}  // namespace zerviko
