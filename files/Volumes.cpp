#include "files/Volumes.h"

#include <algorithm>
#include <cctype>

namespace zerviko {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::toupper(x) == std::toupper(y);
         });
}

bool StartsAtTop(const std::string& path) { return !path.empty() && IsPathSeparator(path.front()); }

}  // namespace

std::string VolumeName(const Volume& volume) {
  std::string name = volume.mountPoint;
  while (name.size() > 1 && IsPathSeparator(name.back())) {
    name.pop_back();
  }
  return name;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path) {
    if (!IsPathSeparator(c)) {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  if (!part.empty()) {
    parts.push_back(part);
  }
  return parts;
}

int FindVolumeOf(const std::vector<Volume>& volumes, const std::string& path) {
  if (path.empty()) {
    return -1;
  }
  const std::vector<std::string> pathParts = SplitPath(path);
  int best = -1;
  std::size_t bestLength = 0;
  bool bestExact = false;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    // "/" holds "/home" but not the relative "home"; "C:\" holds "C:\x" but not the
    // share "\\server\x".
    if (StartsAtTop(volumes[i].mountPoint) != StartsAtTop(path)) {
      continue;
    }
    const std::vector<std::string> parts = SplitPath(volumes[i].mountPoint);
    if (parts.size() > pathParts.size()) {
      continue;
    }
    bool holds = true;
    bool exact = true;
    for (std::size_t k = 0; k < parts.size() && holds; ++k) {
      holds = EqualNoCase(parts[k], pathParts[k]);
      exact = exact && parts[k] == pathParts[k];
    }
    if (!holds) {
      continue;
    }
    if (best == -1 || parts.size() > bestLength ||
        (parts.size() == bestLength && exact && !bestExact)) {
      best = static_cast<int>(i);
      bestLength = parts.size();
      bestExact = exact;
    }
  }
  return best;
}

}  // namespace zerviko
