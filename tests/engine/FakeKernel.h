// A target for the scripted port: the boot program and the kernel with its erase and
// write modules, answering each frame as it completes on the line.
//
// It keeps what it was sent (every frame whole, the modules, the written memory) and
// lets a test replace the answer to any frame, or break into a module download.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/engine/ScriptedPort.h"

namespace zerviko::test {

struct Frame {
  std::uint8_t command = 0;
  std::vector<std::uint8_t> bytes;  // as on the line, command byte and checksum included
  std::int32_t baud = 0;            // the host's rate while it was sent
  bool summed = false;              // all counted bytes and the checksum add up to 0
  std::string kind;                 // "frame", "inquiry", "load", "module", "ack", "command"
};

struct Answer {
  std::vector<std::uint8_t> bytes;
  double delayMs = 0;
};

struct Device {
  std::string code;
  std::string name;
};

std::vector<std::uint8_t> DevicePayload(const std::vector<Device>& devices);
std::vector<std::uint8_t> EraseBlockPayload(
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& blocks);
// command | 0x10, the length (two bytes when wide), the payload, the checksum.
std::vector<std::uint8_t> InquiryReply(std::uint8_t command, const std::vector<std::uint8_t>& payload,
                                       bool wide);

class FakeKernel {
 public:
  explicit FakeKernel(ScriptedPort& port);

  // Starts in the boot program (boot-mode flow) rather than in a resident kernel.
  void StartInBootProgram() { m_state = State::BootSync; }

  std::vector<std::uint8_t> devicePayload =
      DevicePayload({{"2329", "ZV2329"}, {"2330", "ZV2330"}});
  std::vector<std::uint8_t> eraseBlockPayload = EraseBlockPayload({{0x0000, 0x0FFF}, {0x1000, 0x1FFF}});

  // Replaces the kernel's answer to a frame; nullopt keeps the usual one.
  std::function<std::optional<Answer>(const Frame&)> answer;

  // The boot program: zeros it needs before it answers, the byte it answers with,
  // its answer to 0x55 and to the finished download, and how late each echo comes.
  int syncZeros = 5;
  std::uint8_t syncAnswer = 0x00;
  std::uint8_t proceedAnswer = 0xAA;
  std::uint8_t downloadAnswer = 0xAA;
  double echoDelayMs = 0;
  double proceedDelayMs = 0;
  double downloadDelayMs = 0;
  bool echoes = true;  // a boot program that does not echo does not answer the download either
  // Changes the echo of the nth byte of the download (from 0, size bytes included).
  std::function<std::uint8_t(std::size_t index, std::uint8_t byte)> echoOf;

  // Breaks into a module download of this command at this byte (from 0, size bytes
  // included) with this reply, and stops listening.
  struct ModuleBreak {
    std::uint8_t command;
    std::size_t at;
    std::vector<std::uint8_t> reply;
  };
  std::optional<ModuleBreak> moduleBreak;

  std::vector<Frame> frames;
  std::map<std::uint8_t, std::vector<std::uint8_t>> modules;  // by load command
  std::vector<std::uint8_t> microKernel;
  std::map<std::uint32_t, std::vector<std::uint8_t>> memory;  // written blocks by address
  std::size_t maxUnechoed = 0;
  int zerosSeen = 0;

  std::vector<Frame> FramesOf(std::uint8_t command) const;

 private:
  enum class State {
    Idle,
    Frame,
    AwaitBaudAck,
    ModuleBody,
    BootSync,
    BootProceed,
    BootDownload,
    Dead,
  };
  void OnByte(std::uint8_t byte);
  void Complete(Frame frame, Answer usual);
  void StartFrame(std::uint8_t command, std::size_t length, std::string kind);

  ScriptedPort& m_port;
  State m_state = State::Idle;
  Frame m_frame;
  std::size_t m_frameLength = 0;
  bool m_eraseModuleLoaded = false;
  std::uint32_t m_moduleSize = 0;
  std::size_t m_downloadIndex = 0;
  std::size_t m_downloadSize = 0;
  std::vector<double> m_echoTimes;
};

}  // namespace zerviko::test
