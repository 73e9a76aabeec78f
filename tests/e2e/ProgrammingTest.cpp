// Whole programming runs: the engine over the real termios port against the virtual
// printer on a pseudo-terminal.
#include <dirent.h>

#include "sim/InProcessPort.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

// The frame as it goes on the wire: its bytes, then the checksum of those from `from` on.
Bytes Summed(Bytes frame, std::size_t from = 0) {
  unsigned sum = 0;
  for (std::size_t i = from; i < frame.size(); ++i) sum += frame[i];
  frame.push_back(static_cast<std::uint8_t>(256 - sum % 256));
  return frame;
}

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

  Bytes expected{0x3F, 0x07, 0x04, 0x80, 0x08, 0xA4, 0x01, 0x01, 0x00, 0x88, 0x06, 0x20,
                 0x10, 0x04, '2', '3', '2', '9', 0x1C, 0x26};
  auto add = [&](const Bytes& bytes) { expected.insert(expected.end(), bytes.begin(), bytes.end()); };
  // Module loads: the command, then the size and the file under one checksum.
  auto load = [&](std::uint8_t command, const char* name) {
    const std::string file = ReadFile(kBin + name);
    Bytes bytes{command, 0, 0, std::uint8_t(file.size() >> 8), std::uint8_t(file.size())};
    bytes.insert(bytes.end(), file.begin(), file.end());
    add(Summed(bytes, 1));
  };
  load(0x40, "Genm2329.cde");
  load(0x48, "Gene2329.cde");
  add({0x48, 0x01, 0x00, 0xB7, 0x48, 0x01, 0x01, 0xB6, 0x48, 0x01, 0xFF, 0xB8, 0x4D});
  load(0x43, "Genw2329.cde");
  for (std::size_t at : {0x000, 0x080, 0x100, 0x280, 0x300}) {
    Bytes frame{0x50, 0, 0, static_cast<std::uint8_t>(at >> 8), static_cast<std::uint8_t>(at)};
    frame.insert(frame.end(), image.begin() + at, image.begin() + std::min(at + 128, image.size()));
    frame.resize(5 + 128, 0xFF);
    add(Summed(frame));
  }
  add({0x50, 0xFF, 0xFF, 0xFF, 0xFF, 0xB4});
  Bytes wire;
  const auto frames = printer.Frames();
  for (const auto& f : frames) {
    wire.insert(wire.end(), f.bytes.begin(), f.bytes.end());
    EXPECT_EQ(f.lineRate, &f == &frames[0] ? 9600 : 115200) << "all but the first frame at the new rate";
  }
  EXPECT_EQ(wire, expected);
  Bytes flash = image;
  flash.resize(0x13E8, 0xFF);
  EXPECT_EQ(printer.Flash(), flash) << "every block erased, the last piece padded";

  // The port is free again for the next run, which starts afresh.
  const EngineRun again(Options(printer.Device()), Pattern(1000, 7));
  ASSERT_TRUE(again.ok) << again.messages.back().text;
  EXPECT_EQ(again.messages.front().percent, 0);
  flash = printer.Flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 1000), Pattern(1000, 7));
}

TEST(Programming, TwoPrintersAtOnce) {
  Printer first, second;
  std::optional<EngineRun> a, b;
  std::thread ta([&] { a.emplace(Options(first.Device()), Pattern(20000, 3)); });
  std::thread tb([&] { b.emplace(Options(second.Device()), Pattern(15000, 4)); });
  ta.join();
  tb.join();
  EXPECT_TRUE(a->ok && b->ok);
  const Bytes flashA = first.Flash(), flashB = second.Flash();
  EXPECT_EQ(Bytes(flashA.begin(), flashA.begin() + 20000), Pattern(20000, 3));
  EXPECT_EQ(Bytes(flashB.begin(), flashB.begin() + 15000), Pattern(15000, 4));
}

TEST(Programming, ALineThatDrops) {
  auto descriptors = [] {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dir && ::readdir(dir)) ++count;
    if (dir) ::closedir(dir);
    return count;
  };
  // Dropped in the third block, which the host may still be writing, and while it waits
  // for the first block's acknowledge.
  for (auto [fault, error] :
       {std::pair{"hang-up:0x50:3:70", ""}, {"hang-up:0x50:1:134", "Communications error [265]"}}) {
    Printer printer({}, {fault});
    const int before = descriptors();
    const EngineRun run(Options(printer.Device()), Pattern(1024));
    const std::string text = run.Error();
    EXPECT_TRUE(text == error || (!*error && text == "Communication port error [161]") ||
                (!*error && text == "Communications error [265]"))
        << text;
    ASSERT_GE(run.messages.size(), 2u);
    EXPECT_LT(run.messages.back().when - run.messages.end()[-2].when, 900ms) << "at once, not at a timeout";
    EXPECT_TRUE(printer.Server().HungUp()) << "the printer says so before the line drops";
    printer.Server().Stop();
    EXPECT_EQ(descriptors(), before - 2) << "the run closed its port, the printer its line";
  }
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
  options.microKernelPath = File("micro.bin", std::string(1500, 'u'));
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
