#include "files/LinuxVolumes.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace zerviko {
namespace {

namespace fs = std::filesystem;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsOpticalFileSystem(const std::string& type) { return type == "iso9660" || type == "udf"; }

// Block devices that are memory or a network behind a device node: never a drive.
bool IsVirtualBlockDevice(const std::string& name) {
  for (const char* prefix : {"loop", "ram", "zram", "nbd"}) {
    if (StartsWith(name, prefix)) {
      return true;
    }
  }
  return false;
}

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool PathGoesThroughUsb(const fs::path& path) {
  std::error_code error;
  const fs::path real = fs::canonical(path, error);
  if (error) {
    return false;
  }
  for (const auto& part : real) {
    if (StartsWith(part.string(), "usb")) {
      return true;
    }
  }
  return false;
}

// sdb1 -> sdb, mmcblk0p1 -> mmcblk0, nvme0n1p2 -> nvme0n1.
std::string StripPartitionNumber(const std::string& name) {
  std::string disk = name;
  while (!disk.empty() && std::isdigit(static_cast<unsigned char>(disk.back()))) {
    disk.pop_back();
  }
  if (disk.size() >= 2 && disk.back() == 'p' &&
      std::isdigit(static_cast<unsigned char>(disk[disk.size() - 2]))) {
    disk.pop_back();
  }
  return disk;
}

// Undoes the octal escapes (\040 and the like) of a mount table field.
std::string UnescapeMountField(const std::string& field) {
  std::string text;
  text.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      text.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                       (field[i + 3] - '0')));
      i += 3;
    } else {
      text.push_back(field[i]);
    }
  }
  return text;
}

bool MountPointLess(const Volume& a, const Volume& b) {
  return SplitPath(a.mountPoint) < SplitPath(b.mountPoint);
}

}  // namespace

VolumeTable::VolumeTable(std::string mountTable, std::string sysfsRoot)
    : m_strMountTable(std::move(mountTable)), m_strSysfsRoot(std::move(sysfsRoot)) {}

bool VolumeTable::IsRemovableDevice(const std::string& device) const {
  std::error_code error;
  fs::path node = device;
  const fs::path real = fs::canonical(node, error);  // /dev/disk/by-label/X -> /dev/sdb1
  if (!error) {
    node = real;
  }
  const std::string name = node.filename().string();
  if (name.empty() || IsVirtualBlockDevice(name)) {
    return false;
  }

  const fs::path sysfs = m_strSysfsRoot;
  fs::path disk = sysfs / "block" / name;
  if (!fs::exists(disk, error)) {
    // A partition: its disk is the folder above it in the device tree.
    const fs::path partition = sysfs / "class" / "block" / name;
    const fs::path realPartition = fs::canonical(partition, error);
    if (!error && fs::exists(realPartition / "partition", error)) {
      disk = sysfs / "block" / realPartition.parent_path().filename();
    } else {
      disk = sysfs / "block" / StripPartitionNumber(name);
    }
  }
  if (!fs::exists(disk, error)) {
    return false;
  }
  return ReadFirstLine(disk / "removable") == "1" || PathGoesThroughUsb(disk);
}

std::vector<Volume> VolumeTable::List() const {
  std::ifstream in(m_strMountTable);
  // A mount point mounted over again shows only its last mount.
  std::map<std::string, VolumeKind> byMountPoint;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string source;
    std::string mountPoint;
    std::string type;
    if (!(fields >> source >> mountPoint >> type)) {
      continue;
    }
    source = UnescapeMountField(source);
    mountPoint = UnescapeMountField(mountPoint);
    if (mountPoint.empty() || mountPoint.front() != '/') {
      continue;
    }
    while (mountPoint.size() > 1 && mountPoint.back() == '/') {
      mountPoint.pop_back();
    }

    if (mountPoint == "/") {
      byMountPoint[mountPoint] = VOLUME_FIXED;
    } else if (IsOpticalFileSystem(type)) {
      byMountPoint[mountPoint] = VOLUME_OPTICAL;
    } else if (StartsWith(source, "/dev/") && IsRemovableDevice(source)) {
      byMountPoint[mountPoint] = VOLUME_REMOVABLE;
    } else {
      byMountPoint.erase(mountPoint);  // an unlisted file system now hides what was there
    }
  }

  std::vector<Volume> volumes;
  for (const auto& [mountPoint, kind] : byMountPoint) {
    volumes.push_back(Volume{mountPoint, kind});
  }
  std::sort(volumes.begin(), volumes.end(), MountPointLess);
  return volumes;
}

bool IsVolumeAvailable(const std::string& mountPoint) {
  DIR* folder = opendir(mountPoint.c_str());
  if (folder == nullptr) {
    return false;
  }
  // Reading the first entry tells a mount whose medium has gone (EIO) from a good one.
  errno = 0;
  const bool readable = readdir(folder) != nullptr || errno == 0;
  closedir(folder);
  return readable;
}

const char PATH_SEPARATOR = '/';

bool IsPathSeparator(char c) { return c == '/'; }

std::unique_ptr<Volumes> MakeSystemVolumes() { return std::make_unique<VolumeTable>(); }

}  // namespace zerviko
