#include <windows.h>

#include <algorithm>

#include "package/PackageFile.h"

namespace zerviko {

namespace {

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile takes 32-bit counts; a longer read is continued by the caller.
constexpr std::size_t READ_LIMIT = 1u << 30;

}  // namespace

PackageFile::~PackageFile() {
  if (Handle(m_handle) != INVALID_HANDLE_VALUE) CloseHandle(Handle(m_handle));
}

bool PackageFile::Open(const std::string& path) {
  // Shared with other readers only: a program writing the package must have opened it
  // without letting readers in, and no program can start writing it while it is read.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  m_handle = reinterpret_cast<std::intptr_t>(file);
  // Folders do not open at all; devices and pipes are not disk files.
  return GetFileType(file) == FILE_TYPE_DISK;
}

std::int64_t PackageFile::Read(void* buffer, std::size_t size) {
  DWORD count = 0;
  const auto asked = static_cast<DWORD>(std::min(size, READ_LIMIT));
  if (!ReadFile(Handle(m_handle), buffer, asked, &count, nullptr)) return -1;
  return count;
}

std::int64_t PackageFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD count = 0;
  const auto asked = static_cast<DWORD>(std::min(size, READ_LIMIT));
  if (!ReadFile(Handle(m_handle), buffer, asked, &count, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return count;
}

bool PackageFile::Size(std::uint64_t& size) const {
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(Handle(m_handle), &length) || length.QuadPart < 0) return false;
  size = static_cast<std::uint64_t>(length.QuadPart);
  return true;
}

}  // namespace zerviko
