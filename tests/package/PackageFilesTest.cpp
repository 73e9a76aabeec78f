// The package as a file: what is not a regular file, locks, reads in pieces, and
// lines and images larger than the memory at hand.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/package/PackageTestSupport.h"

namespace zerviko::test {
namespace {

namespace fs = std::filesystem;
using FileTest = PackageTest;
using namespace std::string_literals;

// Nothing but a regular file is ever opened: opening a serial device alone raises its
// modem lines, which restarts the printer into its boot program, a FIFO hangs the read
// and /dev/zero has no end. The watch sees every open of the folder and of the FIFO.
// A regular file whose open fails all the same (sysfs's write-only files refuse a
// reader, root too) is unavailable at once.
TEST_F(FileTest, OnlyRegularFilesAreOpened) {
  const fs::path folder = m_dir / "ZERVIKO_FOLDER.avk", fifo = m_dir / "ZERVIKO_FIFO.avk";
  fs::create_directory(folder);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(fifo, m_dir / "fifo-link.avk");
  fs::create_symlink("/dev/null", m_dir / "device-link.avk");
  fs::create_symlink(Write(FullHeader() + "img"), m_dir / "package-link.avk");
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_OPEN), 0);
  ASSERT_GE(::inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
  for (const fs::path& path : {folder, fifo, m_dir / "fifo-link.avk", m_dir / "device-link.avk",
                               fs::path("/dev/zero"), fs::path("/sys/bus/platform/drivers_probe"),
                               m_dir / "no folder" / "x.avk"}) {
    for (bool validateOnly : {true, false}) {
      EXPECT_EQ(ReadFirmwarePackage(path.string(), validateOnly, 0), PACKAGE_FILE_UNAVAILABLE) << path;
    }
  }
  alignas(inotify_event) char events[4096];
  EXPECT_EQ(::read(watch, events, sizeof events), -1) << "a path that is no package was opened";
  ::close(watch);

  ASSERT_EQ(ReadFirmwarePackage((m_dir / "package-link.avk").string(), false, 0), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "img");
}

// A program holding the package locked for itself is writing it; readers share it, and
// the reader leaves no lock behind.
TEST_F(FileTest, OnlyAWriterKeepsTheReaderOut) {
  const std::string path = Write(FullHeader() + "image");
  const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  for (auto [lock, result] : {std::pair{LOCK_EX, PACKAGE_FILE_UNAVAILABLE}, {LOCK_SH, PACKAGE_OK}, {LOCK_UN, PACKAGE_OK}}) {
    ASSERT_EQ(::flock(other, lock), 0);
    EXPECT_EQ(ReadFirmwarePackage(path, false, 0), result) << lock;
    EXPECT_EQ(StoredImage(), result == PACKAGE_OK ? "image" : "") << lock;
  }
  EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ::close(other);
}

// The reader takes the file in chunks of 64 KiB. Each line of a package begins some bytes
// before a chunk border, so that each marker, text line and line end (the image start
// too) is cut at each of its bytes; the lines are long, in a block and outside.
TEST_F(FileTest, ChunkBordersChangeNothing) {
  constexpr std::size_t CHUNK = 64 * 1024;
  const std::string image = "\r\n<CODE>\x1A";
  for (std::size_t split = 0; split <= 20; ++split) {
    std::string file, revision, setup;
    for (const std::string& line : {"<LANG_ENGLISH>"s, "<REVISION>"s, std::string(3 * CHUNK, 'L') + "V1", "<END REVISION>"s,
                                    "<DEVICE SETUP>"s, "S1"s, "<END DEVICE SETUP>"s, "<END LANG_ENGLISH>"s, "<CODE>"s}) {
      const std::string text = std::string(CHUNK - (file.size() + split) % CHUNK, '-') + line;
      file += text + "\r\n";
      if (line.ends_with("V1")) revision = text;
      if (line == "S1") setup = text;
    }
    ASSERT_EQ(ReadFirmwarePackage(Write(file + image), false, 0), PACKAGE_OK) << split;
    EXPECT_EQ(GetPackageRevisionText() + "|" + GetPackageDeviceSetupText(), revision + "|" + setup) << split;
    EXPECT_EQ(StoredImage(), image) << split;
  }
}

TEST_F(FileTest, ImageBeyondThirtyTwoBitsIsNotLoaded) {
  // A sparse file: the header, then an image one byte longer than the store's length can say.
  const std::string path = Write(FullHeader());
  if (::truncate(path.c_str(), static_cast<off_t>(FullHeader().size()) + 0x100000000LL) != 0) {
    GTEST_SKIP() << "no sparse files here";
  }
  EXPECT_EQ(ReadFirmwarePackage(path, true, 0), PACKAGE_OK);
  EXPECT_EQ(ReadFirmwarePackage(path, false, 0), PACKAGE_FILE_UNAVAILABLE);
  EXPECT_EQ(StoredImage(), "");
  EXPECT_EQ(GetPackageRevisionText(), "ENGLISH revision");
}

#ifndef __SANITIZE_ADDRESS__  // the sanitizers need more address space than the cap leaves
// Only what the store keeps needs memory: a line far longer than the memory left,
// outside a block or inside one after a NUL has ended its text, is read in a buffer;
// an image that cannot be held makes the file unavailable and leaves no image. Each file
// has a hole of 1 GiB (bytes 0, costing neither memory nor time) between its two parts;
// a child process loads it with its address space capped 64 MiB above what it uses.
TEST_F(FileTest, LittleMemoryReadsEndlessLinesButNoHugeImage) {
  std::string header = FullHeader();
  header.resize(header.size() - 8);  // without "<CODE>\r\n"
  const struct {
    std::string before, after;
    int result;
    std::uint32_t imageLength;
  } cases[] = {{header + "comment ", "\r\n<CODE>\r\nIMG", PACKAGE_OK, 3},
               {"<LANG_ENGLISH>\r\n<REVISION>\r\nV1 ", "\r\n<END REVISION>\r\n<DEVICE SETUP>\r\n<CODE>\r\n", PACKAGE_OK, 0},
               {FullHeader(), "", PACKAGE_FILE_UNAVAILABLE, 0}};
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const auto& c : cases) {
    const int fd = ::memfd_create("ZERVIKO_HOLE.avk", MFD_CLOEXEC);
    const off_t hole = 1 << 30;
    ASSERT_EQ(::pwrite(fd, c.before.data(), c.before.size(), 0), static_cast<ssize_t>(c.before.size()));
    ASSERT_EQ(::pwrite(fd, c.after.data(), c.after.size(), static_cast<off_t>(c.before.size()) + hole),
              static_cast<ssize_t>(c.after.size()));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(c.before.size() + c.after.size()) + hole), 0);
    const auto load = [&] {
      long pages = 0;
      std::ifstream("/proc/self/statm") >> pages;
      rlimit cap{};
      cap.rlim_cur = cap.rlim_max = static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE)) + (64u << 20);
      const std::string path = "/proc/self/fd/" + std::to_string(fd);
      const int result = ::setrlimit(RLIMIT_AS, &cap) == 0 ? ReadFirmwarePackage(path, false, 0) : 8;
      std::uint32_t length = 1;
      GetPackageImage(nullptr, &length);
      std::_Exit(length == c.imageLength ? result : 9);
    };
    EXPECT_EXIT(load(), ::testing::ExitedWithCode(c.result), "") << c.before.substr(0, 40);
    ::close(fd);
  }
}
#endif

}  // namespace
}  // namespace zerviko::test
