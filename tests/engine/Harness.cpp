#include "tests/engine/Harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <ostream>

#include "tests/TempFolder.h"

namespace zerviko::test {

std::ostream& operator<<(std::ostream& out, const Message& m) {
  return out << "{" << m.percent << ", " << m.level << ", " << m.block << ", \"" << m.text << "\"}";
}

int Recorder::Callback(void* context, int percent, int level, int blockMessage, const char* text,
                       std::uint8_t* abortFlag) {
  auto* self = static_cast<Recorder*>(context);
  self->messages.push_back({percent, level, blockMessage, text});
  if (self->onMessage) self->onMessage(self->messages.back(), abortFlag);
  return 0;
}

std::vector<std::string> Recorder::Texts() const {
  std::vector<std::string> out;
  for (const Message& m : messages) out.push_back(m.text);
  return out;
}

std::vector<std::string> Recorder::TextsAt(int level) const {
  std::vector<std::string> out;
  for (const Message& m : messages) {
    if (m.level == level) out.push_back(m.text);
  }
  return out;
}

std::string Recorder::Error() const {
  const auto errors = TextsAt(LEVEL_ERROR);
  EXPECT_EQ(errors.size(), 1u) << "a failed run reports exactly one error";
  if (errors.empty()) return "";
  EXPECT_EQ(messages.back().level, LEVEL_ERROR) << "the error is the last message";
  EXPECT_EQ(messages.back().block, 0);
  return errors.front();
}

bool Recorder::Has(const std::string& text) const {
  for (const Message& m : messages) {
    if (m.text == text) return true;
  }
  return false;
}

TempDir::TempDir() : m_path(MakeTempFolder("zerviko-engine-")) {}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  const auto path = m_path / name;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t first, std::uint8_t step) {
  std::vector<std::uint8_t> out(count);
  std::uint8_t v = first;
  for (auto& b : out) {
    b = v;
    v = static_cast<std::uint8_t>(v + step);
  }
  return out;
}

Harness::Harness() {
  options.portName = "/dev/ttyFAKE0";
  options.mainKernelPath = (dir.Path() / "Genm2329.cde").string();
  options.eraseModulePath = (dir.Path() / "Gene2329.cde").string();
  options.writeModulePath = (dir.Path() / "Genw2329.cde").string();
  options.microKernelPath = (dir.Path() / "uKernel.cde").string();
}

bool Harness::Run(const std::uint8_t* image, std::int32_t size) {
  // Written at run time so that a test can change the contents (or leave a file out
  // by emptying its path) before running.
  const std::pair<const std::string*, const std::vector<std::uint8_t>*> files[] = {
      {&options.mainKernelPath, &mainKernel},
      {&options.eraseModulePath, &eraseModule},
      {&options.writeModulePath, &writeModule},
      {&options.microKernelPath, &microKernel}};
  for (auto [path, bytes] : files) {
    if (std::filesystem::path(*path).parent_path() == dir.Path()) {
      dir.Write(std::filesystem::path(*path).filename().string(), *bytes);
    }
  }
  ProgrammingRun run(options, image, size, &Recorder::Callback, &recorder, port, port);
  return run.Run();
}

bool Harness::Run(const std::vector<std::uint8_t>& image) {
  return Run(image.data(), static_cast<std::int32_t>(image.size()));
}

}  // namespace zerviko::test
