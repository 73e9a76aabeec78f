// The volumes of a Linux system, read from the mount table.
//
// Listed are the root file system (as a fixed disk), removable media (block devices
// the kernel marks removable, or that sit on USB) and optical media (iso9660, udf),
// each by its mount point, in path order. Network, RAM and pseudo file systems are
// never listed, as the file chooser lists no remote drives and no RAM disks.
#pragma once

#include <string>
#include <vector>

#include "files/Volumes.h"

namespace zerviko {

class VolumeTable : public Volumes {
 public:
  // mountTable: a file in the format of /proc/self/mounts. sysfsRoot: the folder that
  // stands for /sys when a block device is looked up (its block/ and class/block/).
  explicit VolumeTable(std::string mountTable = "/proc/self/mounts",
                       std::string sysfsRoot = "/sys");

  // The listed volumes in path order. An unreadable mount table gives none.
  std::vector<Volume> List() const override;

 private:
  bool IsRemovableDevice(const std::string& device) const;

  std::string m_strMountTable;
  std::string m_strSysfsRoot;
};

}  // namespace zerviko
