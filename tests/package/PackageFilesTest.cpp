// The package as a file: paths that cannot be read, a file held by another program,
// headers and lines far beyond the reader's buffer, and images too large to keep.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/package/PackageTestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZERVIKO_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZERVIKO_TEST_ASAN 1
#endif
#endif

namespace zerviko::test {
namespace {

using FileTest = PackageTest;

TEST_F(FileTest, MissingPathIsUnavailableAndLeavesTheStoreEmpty) {
  ASSERT_EQ(Read(FullHeader() + "image", false, 0), PACKAGE_OK);
  EXPECT_EQ(ReadFirmwarePackage((m_dir / "ZERVIKO_GONE.avk").string(), false, 0),
            PACKAGE_FILE_UNAVAILABLE);
  EXPECT_EQ(GetPackageRevisionText(), "");
  EXPECT_EQ(GetPackageDeviceSetupText(), "");
  EXPECT_EQ(StoredImage(), "");
  EXPECT_EQ(ReadFirmwarePackage("", true, 0), PACKAGE_FILE_UNAVAILABLE);
  EXPECT_EQ(ReadFirmwarePackage((m_dir / "no folder" / "x.avk").string(), true, 0),
            PACKAGE_FILE_UNAVAILABLE);
}

// Nothing but a regular file is ever opened: opening a serial device alone raises its
// modem lines, which restarts the printer into its boot program. The watch sees every
// open of the folder and of the FIFO, through the link too.
TEST_F(FileTest, WhatIsNotARegularFileIsRefusedUnopened) {
  const std::filesystem::path folder = m_dir / "ZERVIKO_FOLDER.avk";
  const std::filesystem::path fifo = m_dir / "ZERVIKO_FIFO.avk";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(fifo, m_dir / "ZERVIKO_TO_FIFO.avk");
  std::filesystem::create_symlink("/dev/null", m_dir / "ZERVIKO_TO_DEVICE.avk");
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_OPEN), 0);
  ASSERT_GE(::inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);

  for (const std::filesystem::path& path : {folder, fifo, m_dir / "ZERVIKO_TO_FIFO.avk",
                                            m_dir / "ZERVIKO_TO_DEVICE.avk", std::filesystem::path("/dev/zero")}) {
    for (bool validateOnly : {true, false}) {
      EXPECT_EQ(ReadFirmwarePackage(path.string(), validateOnly, 0), PACKAGE_FILE_UNAVAILABLE) << path;
    }
  }
  alignas(inotify_event) char events[4096];
  EXPECT_EQ(::read(watch, events, sizeof events), -1) << "a path that is no package was opened";
  ::close(watch);
}

TEST_F(FileTest, UnreadableFileIsUnavailable) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
  const std::string path = Write(FullHeader());
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  EXPECT_EQ(ReadFirmwarePackage(path, true, 0), PACKAGE_FILE_UNAVAILABLE);
}

TEST_F(FileTest, FileLockedByAWriterIsUnavailableButReadersShareIt) {
  const std::string path = Write(FullHeader() + "image");
  const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  EXPECT_EQ(ReadFirmwarePackage(path, false, 0), PACKAGE_FILE_UNAVAILABLE);
  EXPECT_EQ(StoredImage(), "");

  // Another reader holding it at the same moment does not keep this one out.
  ASSERT_EQ(::flock(other, LOCK_SH), 0);
  EXPECT_EQ(ReadFirmwarePackage(path, false, 0), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "image");
  ASSERT_EQ(::flock(other, LOCK_UN), 0);
  // Open without a lock: nobody holds it, so the file is readable.
  EXPECT_EQ(ReadFirmwarePackage(path, false, 0), PACKAGE_OK);
  ::close(other);

  // The reader leaves no lock behind.
  const int after = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(after, 0);
  EXPECT_EQ(::flock(after, LOCK_EX | LOCK_NB), 0);
  ::close(after);
}

TEST_F(FileTest, SymlinkToAPackageIsRead) {
  const std::string target = Write(FullHeader() + "img");
  const std::filesystem::path link = m_dir / "ZERVIKO_LINK.avk";
  std::filesystem::create_symlink(target, link);
  ASSERT_EQ(ReadFirmwarePackage(link.string(), false, 0), PACKAGE_OK);
  EXPECT_EQ(StoredImage(), "img");
}

