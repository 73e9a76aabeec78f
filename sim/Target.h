// The virtual printer's microcontroller: its boot program and its flash kernel as one
// state machine, fed the host's bytes one at a time and answering with bytes.
//
// Platform-free: no clock, no port. What a reply costs in time (an erase, a block
// write) comes back as a delay beside the bytes, and the caller decides whether to
// wait for it (the pseudo-terminal server does when pacing, the in-process port does
// not). Not thread-safe: one owner feeds it and reads its state.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zerviko::sim {

// Kernel error codes the virtual printer answers with.
enum : std::uint8_t {
  KERR_SUM_ERROR = 0x11,
  KERR_PRG_SIZE_ERROR = 0x12,
  KERR_DEVICE_CODE_ERROR = 0x21,
  KERR_BAUD_RATE_ERROR = 0x24,
  KERR_INPUT_CLOCK_ERROR = 0x25,
  KERR_WRITE_ADDRESS_ERROR = 0x28,
  KERR_ERASE_BLOCK_NO_ERROR = 0x29,
  KERR_NOT_ERASE_ERROR = 0x52,
  KERR_COMMAND_ERROR = 0x80,
};

// The boot program's steps, named where a fault may take a command byte's place.
enum : int {
  STAGE_SYNC = 0x100,      // the answer to the synchronisation zeros
  STAGE_PROCEED = 0x101,   // the answer to 0x55
  STAGE_ECHO = 0x102,      // the echoes of the micro-kernel download
  STAGE_DOWNLOAD = 0x103,  // the answer after the micro-kernel
};

struct DeviceEntry {
  std::string code;  // four characters
  std::string name;
};

struct EraseBlock {
  std::uint32_t first = 0;
  std::uint32_t last = 0;  // inclusive
};

enum class FaultKind {
  Silent,       // from the command on, the target answers nothing at all
  ErrorReply,   // the command's first answer is the error reply command|0x80, value
  BadChecksum,  // the inquiry reply's checksum is off by one
  CutReply,     // only the first `value` bytes of the answer go out, then silence
  BadEcho,      // the echo of download byte number `value` (from 0) is wrong
  HangUp,       // the line drops after `value` bytes of the command's frame
};

struct Fault {
  FaultKind kind = FaultKind::Silent;
  int command = 0;     // a command byte, or a STAGE_ value
  int occurrence = 1;  // the how-manieth arrival of the command it strikes (from 1)
  int value = 0;
};

// Parses "silent:0x50[:N]", "error:0x3F:0x80[:N]", "bad-checksum:0x20[:N]",
// "cut:0x26:BYTES[:N]", "bad-echo:INDEX", "hang-up:0x50[:N[:BYTES]]"; the command may
// also be sync, proceed, echo or download. False with *error set on bad text.
bool ParseFault(const std::string& text, Fault* fault, std::string* error);

struct TargetConfig {
  std::vector<DeviceEntry> devices{{"2329", "ZV2329F 512K flash"}};
  std::vector<EraseBlock> eraseBlocks = DefaultEraseBlocks();
  // False: the flash holds an older firmware at start, so only an erase makes it blank.
  bool blankAtStart = false;
  // True: the target starts in its boot program, waiting for the synchronisation.
  // After each completed write the target restarts as it started (the user is asked
  // to reset it then): in its boot program, or its resident kernel.
  bool startInBootMode = false;
  // Time the flash takes for one block erase and one 128-byte block write.
  std::chrono::microseconds eraseTime{0};
  std::chrono::microseconds writeTime{0};
  // Erase blocks that report a successful erase but keep their content.
  std::vector<int> stuckBlocks;
  std::vector<Fault> faults;

  // 8 blocks of 4 KiB, one of 32 KiB and seven of 64 KiB: 512 KiB from address 0.
  static std::vector<EraseBlock> DefaultEraseBlocks();
};

// What the target does in answer to one byte.
struct Reply {
  std::vector<std::uint8_t> bytes;
  std::chrono::microseconds delay{0};  // processing before the first byte goes out
  bool hangUp = false;                 // the line drops after the bytes
};

// One command frame as the target received it, for tests and the log.
struct FrameRecord {
  std::vector<std::uint8_t> bytes;  // from the command byte to the checksum
  std::int32_t lineRate = 0;        // the host's rate when its first byte arrived
};

enum class Mode {
  UserFirmware,  // running the printer's firmware: deaf to the protocol
  Boot,          // the boot program
  Kernel,        // a flash kernel answers commands
  Dead,          // silent for good (a fault, or the line hung up)
};

class Target {
 public:
  explicit Target(TargetConfig config = {});

  // One byte from the host; rate is the rate the host's port runs at, which the
  // target compares with the rate it expects, as a UART would.
  void Receive(std::uint8_t byte, std::int32_t rate, Reply& reply);
  // A restart through the modem lines: into the boot program, or the user firmware.
  void Restart(bool bootMode);
  // The resident kernel as after power-on: no modules, rate taken from the first byte.
  void RestartResidentKernel();

