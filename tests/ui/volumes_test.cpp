// The drives the file page offers: which mounted volumes are listed, as what, in which
// order, and which one holds a folder. The mount table and sysfs are built here.
#include <filesystem>
#include <fstream>

#include "UiTestSupport.h"

namespace fs = std::filesystem;
using namespace zerviko;

TEST(Volumes, ListsTheRootAndRemovableAndOpticalMediaInPathOrder) {
  QTemporaryDir temp;
  const fs::path root = temp.path().toStdString(), sys = root / "sys", usb = sys / "devices/pci0000:00/usb2/2-1/block";
  for (const char* folder : {"block", "class/block"}) fs::create_directories(sys / folder);
  for (const auto& [name, removable, where] : {std::tuple{"sdb", "1", sys / "block"}, {"sda", "0", sys / "block"},
                                               {"mmcblk0", "1", sys / "block"}, {"sdc", "0", usb}, {"nvme1n1", "0", usb}}) {
    fs::create_directories(where / name);
    std::ofstream(where / name / "removable") << removable << "\n";
    if (where == usb) fs::create_directory_symlink(where / name, sys / "block" / name);  // on USB: removable all the same
  }
  // A partition whose disk is the folder above it.
  fs::create_directories(usb / "nvme1n1/nvme1n1p3");
  std::ofstream(usb / "nvme1n1/nvme1n1p3/partition") << "3\n";
  fs::create_directory_symlink(usb / "nvme1n1/nvme1n1p3", sys / "class/block/nvme1n1p3");
  std::ofstream(root / "mounts")
      << "/dev/sdc1 /media/u/STICK vfat rw 0 0\n/dev/sda2 / ext4 rw 0 0\n/dev/sr0 /media/u/DISC iso9660 ro 0 0\n"
         "/dev/sdb1 /media/u/CARD exfat rw 0 0\n/dev/mmcblk0p1 /media/u/SD vfat rw 0 0\n/dev/loop3 /mnt/image udf ro 0 0\n"
         "/dev/nvme1n1p3 /media/ssd ext4 rw 0 0\n/dev/sdb1 /media/my\\040stick\\134 vfat rw 0 0\n"
         // The last mount of a mount point wins; an unlisted one hides what was there.
         "/dev/sdb2 /media/over/ vfat rw 0 0\n/dev/sr0 /media/over iso9660 ro 0 0\n"
         "/dev/sdb2 /media/card vfat rw 0 0\ntmpfs /media/card tmpfs rw 0 0\n"
         // Never drives: fixed disks other than the root, network, memory and pseudo file systems.
         "/dev/sda1 /boot/efi vfat rw 0 0\n/dev/sda3 /home ext4 rw 0 0\nproc /proc proc rw 0 0\n"
         "tmpfs /run tmpfs rw 0 0\nserver:/export /mnt/nfs nfs4 rw 0 0\n//server/share /mnt/smb cifs rw 0 0\n"
         "/dev/ram0 /mnt/ram ext2 rw 0 0\n/dev/zram1 /mnt/zram ext4 rw 0 0\n/dev/loop0 /snap/core squashfs ro 0 0\n"
         "/dev/nbd0 /mnt/nbd ext4 rw 0 0\n/dev/sdz1 /mnt/unknown ext4 rw 0 0\ngarbage\n/dev/sdb1 relative vfat rw 0 0\n";
  std::string seen;  // each volume and what it is: Removable, Optical or Fixed
  for (const Volume& volume : VolumeTable((root / "mounts").string(), sys.string()).List()) {
    seen += volume.mountPoint + " " + "ROF"[volume.kind] + ", ";
  }
  EXPECT_EQ(seen, "/ F, /media/my stick\\ R, /media/over O, /media/ssd R, /media/u/CARD R, /media/u/DISC O, "
                  "/media/u/SD R, /media/u/STICK R, /mnt/image O, ");
  EXPECT_TRUE(VolumeTable((root / "none").string(), sys.string()).List().empty());
}

TEST(Volumes, TheLongestMountPointHoldsAFolderWhateverItsLetterCase) {
  const std::vector<Volume> volumes{{"/", VOLUME_FIXED}, {"/media/Stick", VOLUME_REMOVABLE},
                                    {"/media/stick", VOLUME_REMOVABLE}, {"/media/stick/inner", VOLUME_OPTICAL}};
  for (const auto& [path, expected] : {std::pair{"/home/u/Firmware Files", 0}, {"/media/stick/app/Firmware Files", 2},
                                       {"/media/Stick/app", 1}, {"/MEDIA/STICK/app", 1}, {"/media/stick//inner/x", 3},
                                       {"/media/sticky", 0}, {"Firmware Files", -1}}) {
    EXPECT_EQ(FindVolumeOf(volumes, path), expected) << path;
  }
  EXPECT_EQ(FindVolumeOf({{"/media/stick", VOLUME_REMOVABLE}}, "/home/u"), -1);
}
