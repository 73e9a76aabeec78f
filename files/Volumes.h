// The drives the file chooser offers, and the paths on them.
//
// Listed are fixed disks, removable media and optical media; remote drives and RAM
// disks never are. On Linux a drive is a mounted volume named by its mount point
// (LinuxVolumes.h); on Windows it is a logical drive named by its root, "C:\". The
// build chooses the system's file (LinuxVolumes.cpp, Win32Volumes.cpp).
#pragma once

#include <memory>
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
  // The folder at the top of the volume: a mount point, without a trailing "/" except
  // for the root, or a drive's root such as "C:\".
  std::string mountPoint;
  VolumeKind kind = VOLUME_FIXED;
};

// Where the listed volumes come from.
class Volumes {
 public:
  virtual ~Volumes() = default;
  // The listed volumes, in the order the drive list shows them.
  virtual std::vector<Volume> List() const = 0;
};

// The running system's volumes.
std::unique_ptr<Volumes> MakeSystemVolumes();

// Whether the volume can be used now: its top folder can be entered and read. An
// empty removable or optical drive is unavailable, and asking raises no prompt.
bool IsVolumeAvailable(const std::string& mountPoint);

// The separator the system writes between folder names: "/" on Linux, "\" on Windows,
// where "/" is taken as one too.
extern const char PATH_SEPARATOR;
bool IsPathSeparator(char c);

// The name the drive list shows for a volume: its top folder without the trailing
// separator, "C:" for "C:\"; the root "/" stays as it is.
std::string VolumeName(const Volume& volume);

// Splits a path into its folder names, skipping empty ones.
std::vector<std::string> SplitPath(const std::string& path);

// The index in volumes of the volume that holds path: the one whose top folder is the
// longest leading part of path, folder names compared without regard to letter case
// (an exact match wins a tie). -1 when none holds it, as for a relative path or one
// on a network share without a drive letter.
int FindVolumeOf(const std::vector<Volume>& volumes, const std::string& path);

}  // namespace zerviko
