// What zerviko-flash needs of the system it runs on besides the engine: the console,
// the program's folder, Ctrl-C, and the serial port together with what to tell a user
// whose port would not open. The build chooses LinuxPlatform.cpp or Win32Platform.cpp.
#pragma once

#include <memory>
#include <string>

#include "engine/SerialPort.h"

namespace zerviko::cli {

// A port name as users of this system know them, for help texts.
extern const char* const PORT_EXAMPLE;

// Sets the console up for the program's output; called first thing in main.
void PrepareConsole();

// True when standard output is a terminal that can redraw a progress bar in place.
bool OutputIsTerminal();

// The width of the terminal standard output shows, in characters; 80 when unknown.
int TerminalColumns();

// The height of that terminal, in rows; 24 when unknown.
int TerminalRows();

// The folder of the running program, ending in a separator.
std::string ProgramFolder();

// A folder named by the user, ending in a separator.
std::string FolderPath(const std::string& folder);

// While it lives, the first Ctrl-C only sets Interrupted(); a second one ends the
// program at once.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  static bool Interrupted();
};

// The system's serial port.
class PlatformPort {
 public:
  virtual ~PlatformPort() = default;
  virtual SerialPort& Port() = 0;
  // Why the last Open of the port named name failed, in a user's words; empty when
  // the engine's own message says all there is.
  virtual std::string OpenHint(const std::string& name) const = 0;
};

std::unique_ptr<PlatformPort> MakePlatformPort();

}  // namespace zerviko::cli
