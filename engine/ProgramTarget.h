// The flash programming engine's single entry.
//
// One call of ProgramTarget is one programming run: it opens the port named in the
// options, runs the resident-kernel or the boot-mode flow to its end or its first
// failure, closes the port and returns the result. Every stage, step, detail and the
// one error of a failed run come back through the callback, on the calling thread.
//
// Each run keeps its state in an object of its own, so two runs on two ports may go on
// at the same time in two threads. A callback must not start another run on its port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zerviko {

class SerialPort;

// Message levels handed to the callback.
enum : int {
  LEVEL_ERROR = 0,   // the error that ends a failed run; always its last message
  LEVEL_STAGE = 1,   // stages of a flow, and the per-block messages
  LEVEL_STEP = 2,    // steps inside a stage
  LEVEL_DETAIL = 3,  // one line per device of the kernel's list and per erase block
  // Not a message: while the run waits for a person to restart the target, it calls
  // the callback with this level and an empty text about every 100 ms, so that the
  // callback can set the abort byte. A front end shows and logs nothing for it.
  LEVEL_WAITING = -1,
};

// How the boot-mode flow restarts the target into its boot program and, at the end,
// into its firmware.
enum class ResetMethod : std::uint8_t {
  // RTS pulsed while DTR picks the mode.
  ModemLines,
  // The user restarts the target when asked, and the modem lines are left alone: many
  // USB-to-serial adapters and cables carry no RTS or DTR. The synchronisation then
  // waits long enough for a person.
  Manual,
};

// The messages by which a run with ResetMethod::Manual asks the user to restart the
// target. A front end that shows only the stages should show these as well.
inline constexpr const char* PROMPT_BOOT_MODE = "Please reset target in boot mode within 30 s";
inline constexpr const char* PROMPT_USER_MODE = "Please reset target in user mode";

// The parameters of one run. The caller owns it; the engine only reads it.
struct ProgrammingOptions {
  std::uint8_t residentKernel = 1;  // non-zero: resident-kernel flow; zero: boot-mode flow
  std::string portName;
  std::int32_t syncBaudRate = 9600;
  std::int32_t baudRate = 115200;
  std::int32_t clockHz = 22118400;
  std::uint32_t startAddress = 0;
  const std::int32_t* eraseBlocks = nullptr;  // none: every block of the target
  std::int32_t eraseBlockCount = 0;
  std::optional<std::string> deviceName = std::string("2329");  // none: no selection
  std::string microKernelPath;  // boot-mode flow only
  std::string mainKernelPath;
  std::string writeModulePath;
  std::string eraseModulePath;  // resident-kernel flow only
  ResetMethod resetMethod = ResetMethod::ModemLines;  // boot-mode flow only
};

// callback(context, percent, level, blockMessage, text, abortFlag). The text holds at
// most 255 bytes (a longer one is cut before a whole UTF-8 letter) and no line end. Setting *abortFlag non-zero stops the run
// before its next block write, or at once while it waits for a restart by hand
// (LEVEL_WAITING). The result is ignored.
using ProgressCallback = int (*)(void* context, int percent, int level, int blockMessage,
                                 const char* text, std::uint8_t* abortFlag);

// Runs one programming run over the system's serial port named by options.portName.
bool ProgramTarget(const ProgrammingOptions& options, const std::uint8_t* image,
                   std::int32_t imageSize, ProgressCallback callback, void* context);

// The same over a port the caller provides (a scripted target in tests, for one).
// The run still calls port.Open(options.portName) first and port.Close() at its end.
bool ProgramTarget(const ProgrammingOptions& options, const std::uint8_t* image,
                   std::int32_t imageSize, ProgressCallback callback, void* context,
                   SerialPort& port);

}  // namespace zerviko