// The reader takes the file in chunks: line ends, markers and the image start must
// come out the same wherever a chunk border falls.
TEST_F(FileTest, ChunkBordersChangeNothing) {
  constexpr std::size_t CHUNK = 64 * 1024;
  const std::string image = "\r\n" + AllByteValues();
  for (std::size_t pad = CHUNK - 16; pad <= CHUNK + 9; ++pad) {
    const std::string comment(pad, 'c');
    ASSERT_EQ(Read(comment + "\r\n" + FullHeader() + image, false, 2), PACKAGE_OK) << pad;
    EXPECT_EQ(GetPackageRevisionText(), "German revision") << pad;
    EXPECT_EQ(StoredImage(), image) << pad;
  }
  for (std::size_t pad = CHUNK - 16; pad <= CHUNK + 9; ++pad) {
    // The revision's CR LF and the "<CODE>" line straddle the chunk border.
    std::string header = "<LANG_ENGLISH>\r\n<REVISION>\r\n" + std::string(pad, 'r') +
                         "\r\n<END REVISION>\r\n<DEVICE SETUP>\r\ns\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n";
    ASSERT_EQ(Read(header + image, false, 0), PACKAGE_OK) << pad;
    EXPECT_EQ(GetPackageRevisionText(), std::string(pad, 'r')) << pad;
    EXPECT_EQ(StoredImage(), image) << pad;
  }
  // Every marker far into a long line and cut by a border split bytes from its start,
  // "<CODE>"'s CR LF too; inside a block such a line is being kept until its marker shows.
  for (std::size_t split = 0; split <= 20; ++split) {
    std::string file;
    const auto cut = [&](const std::string& marker) {
      const std::size_t pad = CHUNK - (file.size() + split) % CHUNK;
      file += std::string(pad, '-') + marker + CRLF;
    };
    cut("<LANG_ENGLISH>");
    cut("<REVISION>");
    file += "V1" + CRLF;
    cut("<END REVISION>");
    cut("<DEVICE SETUP>");
    file += "S1" + CRLF;
    cut("<END DEVICE SETUP>");
    cut("<END LANG_ENGLISH>");
    cut("<CODE>");
    ASSERT_EQ(Read(file + image, false, 0), PACKAGE_OK) << split;
    EXPECT_EQ(GetPackageRevisionText(), "V1") << split;
    EXPECT_EQ(GetPackageDeviceSetupText(), "S1") << split;
    EXPECT_EQ(StoredImage(), image) << split;
  }
}

TEST_F(FileTest, LongLinesAndLargeHeaders) {
  std::string header;
  for (int i = 0; i < 2000; ++i) header += "comment line " + std::to_string(i) + " of a long preamble\r\n";
  const std::string longLine(3 * 1024 * 1024 + 7, 'L');
  header += Section("ENGLISH", longLine + "\r\nsecond", "s") + "<CODE> " + std::string(100000, 'x') + "\n";
  ASSERT_EQ(Read(header + "IMG", false, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), longLine + "\r\nsecond");
  EXPECT_EQ(StoredImage(), "IMG");
}

TEST_F(FileTest, ImageBeyondThirtyTwoBitsIsNotLoaded) {
  // A sparse file: the header, then an image one byte longer than the length can say.
  const std::string path = Write(FullHeader());
  const off_t size = static_cast<off_t>(FullHeader().size()) + 0x100000000LL;
  if (::truncate(path.c_str(), size) != 0) GTEST_SKIP() << "no sparse files here";
  EXPECT_EQ(ReadFirmwarePackage(path, true, 0), PACKAGE_OK);
  EXPECT_EQ(ReadFirmwarePackage(path, false, 0), PACKAGE_FILE_UNAVAILABLE);
  EXPECT_EQ(StoredImage(), "");
  EXPECT_EQ(GetPackageRevisionText(), "English revision");
}

#ifndef ZERVIKO_TEST_ASAN
constexpr rlim_t LITTLE_MEMORY = 64u << 20;

// Runs in the death test's child: caps the address space LITTLE_MEMORY above what is in
// use, loads the package, and exits with the result when the image length is as expected.
[[noreturn]] void LoadWithLittleAddressSpace(const std::string& path, std::uint32_t imageLength) {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t limit =
      static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + LITTLE_MEMORY;
  rlimit cap{};
  cap.rlim_cur = cap.rlim_max = limit;
  if (::setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(8);
  const int result = ReadFirmwarePackage(path, false, 0);
  std::uint32_t length = 1;
  GetPackageImage(nullptr, &length);
  std::_Exit(length == imageLength ? result : 9);
}

// Only what the store keeps needs memory: a line far longer than the memory left,
// outside a block or inside one after a NUL has ended its text, is read in a buffer.
// An image that cannot be held makes the file unavailable and leaves no image. The
// files are memory files with holes (bytes 0) that cost neither memory nor time; the
// address space is limited in a child process only. Sanitizers need more address space
// than such a limit leaves, so they skip this one.
TEST_F(FileTest, LittleMemoryReadsEndlessLinesButNoHugeImage) {
  struct Case {
    const char* name;
    std::string before;  // the bytes before the hole
    std::string after;
    int result;
    std::uint32_t imageLength;
  };
  const std::string code = "<CODE>" + CRLF;
  std::string header = FullHeader();
  header.resize(header.size() - code.size());
  const Case cases[] = {
      {"comment line", header + "comment ", CRLF + code + "IMG", PACKAGE_OK, 3},
      {"revision line", "<LANG_ENGLISH>\r\n<REVISION>\r\nV1 ",
       "\r\n<END REVISION>\r\n<DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n" + code, PACKAGE_OK, 0},
      {"image", FullHeader(), "", PACKAGE_FILE_UNAVAILABLE, 0},
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int fd = ::memfd_create("ZERVIKO_HOLE.avk", MFD_CLOEXEC);
    ASSERT_GE(fd, 0);
    const off_t hole = 1 << 30;
    ASSERT_EQ(::pwrite(fd, c.before.data(), c.before.size(), 0), static_cast<ssize_t>(c.before.size()));
    ASSERT_EQ(::pwrite(fd, c.after.data(), c.after.size(), static_cast<off_t>(c.before.size()) + hole),
              static_cast<ssize_t>(c.after.size()));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(c.before.size() + c.after.size()) + hole), 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    EXPECT_EXIT(LoadWithLittleAddressSpace(path, c.imageLength), ::testing::ExitedWithCode(c.result), "");
    ::close(fd);
  }
}
#endif

}  // namespace
}  // namespace zerviko::test
