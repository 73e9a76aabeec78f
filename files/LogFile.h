// The status log's file: kept by one program at a time. Others may read it while it
// is written, but a second loader started from the same folder cannot write it, and
// leaves it as it is. The build chooses the system's file (LinuxLogFile.cpp,
// Win32LogFile.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zerviko {

// Scoped, so that no caller can take a result for a yes or no by mistake.
enum class LogFileResult {
  LOG_OPENED,
  LOG_UNAVAILABLE,  // the file cannot be created or written
  LOG_IN_USE,       // another program has it open for writing
  LOG_NOT_WRITABLE, // this user may not write it or its folder, or the file system is
                    // read-only (Linux; Windows says LOG_UNAVAILABLE)
};

// The status log's file name.
inline constexpr const char* kStatusLogName = "Status.log";

// Opens the file at path for writing, created if missing, and empties it once this
// program holds it alone; it stays held until the file is closed or the program
// ends, however it ends. file is set only when the result is LOG_OPENED. Bytes are
// written as they are given: no line end is translated.
LogFileResult OpenLogFile(const std::string& path, std::FILE*& file);

// The status log of the program whose folder is programFolder (ending in the system's
// separator): "Status.log" there, opened as OpenLogFile does. When this user may not
// write it there (an installed program folder), it goes to the user's state folder
// (UserStateFolder(), made when missing) instead. path is set to where the log is, or
// to the last place tried when the result is not LOG_OPENED.
LogFileResult OpenStatusLog(const std::string& programFolder, std::FILE*& file, std::string& path);

// The system's own handle of file (a descriptor, or a HANDLE) for LineFile::Adopt: the
// same open file, with the hold on it that OpenLogFile took, writing at the end; file
// itself is closed. -1 when the system cannot give it (file is closed all the same).
std::intptr_t ReleaseLogFile(std::FILE* file);

}  // namespace zerviko
