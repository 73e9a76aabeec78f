// The boot-mode flow restarting the printer through its modem lines, which a
// pseudo-terminal lacks: it runs against the virtual printer through its in-process
// port. The boot program's failures are checked over a pty, with a hand reset.
#include <gtest/gtest.h>

#include "sim/InProcessPort.h"
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
    options.microKernelPath = kDir + "uKernel2329.cde";
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

  Bytes m_microKernel = ReadFile(kDir + "uKernel2329.cde");
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

}  // namespace
}  // namespace zerviko::e2e
