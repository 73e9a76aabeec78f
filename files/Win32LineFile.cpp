#include <windows.h>

#include <algorithm>

#include "files/LineFile.h"

namespace zerviko {
namespace {

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The path for the wide calls: UTF-8, or else the ANSI code page's text.
std::wstring WidePath(const std::string& path) {
  UINT codePage = CP_UTF8;
  const int length = static_cast<int>(path.size());
  int wide = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.data(), length, nullptr, 0);
  if (wide == 0 && length > 0) {
    codePage = CP_ACP;
    wide = MultiByteToWideChar(codePage, 0, path.data(), length, nullptr, 0);
  }
  std::wstring text(static_cast<std::size_t>(wide), L'\0');
  if (wide > 0) MultiByteToWideChar(codePage, 0, path.data(), length, text.data(), wide);
  return text;
}

// The system's words for the last error, as UTF-8, without the closing period.
std::string LastError() {
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8;
  if (length > 0) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
  }
  if (text) LocalFree(text);
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ' || utf8.back() == '.'))
    utf8.pop_back();
  return utf8.empty() ? "error " + std::to_string(code) : utf8;
}

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first {}, second {};
  return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

bool LineFile::OpenHandle() {
  // Others may read, append and also rename or delete it while it is open, as log
  // rotation does.
  HANDLE handle = CreateFileW(WidePath(m_strPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    m_strError = LastError();
    return false;
  }
  m_handle = reinterpret_cast<std::intptr_t>(handle);
  return true;
}

void LineFile::CloseHandle() { ::CloseHandle(Handle(m_handle)); }

bool LineFile::PathNamesOpenFile() const {
  // A file deleted while others hold it stays at its path until the last one closes
  // it, and no one may open it meanwhile: closing ours lets the path be used again.
  FILE_STANDARD_INFO standard {};
  if (GetFileInformationByHandleEx(Handle(m_handle), FileStandardInfo, &standard, sizeof standard) &&
      standard.DeletePending) {
    return false;
  }
  HANDLE named = CreateFileW(WidePath(m_strPath).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  const bool same = SameFile(named, Handle(m_handle));
  ::CloseHandle(named);
  return same;
}

bool LineFile::IsRegular() const { return GetFileType(Handle(m_handle)) == FILE_TYPE_DISK; }

bool LineFile::Length(std::uint64_t& length) {
  LARGE_INTEGER size {};
  if (!GetFileSizeEx(Handle(m_handle), &size)) {
    m_strError = LastError();
    return false;
  }
  length = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

bool LineFile::EndsLine(std::uint64_t offset) const {
  OVERLAPPED at {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  char last = 0;
  DWORD read = 0;
  return !ReadFile(Handle(m_handle), &last, 1, &read, &at) || read != 1 || last == '\n';
}

bool LineFile::WriteAtEnd(const std::string& bytes, std::uint64_t& written) {
  written = 0;
  while (written < bytes.size()) {
    // At the end of the file as it is now, whoever else appends.
    OVERLAPPED atEnd {};
    atEnd.Offset = atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(bytes.size() - written, 1u << 30));
    if (!WriteFile(Handle(m_handle), bytes.data() + written, chunk, &wrote, &atEnd)) {
      m_strError = LastError();
      return false;
    }
    if (wrote == 0) {
      m_strError = "write failed";
      return false;
    }
    written += wrote;
  }
  return true;
}

bool LineFile::CutBack(std::uint64_t length) {
  LARGE_INTEGER at {};
  at.QuadPart = static_cast<LONGLONG>(length);
  if (SetFilePointerEx(Handle(m_handle), at, nullptr, FILE_BEGIN) && SetEndOfFile(Handle(m_handle))) return true;
  m_strError = LastError();
  return false;
}

}  // namespace zerviko
