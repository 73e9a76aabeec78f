#include "files/FolderListing.h"

#include <algorithm>
#include <cctype>

namespace zerviko {
namespace {

unsigned char Upper(char c) { return static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c))); }

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  // Greedy with one step back to the last "*": linear in practice, and never recursive,
  // whatever a name or a mask holds.
  std::size_t n = 0, m = 0;
  std::size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || Upper(mask[m]) == Upper(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

void SortByName(std::vector<FolderEntry>& entries) {
  const auto lowerLess = [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
  };
  std::sort(entries.begin(), entries.end(), [&](const FolderEntry& a, const FolderEntry& b) {
    if (lowerLess(a.name, b.name)) return true;
    return !lowerLess(b.name, a.name) && a.name < b.name;
  });
}

}  // namespace zerviko
