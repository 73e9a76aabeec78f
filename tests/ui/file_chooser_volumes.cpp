// The file chooser's drives: which mounted volumes are listed, as what, in which order,
// and which one holds a given folder. Mount tables and sysfs trees are built per test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "files/LinuxVolumes.h"

namespace fs = std::filesystem;
using zerviko::Volume;
using zerviko::VolumeTable;

namespace {

class VolumeTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    m_root = fs::temp_directory_path() /
             ("file_chooser_volumes-" + std::to_string(getpid()) + "-" + std::to_string(random()));
    fs::create_directories(m_root / "sys" / "block");
  }
  void TearDown() override { fs::remove_all(m_root); }

  std::string Path(const std::string& relative) const { return (m_root / relative).string(); }

  void Write(const std::string& relative, const std::string& text) const {
    fs::create_directories((m_root / relative).parent_path());
    std::ofstream(m_root / relative) << text;
  }

  // A disk in the fake sysfs; on USB its folder lives below a usb controller and
  // /sys/block holds a link to it, as the kernel lays it out.
  void AddDisk(const std::string& name, bool removable, bool onUsb = false) const {
    fs::path folder = m_root / "sys" / "block" / name;
    if (onUsb) {
      folder = m_root / "sys" / "devices" / "pci0000:00" / "0000:00:14.0" / "usb2" / "2-1" /
               "host6" / "block" / name;
      fs::create_directories(folder);
      fs::create_directory_symlink(folder, m_root / "sys" / "block" / name);
    }
    fs::create_directories(folder);
    std::ofstream(folder / "removable") << (removable ? "1\n" : "0\n");
  }

  std::vector<Volume> List(const std::string& table) const {
    Write("mounts", table);
    return VolumeTable(Path("mounts"), Path("sys")).List();
  }

  fs::path m_root;
};

TEST_F(VolumeTableTest, ListsRootRemovableAndOpticalMediaInPathOrder) {
  AddDisk("sdb", true);
  AddDisk("sdc", false, true);
  AddDisk("sda", false);
  AddDisk("mmcblk0", true);
  const std::vector<Volume> volumes = List(
      "/dev/sdc1 /media/u/STICK vfat rw 0 0\n"
      "/dev/sda2 / ext4 rw 0 0\n"
      "/dev/sr0 /media/u/DISC iso9660 ro 0 0\n"
      "/dev/sdb1 /media/u/CARD exfat rw 0 0\n"
      "/dev/mmcblk0p1 /media/u/SD vfat rw 0 0\n"
      "/dev/loop3 /mnt/image udf ro 0 0\n"
      "/dev/sda1 /boot/efi vfat rw 0 0\n");
  std::vector<std::pair<std::string, int>> seen;
  for (const Volume& volume : volumes) seen.emplace_back(volume.mountPoint, volume.kind);
  const std::vector<std::pair<std::string, int>> expected{
      {"/", zerviko::VOLUME_FIXED},
      {"/media/u/CARD", zerviko::VOLUME_REMOVABLE},
      {"/media/u/DISC", zerviko::VOLUME_OPTICAL},
      {"/media/u/SD", zerviko::VOLUME_REMOVABLE},
      {"/media/u/STICK", zerviko::VOLUME_REMOVABLE},
      {"/mnt/image", zerviko::VOLUME_OPTICAL}};
  EXPECT_EQ(seen, expected);
}

TEST_F(VolumeTableTest, LeavesOutNetworkRamAndPseudoFileSystems) {
  AddDisk("sdb", true);
  AddDisk("sda", false);
  const std::vector<Volume> volumes = List(
      "proc /proc proc rw 0 0\n"
      "sysfs /sys sysfs rw 0 0\n"
      "tmpfs /run tmpfs rw 0 0\n"
      "server:/export /mnt/nfs nfs4 rw 0 0\n"
      "//server/share /mnt/smb cifs rw 0 0\n"
      "/dev/ram0 /mnt/ram ext2 rw 0 0\n"
      "/dev/zram1 /mnt/zram ext4 rw 0 0\n"
      "/dev/loop0 /snap/core squashfs ro 0 0\n"
      "/dev/nbd0 /mnt/nbd ext4 rw 0 0\n"
      "/dev/sda3 /home ext4 rw 0 0\n"
      "/dev/sdz1 /mnt/unknown ext4 rw 0 0\n"
      "garbage\n"
      "/dev/sdb1 relative vfat rw 0 0\n");
  EXPECT_TRUE(volumes.empty());
}

