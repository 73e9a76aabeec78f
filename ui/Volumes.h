// The volumes the file chooser offers as its drives, read from the mount table.
//
// Listed are the root file system (as a fixed disk), removable media (block devices
// the kernel marks removable, or that sit on USB) and optical media (iso9660, udf),
// each by its mount point, in path order. Network, RAM and pseudo file systems are
// never listed, as the file chooser's design lists no remote drives and no RAM disks.
// Plain C++ over the operating system; no state beyond the two paths it reads from.
#pragma once

#include <string>
#include <vector>

namespace zerviko {

// The values double as indices into the drive pictures.
enum VolumeKind : int {
  VOLUME_REMOVABLE = 0,
  VOLUME_OPTICAL = 1,
  VOLUME_FIXED = 2,
};

struct Volume {
  std::string mountPoint;  // absolute, without a trailing "/" except for the root
  VolumeKind kind = VOLUME_FIXED;
};

class VolumeTable {
 public:
  // mountTable: a file in the format of /proc/self/mounts. sysfsRoot: the folder that
  // stands for /sys when a block device is looked up (its block/ and class/block/).
  explicit VolumeTable(std::string mountTable = "/proc/self/mounts",
                       std::string sysfsRoot = "/sys");

  // The listed volumes in path order. An unreadable mount table gives none.
  std::vector<Volume> List() const;

 private:
  bool IsRemovableDevice(const std::string& device) const;

  std::string m_strMountTable;
  std::string m_strSysfsRoot;
};

// A volume is available when its mount point can be opened and read as a folder.
bool IsVolumeAvailable(const std::string& mountPoint);

// Undoes the octal escapes (\040 and the like) of a mount table field.
std::string UnescapeMountField(const std::string& field);

// Splits an absolute path into its folder names, skipping empty ones.
std::vector<std::string> SplitPath(const std::string& path);

// The index in volumes of the volume that holds path: the one whose mount point is the
// longest leading part of path, folder names compared without regard to letter case
// (an exact match wins a tie). -1 when none holds it.
int FindVolumeOf(const std::vector<Volume>& volumes, const std::string& path);

}  // namespace zerviko
