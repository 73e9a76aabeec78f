// The wizard's Windows files under Wine: the drives of the file chooser over the
// drives that tests/windows/wine-prefix.sh gives the prefix, the program folder, and
// the status log's sharing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/LogFile.h"
#include "files/ProgramFolder.h"
#include "files/Volumes.h"
#include "tests/TempFolder.h"

#include <windows.h>

namespace zerviko::test {
namespace {

// A: an empty floppy drive, D: a CD-ROM, N: a network share, R: a RAM disk; C: and Z:
// are Wine's own fixed disks.
TEST(Win32Files, DrivesOfTheListedKindsAndTheirProbe) {
  const std::vector<Volume> volumes = MakeSystemVolumes()->List();
  std::vector<std::pair<std::string, int>> seen;
  for (const Volume& volume : volumes) {
    if (std::string("ACDNRZ").find(volume.mountPoint[0]) != std::string::npos) {
      seen.emplace_back(volume.mountPoint, volume.kind);
    }
  }
  const std::vector<std::pair<std::string, int>> expected{{"A:\\", VOLUME_REMOVABLE},
                                                          {"C:\\", VOLUME_FIXED},
                                                          {"D:\\", VOLUME_OPTICAL},
                                                          {"Z:\\", VOLUME_FIXED}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(VolumeName(volumes.at(0)), "A:");

  // The probe changes neither the error mode nor the current folder.
  const UINT mode = SEM_NOGPFAULTERRORBOX;
  SetErrorMode(mode);
  char before[MAX_PATH];
  char after[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  EXPECT_TRUE(IsVolumeAvailable("D:\\"));
  EXPECT_FALSE(IsVolumeAvailable("A:\\"));
  EXPECT_EQ(SetErrorMode(0), mode);
  GetCurrentDirectoryA(MAX_PATH, after);
  EXPECT_STREQ(after, before);

  // The start drive is the one that holds the start folder, its letter in any case.
  const int start = FindVolumeOf(volumes, "d:\\Program\\Firmware Files");
  ASSERT_NE(start, -1);
  EXPECT_EQ(volumes[static_cast<std::size_t>(start)].mountPoint, "D:\\");
  EXPECT_EQ(FindVolumeOf(volumes, "\\\\server\\share\\Firmware Files"), -1);
  EXPECT_EQ(FindVolumeOf(volumes, "Firmware Files"), -1);
}

TEST(Win32Files, ProgramFolderIsTheFolderOfTheRunningProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ(folder.substr(1, 2), ":\\");
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + "zerviko-win32-tests.exe")) << folder;
}

// Others may read the log while it is held, but not write it; a second loader leaves
// it whole, and the next start empties it.
TEST(Win32Files, StatusLogIsReadableButNotWritableWhileHeld) {
  const std::filesystem::path dir = MakeTempFolder("zerviko-log-");
  const std::string path = (dir / "Status.log").string();
  std::ofstream(path) << "an earlier start's log";
  const auto content = [&path] {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  };

  std::FILE* first = nullptr;
  ASSERT_EQ(OpenLogFile(path, first), LogFileResult::LOG_OPENED);
  std::fputs("1: first\r\n", first);
  std::fflush(first);

  std::FILE* second = nullptr;
  EXPECT_EQ(OpenLogFile(path, second), LogFileResult::LOG_IN_USE);
  EXPECT_EQ(second, nullptr);
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_EQ(content(), "1: first\r\n");

  std::fclose(first);
  ASSERT_EQ(OpenLogFile(path, second), LogFileResult::LOG_OPENED);
  EXPECT_EQ(content(), "");
  std::fclose(second);
  EXPECT_EQ(OpenLogFile((dir / "no-such-folder" / "Status.log").string(), second),
            LogFileResult::LOG_UNAVAILABLE);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zerviko::test
