// The boot-mode flow needs modem lines, which a pseudo-terminal lacks: it runs against
// the virtual printer through its in-process port.
#include <gtest/gtest.h>

#include "sim/InProcessPort.h"
#include "sim/PtyServer.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

using sim::InProcessPort;
using sim::Mode;
using sim::Target;
using sim::TargetConfig;
using Bytes = std::vector<std::uint8_t>;

const std::string kDir = ZERVIKO_PROGRAM_DIR;

class BootModeTest : public ::testing::Test {
 protected:
  ProgrammingOptions Options() {
    ProgrammingOptions options;
    options.residentKernel = 0;
    options.portName = "in-process";
    options.microKernelPath = m_dir.File("micro.bin");
    options.mainKernelPath = kDir + "Genm2329.cde";
    options.writeModulePath = kDir + "Genw2329.cde";
    return options;
  }
  bool Run(Target& target, const Bytes& image, RunRecord& record) {
    InProcessPort port(target);
    const ProgrammingOptions options = Options();
    const bool ok = ProgramTarget(options, image.data(), static_cast<std::int32_t>(image.size()),
                                  &RunRecord::Callback, &record, port);
    EXPECT_FALSE(port.IsOpen()) << "the run closes its port";
    return ok;
  }
  static TargetConfig WithFault(const char* text) {
    TargetConfig config;
    sim::Fault fault;
    std::string error;
    EXPECT_TRUE(sim::ParseFault(text, &fault, &error)) << error;
    config.faults.push_back(fault);
    return config;
  }

  TempDir m_dir;
  Bytes m_microKernel = TestImage(1500, 7);
  void SetUp() override { WriteFile(m_dir.File("micro.bin"), m_microKernel); }
};

TEST_F(BootModeTest, RestartsDownloadsWritesAndRestartsAgain) {
  Target target;  // running its older firmware's kernel until restarted
  const Bytes image = TestImage(700, 9);
  RunRecord record;
  ASSERT_TRUE(Run(target, image, record)) << record.LastText();
  EXPECT_EQ(record.LastText(), "Programming complete");
  EXPECT_EQ(record.ErrorCount(), 0);
  EXPECT_NE(record.Find("Resetting target in boot mode"), nullptr);
  EXPECT_NE(record.Find("Synching at 9600 baud"), nullptr);
  EXPECT_NE(record.Find("Resetting target in user mode"), nullptr);
  EXPECT_EQ(target.MicroKernel(), m_microKernel) << "every byte echoed and checked";
  EXPECT_EQ(target.CurrentMode(), Mode::UserFirmware) << "restarted into the printer's firmware";
  const Bytes& flash = target.Flash();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_TRUE(std::all_of(flash.begin() + 768, flash.end(), [](std::uint8_t b) { return b == 0xFF; }))
      << "the boot program erased the flash, and the blank check passed";
}

TEST_F(BootModeTest, BootProgramFaults) {
  const struct {
    const char* fault;
    std::string text;
  } cases[] = {
      {"error:sync:0x7F", "Bad reply from target, 0x7F instead of 0x00"},
      {"error:proceed:0xFF", "Erase error"},
      {"error:proceed:0x12", "Bad reply from target"},
      {"error:download:0xFF", "Erase error"},
      {"error:download:0x12", "No download acknowledge from target"},
      // Byte 5 of the download is the micro-kernel's fourth byte, echoed inverted.
      {"bad-echo:5", [this] {
         char text[80];
         std::snprintf(text, sizeof text, "Bad echo from target, 0x%02X instead of 0x%02X",
                       m_microKernel[3] ^ 0xFF, m_microKernel[3]);
         return std::string(text);
       }()},
  };
  for (const auto& c : cases) {
    Target target(WithFault(c.fault));
    RunRecord record;
    EXPECT_FALSE(Run(target, TestImage(100), record)) << c.fault;
    EXPECT_EQ(record.ErrorCount(), 1) << c.fault;
    EXPECT_EQ(record.LastText(), c.text) << c.fault;
  }
}

TEST_F(BootModeTest, ATargetThatStopsEchoing) {
  Target target(WithFault("silent:echo"));
  RunRecord record;
  const auto start = Clock::now();
  EXPECT_FALSE(Run(target, TestImage(100), record));
  EXPECT_EQ(record.LastText(), "Echo timeout");
  EXPECT_EQ(record.ErrorCount(), 1);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  EXPECT_GE(waited.count(), 200) << "the host waits 200 ms once 100 bytes are unechoed";
}

TEST_F(BootModeTest, APseudoTerminalCannotRestartTheTarget) {
  sim::PtyServer server;
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  ProgrammingOptions options = Options();
  options.portName = server.DevicePath();
  RunRecord record;
  const Bytes image = TestImage(10);
  EXPECT_FALSE(ProgramTarget(options, image.data(), 10, &RunRecord::Callback, &record));
  EXPECT_EQ(record.LastText(), "Communication port error [296]");
  EXPECT_EQ(record.ErrorCount(), 1);
  server.Stop();
}

}  // namespace
}  // namespace zerviko::e2e
