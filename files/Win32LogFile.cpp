#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "files/LogFile.h"

namespace zerviko {

LogFileResult OpenLogFile(const std::string& path, std::FILE*& file) {
  // Sharing only reading keeps every other writer out for as long as this handle is
  // open; the system ends it with the program. The file is emptied only once it is
  // held, so a loader that finds it in use leaves the other's log whole.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? LogFileResult::LOG_IN_USE
                                                     : LogFileResult::LOG_UNAVAILABLE;
  }
  if (GetFileType(handle) != FILE_TYPE_DISK || !SetEndOfFile(handle)) {
    CloseHandle(handle);
    return LogFileResult::LOG_UNAVAILABLE;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(handle);
    return LogFileResult::LOG_UNAVAILABLE;
  }
  std::FILE* opened = _fdopen(fd, "wb");
  if (opened == nullptr) {
    _close(fd);  // closes the handle too
    return LogFileResult::LOG_UNAVAILABLE;
  }
  file = opened;
  return LogFileResult::LOG_OPENED;
}

std::intptr_t ReleaseLogFile(std::FILE* file) {
  // A duplicate is the same open file, under the same sharing: others still may only
  // read it.
  HANDLE duplicate = nullptr;
  const BOOL ok = DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))),
                                  GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
  std::fclose(file);
  return ok ? reinterpret_cast<std::intptr_t>(duplicate) : -1;
}

}  // namespace zerviko
