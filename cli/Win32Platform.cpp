#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <streambuf>

#include "cli/Platform.h"
#include "engine/Win32SerialPort.h"

namespace zerviko::cli {

namespace {

std::atomic<bool> g_interrupted{false};
bool g_terminal = false;

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The first one is taken; the next goes on to the default handler, which ends the
  // program.
  return g_interrupted.exchange(true) ? FALSE : TRUE;
}

// Text for a console window, written as UTF-16 so that it shows whatever the
// console's code page. The program's texts are UTF-8 where they are not plain ASCII
// (the sample packages' texts, JSON, and paths: the program's code page is UTF-8);
// a text that is not valid UTF-8 is taken to be Windows-1252, as Utf8Text takes
// package texts. A console that can no longer be written is written no more: the
// stream fails, as a closed pipe makes it fail, and the program's runs go on.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : m_console(console) {}
  ~ConsoleBuffer() override { Flush(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    m_pending.push_back(traits_type::to_char_type(c));
    if (c == '\n' && !Flush()) return traits_type::eof();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    m_pending.append(text, static_cast<std::size_t>(count));
    if (m_pending.find('\n') != std::string::npos && !Flush()) return 0;
    return count;
  }
  int sync() override { return Flush() ? 0 : -1; }

 private:
  // False once a write to the console has failed.
  bool Flush() {
    if (m_bFailed) m_pending.clear();
    if (m_pending.empty()) return !m_bFailed;
    const int length = static_cast<int>(m_pending.size());
    UINT codePage = CP_UTF8;
    int wide = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, m_pending.data(), length, nullptr, 0);
    if (wide == 0) {
      codePage = 1252;
      wide = MultiByteToWideChar(codePage, 0, m_pending.data(), length, nullptr, 0);
    }
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(codePage, 0, m_pending.data(), length, text.data(), wide);
    DWORD written = 0;
    m_bFailed = !WriteConsoleW(m_console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
                written != text.size();
    m_pending.clear();
    return !m_bFailed;
  }

  HANDLE m_console;
  std::string m_pending;
  bool m_bFailed = false;
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// Sends a stream that reaches a console window through a ConsoleBuffer.
void ToConsole(std::ostream& stream, FILE* file, DWORD standardHandle) {
  HANDLE handle = GetStdHandle(standardHandle);
  if (!IsConsole(handle)) return;
  std::fflush(file);
  stream.rdbuf(new ConsoleBuffer(handle));  // lives as long as the program
}

class ComPort : public PlatformPort {
 public:
  SerialPort& Port() override { return m_port; }

  std::string OpenHint(const std::string& name) const override {
    switch (m_port.OpenError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
        return name + " does not exist. 'zerviko-flash ports' lists the ports of this machine.";
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
        return name + " is in use by another program.";
      default:
        return {};
    }
  }

 private:
  Win32SerialPort m_port;
};

}  // namespace

const char* const PORT_EXAMPLE = "COM5";

void PrepareConsole() {
  // Line ends as on every other system ("\n"): the JSON lines and messages are the same
  // bytes wherever the program runs. The status log keeps its CR LF of its own.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  ToConsole(std::cout, stdout, STD_OUTPUT_HANDLE);
  ToConsole(std::cerr, stderr, STD_ERROR_HANDLE);
  // The progress bar redraws its line with escape sequences, which a console takes
  // only in this mode (Windows 10 and later); older consoles get plain stage lines.
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  g_terminal = GetConsoleMode(output, &mode) &&
               SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool OutputIsTerminal() { return g_terminal; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

// The console window's rows, not its buffer's: the live lines must fit what is seen.
int TerminalRows() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 24;
  return info.srWindow.Bottom - info.srWindow.Top + 1;
}

std::string ProgramFolder() {
  // In UTF-8 a folder of fewer than MAX_PATH letters may take more bytes than that:
  // the name is asked for again with room enough rather than cut off.
  std::string file(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, file.data(), static_cast<DWORD>(file.size()));
    if (n == 0) return ".\\";
    if (n < file.size()) {
      file.resize(n);
      break;
    }
    if (file.size() >= 32768 * 3) return ".\\";  // the longest path, in UTF-8
    file.resize(file.size() * 2);
  }
  return file.substr(0, file.find_last_of("\\/") + 1);
}

std::string FolderPath(const std::string& folder) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder;
  return folder + "\\";
}

InterruptGuard::InterruptGuard() {
  g_interrupted = false;
  SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptGuard::~InterruptGuard() { SetConsoleCtrlHandler(OnControl, FALSE); }

bool InterruptGuard::Interrupted() { return g_interrupted; }

std::unique_ptr<PlatformPort> MakePlatformPort() { return std::make_unique<ComPort>(); }

}  // namespace zerviko::cli
