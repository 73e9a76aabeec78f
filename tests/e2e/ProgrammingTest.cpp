// Whole programming runs: the engine over the real termios port against the virtual
// printer on a pseudo-terminal.
#include <dirent.h>

#include "sim/InProcessPort.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

TEST(Programming, EveryMessageFrameAndByteOfARun) {
  sim::TargetConfig config;
  config.eraseBlocks = {{0, 0xFFF}, {0x1000, 0x13E7}};
  Printer printer(config);
  // Seven pieces: three written, two empty, one written, and a short last one.
  Bytes image = Pattern(6 * 128 + 72);
  std::fill(image.begin() + 3 * 128, image.begin() + 5 * 128, 0xFF);
  const EngineRun run(Options(printer.Device()), image);
  ASSERT_TRUE(run.ok) << run.messages.back().text;
  std::string seen;  // percent, level, block flag and text of each message
  for (const auto& m : run.messages) {
    seen += std::to_string(m.percent) + " " + std::to_string(m.level) + " " + std::to_string(m.block);
    seen += " " + m.text + "|";
  }
  const std::string module = "|0 2 0 Sending image size|0 2 0 Sending image|0 2 0 Sending checksum|"
                             "0 2 0 Waiting for acknowledge|";
  EXPECT_EQ(seen, "0 1 0 Setting baud rate|0 2 0 Baud rate set to 115200 bps|"
                  "0 2 0 Device clock set to 22.12 MHz|0 1 0 Reading supported device list|"
                  "0 2 0 This kernel supports 1 devices|0 3 0 Device ZV2329F 512K flash, code 2329|"
                  "0 1 0 Selecting device|0 2 0 Selected device ZV2329F 512K flash, code 2329|"
                  "0 1 0 Reading erase block list from target|0 2 0 There are 2 erase blocks|"
                  "0 3 0 Block 0: 0x00000000..0x00000FFF, 4K bytes|"
                  "0 3 0 Block 1: 0x00001000..0x000013E7, 1000 bytes|"
                  "0 1 0 Loading main kernel " + kBin + "Genm2329.cde" + module +
                  "0 1 0 Loading EEPROM erase module " + kBin + "Gene2329.cde" + module +
                  "0 1 0 Erasing target EEPROM|0 1 1 Erasing block 0|0 1 1 Erasing block 1|"
                  "0 1 0 Performing a blank check|"
                  "0 1 0 Loading EEPROM write module " + kBin + "Genw2329.cde" + module +
                  "0 1 0 Writing image to the EEPROM|0 1 1 Writing block 0000..007F|"
                  "15 1 1 Writing block 0080..00FF|30 1 1 Writing block 0100..017F|"
                  "76 1 1 Writing block 0280..02FF|91 1 1 Writing block 0300..037F|"
                  "100 2 0 Written 5 blocks, skipped 2 empty blocks|"
                  "100 1 0 Programming complete, please reset target|");

  // The frames as the printer took them. Modules and blocks go by their first bytes: the
  // printer checks their sums, the flash holds their data.
  std::string wire;
  const auto frames = printer.Frames();
  for (const auto& f : frames) {
    EXPECT_EQ(f.lineRate, &f == &frames[0] ? 9600 : 115200) << "all but the first at the new rate";
    const std::size_t shown = f.bytes.size() <= 10 ? f.bytes.size() : f.bytes[0] == 0x50 ? 5 : 1;
    char hex[4];
    for (std::size_t i = 0; i < shown; ++i) wire += (std::snprintf(hex, 4, "%02X ", f.bytes[i]), hex);
    wire += shown < f.bytes.size() ? "..|" : "|";
  }
  EXPECT_EQ(wire, "3F 07 04 80 08 A4 01 01 00 88 |06 |20 |10 04 32 33 32 39 1C |26 |40 ..|48 ..|48 01 00 B7 |"
                  "48 01 01 B6 |48 01 FF B8 |4D |43 ..|50 00 00 00 00 ..|50 00 00 00 80 ..|50 00 00 01 00 ..|"
                  "50 00 00 02 80 ..|50 00 00 03 00 ..|50 FF FF FF FF B4 |");
  Bytes flash = image;
  flash.resize(0x13E8, 0xFF);
  EXPECT_EQ(printer.Flash(), flash) << "every block erased, the last piece padded";

  // The port is free again for the next run, which starts afresh.
  const EngineRun again(Options(printer.Device()), Pattern(1000, 7));
  ASSERT_TRUE(again.ok) << again.messages.back().text;
  flash = printer.Flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 1000), Pattern(1000, 7));
}

// The line drops while the host waits for a block's acknowledge.
TEST(Programming, ALineThatDrops) {
  auto descriptors = [] {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dir && ::readdir(dir)) ++count;
    return dir && ::closedir(dir) == 0 ? count : -1;
  };
  Printer printer({}, {"hang-up:0x50:1:134"});
  const int before = descriptors();
  const EngineRun run(Options(printer.Device()), Pattern(1024));
  ASSERT_FALSE(run.ok);
  EXPECT_EQ(run.messages.back().text, "Communications error [265]");
  EXPECT_LT(run.messages.back().when - run.messages.end()[-2].when, 900ms) << "at once, not at a timeout";
  EXPECT_TRUE(printer.Server().HungUp()) << "the printer says so before the line drops";
  printer.Server().Stop();
  EXPECT_EQ(descriptors(), before - 2) << "the run closed its port, the printer its line";
}

TEST(Programming, APacedPrinterTakesTheLinesTime) {
  sim::TargetConfig config;
  config.eraseTime = 2ms;
  config.writeTime = 1ms;
  sim::PtyServerOptions options;
  options.pace = true;
  Printer printer(config, {}, options);
  const auto start = Clock::now();
  const EngineRun run(Options(printer.Device()), Pattern(2048));
  ASSERT_TRUE(run.ok) << run.messages.back().text;
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double line = printer.Server().LineSeconds(), processing = printer.Server().ProcessingSeconds();
  // Bytes to the printer and back, 11 bits each, almost all at 115200 bps.
  const auto bytes = printer.Server().Inspect([](auto& t) { return t.BytesReceived() + t.BytesSent(); });
  EXPECT_GT(line, bytes * 11.0 / 115200);
  EXPECT_LT(line, bytes * 11.0 / 9600);
  EXPECT_DOUBLE_EQ(processing, 16 * 0.002 + 16 * 0.001);
  EXPECT_GT(wall, 0.9 * (line + processing)) << "never faster than the line";
}

// Boot mode needs modem lines, which a pseudo-terminal lacks: the printer's in-process
// port has them, and the run waits its real pauses.
TEST(Programming, BootModeThroughThePrintersOwnPort) {
  sim::Target target;
  sim::InProcessPort port(target);
  ProgrammingOptions options = Options("in-process");
  options.residentKernel = 0;
  options.microKernelPath = kBin + "uKernel2329.cde";
  const auto start = Clock::now();
  const EngineRun run(options, Pattern(700, 9), &port);
  ASSERT_TRUE(run.ok) << run.messages.back().text;
  EXPECT_GE(Clock::now() - start, 1000ms) << "two restarts and the rate change";
  EXPECT_FALSE(port.IsOpen());
  Bytes flash = Pattern(700, 9);
  flash.resize(target.Flash().size(), 0xFF);
  EXPECT_EQ(target.Flash(), flash) << "erased by the boot program, then written";
}

}  // namespace
}  // namespace zerviko::e2e