TEST_F(VolumeTableTest, ReadsEscapedMountPointsAndLetsTheLastMountWin) {
  AddDisk("sdb", true);
  const std::vector<Volume> volumes = List(
      "/dev/sdb1 /media/my\\040stick vfat rw 0 0\n"
      "/dev/sdb2 /media/card vfat rw 0 0\n"
      "tmpfs /media/card tmpfs rw 0 0\n"
      "/dev/sdb1 /media/over/ vfat rw 0 0\n"
      "/dev/sr0 /media/over iso9660 ro 0 0\n");
  ASSERT_EQ(volumes.size(), 2U);
  EXPECT_EQ(volumes[0].mountPoint, "/media/my stick");
  EXPECT_EQ(volumes[1].mountPoint, "/media/over");
  EXPECT_EQ(volumes[1].kind, zerviko::VOLUME_OPTICAL);
}

TEST_F(VolumeTableTest, FindsAPartitionsDiskThroughClassBlock) {
  // nvme partitions and the like: the disk is the folder above the partition.
  const fs::path disk = m_root / "sys" / "devices" / "usb1" / "1-2" / "block" / "nvme1n1";
  fs::create_directories(disk / "nvme1n1p3");
  std::ofstream(disk / "nvme1n1p3" / "partition") << "3\n";
  std::ofstream(disk / "removable") << "0\n";
  fs::create_directory_symlink(disk, m_root / "sys" / "block" / "nvme1n1");
  fs::create_directories(m_root / "sys" / "class" / "block");
  fs::create_directory_symlink(disk / "nvme1n1p3",
                               m_root / "sys" / "class" / "block" / "nvme1n1p3");
  const std::vector<Volume> volumes = List("/dev/nvme1n1p3 /media/ssd ext4 rw 0 0\n");
  ASSERT_EQ(volumes.size(), 1U);
  EXPECT_EQ(volumes[0].kind, zerviko::VOLUME_REMOVABLE);
}

TEST_F(VolumeTableTest, AnUnreadableMountTableListsNothing) {
  EXPECT_TRUE(VolumeTable(Path("no-such-table"), Path("sys")).List().empty());
}

TEST(VolumeLookup, TheLongestMountPointHoldsAFolderWhateverItsLetterCase) {
  const std::vector<Volume> volumes{{"/", zerviko::VOLUME_FIXED},
                                    {"/media/Stick", zerviko::VOLUME_REMOVABLE},
                                    {"/media/stick", zerviko::VOLUME_REMOVABLE},
                                    {"/media/stick/inner", zerviko::VOLUME_OPTICAL}};
  EXPECT_EQ(zerviko::FindVolumeOf(volumes, "/home/u/Firmware Files"), 0);
  EXPECT_EQ(zerviko::FindVolumeOf(volumes, "/media/stick/app/Firmware Files"), 2);
  EXPECT_EQ(zerviko::FindVolumeOf(volumes, "/media/Stick/app"), 1);
  EXPECT_EQ(zerviko::FindVolumeOf(volumes, "/MEDIA/STICK/app"), 1);
  EXPECT_EQ(zerviko::FindVolumeOf(volumes, "/media/stick//inner/x"), 3);
  EXPECT_EQ(zerviko::FindVolumeOf(volumes, "/media/sticky"), 0);
  EXPECT_EQ(zerviko::FindVolumeOf(volumes, "Firmware Files"), -1);
  EXPECT_EQ(zerviko::FindVolumeOf({{"/media/stick", zerviko::VOLUME_REMOVABLE}}, "/home/u"), -1);
}

TEST(VolumeLookup, AVolumeIsAvailableWhenItsMountPointCanBeRead) {
  EXPECT_TRUE(zerviko::IsVolumeAvailable(fs::temp_directory_path().string()));
  EXPECT_FALSE(zerviko::IsVolumeAvailable("/no/such/mount/point"));
}

}  // namespace
