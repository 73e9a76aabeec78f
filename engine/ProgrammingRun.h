// One programming run: the state that lives from the call of ProgramTarget to its
// return, and the protocol operations that work on it.
//
// Nothing here is global. A run borrows the options, the image, the callback and the
// port from its caller and owns only its tables; the object is made for one run and
// thrown away after it, so two runs on two ports can go on at once in two threads.
//
// Every operation returns true, or false after reporting exactly one level-0 message
// through Fail where the failure was detected. Callers pass a false up unreported.
#pragma once

#include <array>
#include <cstdarg>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ProgramTarget.h"

namespace zerviko {

class SerialPort;

// The run's view of time: its fixed waits and the synchronisation window. The real
// one is the steady clock and sleep_for; a scripted target in a test can stand in for
// it so that seconds of protocol time pass in microseconds.
class RunClock {
 public:
  virtual ~RunClock() = default;
  virtual std::chrono::steady_clock::time_point Now() = 0;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

// The steady clock and std::this_thread::sleep_for; stateless and shared by all runs.
RunClock& SystemRunClock();

// Command bytes of the kernel protocol.
enum : std::uint8_t {
  CMD_SELECT_DEVICE = 0x10,
  CMD_DEVICE_INQUIRY = 0x20,
  CMD_ERASE_BLOCK_INQUIRY = 0x26,
  CMD_SET_CLOCK_AND_BAUD = 0x3F,
  CMD_LOAD_MAIN_KERNEL = 0x40,
  CMD_LOAD_WRITE_MODULE = 0x43,
  CMD_ERASE = 0x48,
  CMD_BLANK_CHECK = 0x4D,
  CMD_WRITE = 0x50,
};

// Bytes of the kernel's and the boot program's answers.
enum : std::uint8_t {
  ACK = 0x06,
  BOOT_SYNC_ANSWER = 0x00,
  BOOT_PROCEED = 0xAA,
  BOOT_ERASE_ERROR = 0xFF,
  BOOT_SYNC_REQUEST = 0x55,
};

// The line settings of the first contact; the baud rate is replaced right after.
inline constexpr const char* LINE_SETTINGS =
    "baud=9600 parity=n data=8 stop=2 xon=off odsr=off octs=off idsr=off dtr=off rts=off";

inline constexpr std::size_t ECHO_RING_SIZE = 100;
inline constexpr std::size_t MESSAGE_BUFFER_SIZE = 256;  // texts are cut to 255 characters
inline constexpr std::size_t DEVICE_REPLY_CAPACITY = 256;
inline constexpr std::size_t ERASE_BLOCK_REPLY_CAPACITY = 2049;
inline constexpr std::uint32_t WRITE_BLOCK_SIZE = 128;
inline constexpr std::uint32_t MICRO_KERNEL_MAX_SIZE = 65535;
// How long the host sends synchronisation zeros before it gives up: after a restart
// through the modem lines, and while a person restarts the target by hand.
inline constexpr std::chrono::milliseconds SYNC_WINDOW{2000};
inline constexpr std::chrono::milliseconds SYNC_WINDOW_BY_HAND{30000};
// How often that long wait asks the callback whether the user has given up.
inline constexpr std::chrono::milliseconds WAITING_INTERVAL{100};

// The message of a kernel error code, or nullptr for a code the kernel does not define.
const char* KernelErrorText(std::uint8_t code);

class ProgrammingRun {
 public:
  struct Device {
    std::array<char, 4> code{};
    std::string name;
  };
  struct EraseBlock {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
  };

  ProgrammingRun(const ProgrammingOptions& options, const std::uint8_t* image,
                 std::int32_t imageSize, ProgressCallback callback, void* context,
                 SerialPort& port, RunClock& clock = SystemRunClock());
  ProgrammingRun(const ProgrammingRun&) = delete;
  ProgrammingRun& operator=(const ProgrammingRun&) = delete;

  // The whole run: flow, then the port closed and the tables released. Call once.
  bool Run();

  // Reporting.
  void Report(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void ReportBlock(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // A LEVEL_WAITING call of the callback; true when the abort byte is set.
  bool AbortRequested();

  // Framing, replies and kernel error codes.
  bool SendByte(std::uint8_t byte);
  bool SendSummed(std::uint8_t byte);
  bool SendChecksum();
  bool WaitAcknowledge(std::uint32_t timeoutMs, std::uint8_t command);
  bool CheckNoErrorReply(std::uint8_t command);
  const char* DecodeErrorReply(std::uint8_t command, std::uint8_t first);
  bool Inquire(std::uint8_t command, std::uint8_t* buffer, std::size_t capacity,
               std::size_t* length, bool wideLength);
  bool SendCommand(std::uint8_t command);

  // Boot entry and kernel download.
  bool ResetIntoBootMode();
  bool ResetIntoUserMode();
  bool SendEchoed(std::uint8_t byte);
  bool DrainEchoes();
  bool DownloadMicroKernel(const std::string& path, std::int32_t baudRate);
  bool LoadKernelModule(const std::string& path, std::uint8_t command);

  // Device selection, erase-block list, clock and baud.
  bool SetClockAndBaudRate(std::int32_t baudRate, std::int32_t clockHz);
  bool ReadDeviceList();
  bool SelectDevice(const std::string& requested);
  bool ReadEraseBlockList();

  // Erase and block write.
  bool PrepareEraseList();
  bool EraseBlocks(std::int32_t count, const std::int32_t* list);
  bool BlankCheck();
  bool WriteImage(std::uint32_t startAddress, std::uint32_t blockSize, const std::uint8_t* image,
                  std::int32_t imageSize);

  int Percent() const { return m_percent; }
  const std::vector<Device>& Devices() const { return m_devices; }
  const std::vector<EraseBlock>& EraseBlockTable() const { return m_eraseBlockTable; }

 private:
  bool RunResidentKernelFlow();
  bool RunBootModeFlow();
  bool OpenPort();
  bool ConfigureForSync(std::int32_t baudRate);
  bool NegotiateAndSelectDevice();
  // Starts a checksummed frame: the running checksum restarts at the command byte.
  bool BeginFrame(std::uint8_t command);
  bool ResetInto(bool bootMode);
  void Deliver(int level, int blockMessage, const char* format, va_list arguments);
  void ReleaseTables();

  const ProgrammingOptions& m_options;
  const std::uint8_t* m_image;
  std::int32_t m_imageSize;
  ProgressCallback m_callback;
  void* m_context;
  SerialPort& m_port;
  RunClock& m_clock;

  int m_percent = 0;
  std::uint8_t m_abort = 0;
  std::uint8_t m_checksum = 0;

  std::array<std::uint8_t, ECHO_RING_SIZE> m_echoRing{};
  std::size_t m_echoWrite = 0;
  std::size_t m_echoRead = 0;

  std::vector<Device> m_devices;
  std::vector<EraseBlock> m_eraseBlockTable;

  // The erase list: the caller's eraseBlocks (borrowed), or m_ownEraseList when the
  // engine built it from the erase-block table.
  std::vector<std::int32_t> m_ownEraseList;
  const std::int32_t* m_eraseList = nullptr;
  std::int32_t m_eraseListCount = 0;
  bool m_eraseListBuilt = false;
};

}  // namespace zerviko
