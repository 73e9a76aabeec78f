// One run of the engine against the fake kernel on a scripted port, with the kernel
// files in a temporary folder of its own and every message recorded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/ProgramTarget.h"
#include "engine/ProgrammingRun.h"
#include "tests/engine/FakeKernel.h"
#include "tests/engine/ScriptedPort.h"

namespace zerviko::test {

struct Message {
  int percent;
  int level;
  int block;
  std::string text;
  bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& m);

class Recorder {
 public:
  static int Callback(void* context, int percent, int level, int blockMessage, const char* text,
                      std::uint8_t* abortFlag);
  std::vector<Message> messages;
  // Called after each message is recorded; may set the abort byte.
  std::function<void(const Message&, std::uint8_t* abortFlag)> onMessage;

  std::vector<std::string> Texts() const;
  std::vector<std::string> TextsAt(int level) const;
  // The one level-0 message that ends a failed run; fails the test unless it is the
  // only one and the last.
  std::string Error() const;
  bool Has(const std::string& text) const;
};

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t first = 0, std::uint8_t step = 1);

class Harness {
 public:
  Harness();
  // The run over the scripted port, with the port's virtual clock.
  bool Run(const std::vector<std::uint8_t>& image);
  bool Run(const std::uint8_t* image, std::int32_t size);

  ScriptedPort port;
  FakeKernel kernel{port};
  Recorder recorder;
  TempDir dir;
  ProgrammingOptions options;
  std::vector<std::uint8_t> mainKernel = Bytes(300, 0x10);
  std::vector<std::uint8_t> eraseModule = Bytes(40, 0x80);
  std::vector<std::uint8_t> writeModule = Bytes(50, 0xC0);
  std::vector<std::uint8_t> microKernel = Bytes(250, 0x21);
};

}  // namespace zerviko::test
