// A file of lines that a technician keeps (a station's record, a log): appended to by
// one program, and only ever holding whole lines, whatever happens to it meanwhile.
//
//   - Each Append goes in whole or not at all: a write the disk cannot take whole (a
//     full disk, a file size limit) is undone, the file cut back to its length before.
//   - A file whose last line has no line end (a program killed mid-write, a copy cut
//     short) is never written onto: that line is ended first, as the lines given are.
//   - The lines go to the file that the path names when they are written: a file
//     renamed away (log rotation) or deleted while open keeps what it holds, and a new
//     one is started at the path.
//
// Not for two threads at once: callers that append from several serialise the calls.
// The build chooses the system's file (LinuxLineFile.cpp, Win32LineFile.cpp). Paths are
// UTF-8; on Windows, a path that is not valid UTF-8 is read in the ANSI code page (a
// program's command line without the UTF-8 code page).
#pragma once

#include <cstdint>
#include <string>

namespace zerviko {

class LineFile {
 public:
  LineFile() = default;
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;
  ~LineFile() { Close(); }

  // Opens path to append to it, created if missing. False, with Error(), when it
  // cannot be opened; nothing is written then.
  bool Open(const std::string& path);
  // Appends lines: one or more, each ending in '\n' (or "\r\n"), written as given.
  // True when they are all in the file; false, with Error(), when none of them is.
  bool Append(const std::string& lines);
  // Why the last Open or Append failed, in a user's words ("No space left on device").
  const std::string& Error() const { return m_strError; }
  const std::string& Path() const { return m_strPath; }
  bool IsOpen() const { return m_handle != NO_HANDLE; }
  void Close();

 private:
  // The system's open file: a descriptor, or a HANDLE.
  static constexpr std::intptr_t NO_HANDLE = -1;

  // These are the system's (LinuxLineFile.cpp, Win32LineFile.cpp); each sets m_strError
  // when it fails.
  bool OpenHandle();
  void CloseHandle();
  // True when the path still names the open file, as its own (not marked for deletion).
  bool PathNamesOpenFile() const;
  // A file on disk, with a length, that can be cut back (not a device, nor a pipe).
  bool IsRegular() const;
  bool Length(std::uint64_t& length);
  // False only when the byte at offset was read and is not a line end (a file this
  // program may write but not read is taken as it comes).
  bool EndsLine(std::uint64_t offset) const;
  // Writes at the end of the file; written is how much went in, also on failure.
  bool WriteAtEnd(const std::string& bytes, std::uint64_t& written);
  bool CutBack(std::uint64_t length);

  std::string m_strPath;
  std::string m_strError;
  std::intptr_t m_handle = NO_HANDLE;
};

}  // namespace zerviko