  Mode CurrentMode() const { return m_mode; }
  const std::vector<std::uint8_t>& Flash() const { return m_flash; }
  std::uint32_t FlashBase() const { return m_flashBase; }
  const std::vector<FrameRecord>& Frames() const { return m_frames; }
  // The bytes of a command still being received.
  const std::vector<std::uint8_t>& FrameInProgress() const { return m_frame; }
  const std::vector<EraseBlock>& EraseBlocks() const { return m_config.eraseBlocks; }
  // Completed end-of-write frames since the start.
  int WritesEnded() const { return m_writesEnded; }
  // The micro-kernel bytes received in boot mode (without the two size bytes).
  const std::vector<std::uint8_t>& MicroKernel() const { return m_microKernel; }
  // The rate the kernel expects: the synchronisation rate, then the negotiated one.
  std::int32_t KernelRate() const { return m_kernelRate; }
  // Bytes received and sent, for the line-time budget of a benchmark.
  std::uint64_t BytesReceived() const { return m_bytesReceived; }
  std::uint64_t BytesSent() const { return m_bytesSent; }

 private:
  enum class State {
    Idle,            // kernel: waiting for a command byte
    Frame,           // kernel: collecting a fixed-length frame
    RateAck,         // kernel: waiting for the lone 0x06 at the new rate
    ModuleSize,      // kernel: module download, size bytes
    ModuleData,      // kernel: module download, file bytes
    ModuleChecksum,  // kernel: module download, checksum
    WriteAddress,    // kernel: write frame, address bytes
    WriteData,       // kernel: write frame, data and checksum
    BootSync,        // boot: waiting for zeros
    BootRequest,     // boot: answered the zeros, waiting for 0x55
    BootSize,        // boot: micro-kernel size
    BootData,        // boot: micro-kernel bytes
  };

  void ReceiveKernel(std::uint8_t byte, Reply& reply);
  void ReceiveBoot(std::uint8_t byte, Reply& reply);
  void StartCommand(std::uint8_t command, Reply& reply);
  void FinishFrame(Reply& reply);
  void FinishModule(Reply& reply);
  void FinishWrite(Reply& reply);
  void Answer(Reply& reply, std::vector<std::uint8_t> bytes, bool inquiry = false);
  void Acknowledge(Reply& reply);
  void ErrorReply(Reply& reply, std::uint8_t code);
  void Echo(Reply& reply, std::uint8_t byte);
  const Fault* FaultFor(int command, int occurrence) const;
  std::vector<std::uint8_t> DeviceInquiryReply() const;
  std::vector<std::uint8_t> EraseBlockInquiryReply() const;
  static bool RateMatchesExpected(std::int32_t rate, std::int32_t expected);
  void EndCommand();
  bool Take(std::uint8_t byte, Reply& reply);
  std::uint8_t FrameSum() const;

  TargetConfig m_config;
  Mode m_mode = Mode::Kernel;
  State m_state = State::Idle;
  std::vector<std::uint8_t> m_flash;
  std::uint32_t m_flashBase = 0;

  std::int32_t m_kernelRate = 0;  // 0 until the first byte sets it
  std::int32_t m_newRate = 0;
  bool m_mainKernelLoaded = false;
  bool m_eraseModuleLoaded = false;
  bool m_writeModuleLoaded = false;
  int m_selectedDevice = -1;

  // The command being received and its fault, if one strikes it.
  std::uint8_t m_command = 0;
  const Fault* m_fault = nullptr;
  std::size_t m_frameLength = 0;
  std::vector<std::uint8_t> m_frame;
  std::int32_t m_frameRate = 0;
  std::uint8_t m_sum = 0;
  std::uint32_t m_moduleSize = 0;
  std::vector<std::uint8_t> m_module;
  std::uint32_t m_writeAddress = 0;
  int m_occurrences[256] = {};
  int m_stageOccurrences[4] = {};

  std::uint32_t m_bootSize = 0;
  int m_bootSizeBytes = 0;
  int m_echoIndex = 0;
  std::vector<std::uint8_t> m_microKernel;

  std::vector<FrameRecord> m_frames;
  int m_writesEnded = 0;
  std::uint64_t m_bytesReceived = 0;
  std::uint64_t m_bytesSent = 0;
};

// The first line of each stand-in kernel file; the virtual printer accepts a module
// only when it begins with the line for its command.
inline constexpr const char* STAND_IN_MAIN_KERNEL = "ZERVIKO STAND-IN MAIN KERNEL";
inline constexpr const char* STAND_IN_ERASE_MODULE = "ZERVIKO STAND-IN EEPROM ERASE MODULE";
inline constexpr const char* STAND_IN_WRITE_MODULE = "ZERVIKO STAND-IN EEPROM WRITE MODULE";
// The boot program takes any micro-kernel, but the virtual printer can run only its
// stand-in: after any other it answers nothing, as a target running foreign code.
inline constexpr const char* STAND_IN_MICRO_KERNEL = "ZERVIKO STAND-IN MICRO KERNEL";
// Larger modules do not fit the target's RAM: PRG_SIZE_ERROR right after the size.
inline constexpr std::uint32_t MODULE_SIZE_LIMIT = 0x10000;

}  // namespace zerviko::sim
