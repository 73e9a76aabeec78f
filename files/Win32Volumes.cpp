// The logical drives of Windows: fixed disks, removable and CD-ROM drives, each by
// its root, in letter order. Remote drives, RAM disks and drives of unknown type are
// not listed.
#include <windows.h>

#include <algorithm>
#include <string>

#include "files/Volumes.h"

namespace zerviko {
namespace {

class LogicalDrives : public Volumes {
 public:
  std::vector<Volume> List() const override {
    std::vector<Volume> volumes;
    // The size query first; the drives may change between the two calls, so the
    // buffer is asked for again until the list fits.
    std::string roots(GetLogicalDriveStringsA(0, nullptr), '\0');
    for (;;) {
      if (roots.empty()) return volumes;
      const DWORD length = GetLogicalDriveStringsA(static_cast<DWORD>(roots.size()), roots.data());
      if (length == 0) return volumes;
      if (length < roots.size()) {
        roots.resize(length);
        break;
      }
      roots.assign(length + 1, '\0');
    }
    // "A:\", NUL, "C:\", NUL, ...
    for (std::size_t start = 0; start < roots.size();) {
      const std::size_t end = std::min(roots.find('\0', start), roots.size());
      const std::string root = roots.substr(start, end - start);
      start = end + 1;
      if (root.empty()) continue;
      switch (GetDriveTypeA(root.c_str())) {
        case DRIVE_REMOVABLE:
          volumes.push_back(Volume{root, VOLUME_REMOVABLE});
          break;
        case DRIVE_CDROM:
          volumes.push_back(Volume{root, VOLUME_OPTICAL});
          break;
        case DRIVE_FIXED:
          volumes.push_back(Volume{root, VOLUME_FIXED});
          break;
        default:
          break;
      }
    }
    return volumes;
  }
};

}  // namespace

std::unique_ptr<Volumes> MakeSystemVolumes() { return std::make_unique<LogicalDrives>(); }

bool IsVolumeAvailable(const std::string& mountPoint) {
  if (mountPoint.size() < 2 || mountPoint[1] != ':') return false;
  // The drive is entered by its name, "D:", as a change of the current drive does.
  // An empty floppy or CD-ROM drive must fail quietly, not ask for a disk; and the
  // process's current folder is put back, so that the probe changes nothing.
  const std::string drive = mountPoint.substr(0, 2);
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  char previous[MAX_PATH + 1];
  const DWORD length = GetCurrentDirectoryA(sizeof previous, previous);
  const bool available = SetCurrentDirectoryA(drive.c_str()) != FALSE;
  if (available && length > 0 && length < sizeof previous) SetCurrentDirectoryA(previous);
  SetErrorMode(previousMode);
  return available;
}

const char PATH_SEPARATOR = '\\';

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace zerviko
