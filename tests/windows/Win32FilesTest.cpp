// The wizard's Windows files under Wine: drives, program folder, status log sharing,
// files of whole lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "files/LineFile.h"
#include "files/LogFile.h"
#include "files/ProgramFolder.h"
#include "files/Volumes.h"
#include "tests/package/PackageTestSupport.h"

#include <windows.h>

namespace zerviko::test {
namespace {

// A: an empty floppy drive, D: a CD-ROM, N: a network share, R: a RAM disk; C: and Z:
// are Wine's own fixed disks.
TEST(Win32Files, DrivesOfTheListedKindsTheirProbeAndTheProgramFolder) {
  const std::vector<Volume> volumes = MakeSystemVolumes()->List();
  std::vector<std::pair<std::string, int>> seen;  // the drives the prefix was given
  for (const Volume& v : volumes) {
    if (std::string("ACDNRZ").find(v.mountPoint[0]) != std::string::npos) seen.emplace_back(v.mountPoint, v.kind);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{
                      {"A:\\", VOLUME_REMOVABLE}, {"C:\\", VOLUME_FIXED}, {"D:\\", VOLUME_OPTICAL}, {"Z:\\", VOLUME_FIXED}}));
  // The start drive is the one that holds the program's folder; a share has none.
  const std::string folder = ProgramFolder();
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + "zerviko-win32-tests.exe")) << folder;
  EXPECT_EQ(volumes.at(FindVolumeOf(volumes, folder + "Firmware Files")).mountPoint, "Z:\\");
  EXPECT_EQ(FindVolumeOf(volumes, "\\\\server\\share\\Firmware Files"), -1);

  // The probe leaves the error mode and the current folder as they were.
  SetErrorMode(SEM_NOGPFAULTERRORBOX);
  const std::filesystem::path current = std::filesystem::current_path();
  EXPECT_TRUE(IsVolumeAvailable("D:\\"));
  EXPECT_FALSE(IsVolumeAvailable("A:\\"));
  EXPECT_EQ(SetErrorMode(0), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));
  EXPECT_EQ(std::filesystem::current_path(), current);
}

// The status log is beside the program. Others may read it while it is held, but not
// write it: a second loader leaves it whole. The next start empties it.
TEST(Win32Files, StatusLogIsReadableButNotWritableWhileHeld) {
  const std::filesystem::path dir = MakeTempFolder("zerviko-log-");
  const std::string path = (dir / "Status.log").string();
  std::ofstream(path) << "an earlier start's log";
  std::FILE* first = nullptr;
  std::FILE* second = nullptr;
  std::string opened;
  ASSERT_EQ(OpenStatusLog(dir.string() + "\\", first, opened), LogFileResult::LOG_OPENED);
  EXPECT_EQ(opened, path);
  std::fputs("1: first\r\n", first);
  std::fflush(first);
  EXPECT_EQ(OpenLogFile(path, second), LogFileResult::LOG_IN_USE);
  EXPECT_EQ(Slurp(path), "1: first\r\n");
  std::fclose(first);
  ASSERT_EQ(OpenLogFile(path, second), LogFileResult::LOG_OPENED);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  std::fclose(second);
  std::filesystem::remove_all(dir);
}

// A file of lines follows its path: renamed away while open, as rotation does, it is
// started anew there; a last line without its end is never written onto. (A file
// deleted while open is not: Wine keeps it at its path until it is closed, and does
// not say it is marked for deletion as Windows does.)
TEST(Win32Files, LineFileFollowsItsPathAndKeepsLinesWhole) {
  const std::filesystem::path dir = MakeTempFolder("zerviko-lines-");
  const std::string path = (dir / "record \xc3\xa4.jsonl").string();  // UTF-8, as the wide calls take it
  LineFile file;
  ASSERT_TRUE(file.Open(path)) << file.Error();
  EXPECT_TRUE(file.Append("1\r\n"));
  const std::filesystem::path named = std::filesystem::u8path(path), rotated = dir / "rotated";
  std::filesystem::rename(named, rotated);
  EXPECT_TRUE(file.Append("2\r\n")) << file.Error();
  std::ofstream(named, std::ios::app | std::ios::binary) << "cut";
  EXPECT_TRUE(file.Append("3\r\n"));
  EXPECT_EQ(Slurp(rotated), "1\r\n");
  EXPECT_EQ(Slurp(named), "2\r\ncut\r\n3\r\n");
  file.Close();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zerviko::test
