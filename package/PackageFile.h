// The package file as the reader sees it: one open file that serves the text part,
// read in sequence, and then the image, read at its offset, so that both come from
// the same file even if the path is replaced in between.
//
// Only regular files open: a folder cannot be read, and a pipe or a device could block
// or stream without end. Readers share the file, but a program that keeps the file to
// itself while it writes it keeps the reader out, and the package is then unavailable.
// The build chooses the system's file (PosixPackageFile.cpp, Win32PackageFile.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zerviko {

class PackageFile {
 public:
  PackageFile() = default;
  ~PackageFile();
  PackageFile(const PackageFile&) = delete;
  PackageFile& operator=(const PackageFile&) = delete;

  bool Open(const std::string& path);
  // Up to size bytes from the current position: the count read, 0 at the end of the
  // file, -1 when the file cannot be read.
  std::int64_t Read(void* buffer, std::size_t size);
  // Up to size bytes at offset, as Read.
  std::int64_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size);
  bool Size(std::uint64_t& size) const;

 private:
  // A descriptor on Linux, a HANDLE on Windows; -1 is "not open" to both.
  std::intptr_t m_handle = -1;
};

}  // namespace zerviko
