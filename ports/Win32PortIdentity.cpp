// Two port names on Windows reach one port when they name the same COM number (COM5,
// com5, COM5: and \\.\COM5 are one port); any other names are paths, the same when
// their full paths are, letter case ignored as Windows ignores it. GetFullPathNameA only
// reads the name.
#include <windows.h>

#include <cstring>
#include <string>

#include "ports/PortIdentity.h"

namespace zerviko::ports {

namespace {

std::string FullPath(const std::string& name) {
  char path[MAX_PATH];
  const DWORD length = GetFullPathNameA(name.c_str(), sizeof path, path, nullptr);
  return length == 0 || length >= sizeof path ? name : std::string(path, length);
}

}  // namespace

bool IsSamePort(const std::string& a, const std::string& b) {
  const int first = ComPortNumber(a);
  const int second = ComPortNumber(b);
  if (first > 0 || second > 0) return first == second;
  return _stricmp(FullPath(a).c_str(), FullPath(b).c_str()) == 0;
}

}  // namespace zerviko::ports
