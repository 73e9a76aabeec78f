// Whole programming runs: the engine over the real termios port against the virtual
// printer on a pseudo-terminal, served from a thread of the test.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>
#include <thread>

#include "engine/TermiosSerialPort.h"
#include "sim/PtyServer.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

using sim::Fault;
using sim::FrameRecord;
using sim::PtyServer;
using sim::Target;
using sim::TargetConfig;
using Bytes = std::vector<std::uint8_t>;

const std::string kDir = ZERVIKO_PROGRAM_DIR;

TargetConfig WithFaults(std::initializer_list<const char*> texts, TargetConfig config = {}) {
  for (const char* text : texts) {
    Fault fault;
    std::string error;
    EXPECT_TRUE(sim::ParseFault(text, &fault, &error)) << error;
    config.faults.push_back(fault);
  }
  return config;
}

// A virtual printer serving on its own thread for the life of the object.
class Printer {
 public:
  explicit Printer(TargetConfig config = {}, sim::PtyServerOptions options = {})
      : m_server(std::move(config), std::move(options)) {
    std::string error;
    EXPECT_TRUE(m_server.Start(&error)) << error;
  }
  ~Printer() { m_server.Stop(); }
  const std::string& Device() const { return m_server.DevicePath(); }
  PtyServer& Server() { return m_server; }
  std::vector<FrameRecord> Frames() {
    return m_server.Inspect([](const Target& t) { return t.Frames(); });
  }
  Bytes Flash() {
    return m_server.Inspect([](const Target& t) { return t.Flash(); });
  }
  bool HasFrame(const Bytes& bytes) {
    const auto frames = Frames();
    return std::any_of(frames.begin(), frames.end(),
                       [&](const FrameRecord& f) { return f.bytes == bytes; });
  }
  int CountFramesStartingWith(std::uint8_t command) {
    const auto frames = Frames();
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), [&](const FrameRecord& f) {
      return !f.bytes.empty() && f.bytes[0] == command;
    }));
  }

 private:
  PtyServer m_server;
};

ProgrammingOptions Options(const std::string& port) {
  ProgrammingOptions options;
  options.portName = port;
  options.mainKernelPath = kDir + "Genm2329.cde";
  options.eraseModulePath = kDir + "Gene2329.cde";
  options.writeModulePath = kDir + "Genw2329.cde";
  return options;
}

bool RunEngine(const ProgrammingOptions& options, const Bytes& image, RunRecord& record) {
  return ProgramTarget(options, image.data(), static_cast<std::int32_t>(image.size()),
                       &RunRecord::Callback, &record);
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir)) ++count;
    ::closedir(dir);
  }
  return count;
}

// Every failed run: exactly one level-0 message, and it is the last.
void ExpectFailure(const RunRecord& record, const std::string& text) {
  ASSERT_FALSE(record.messages.empty());
  EXPECT_EQ(record.ErrorCount(), 1);
  EXPECT_EQ(record.messages.back().level, LEVEL_ERROR);
  EXPECT_EQ(record.messages.back().text, text);
}

long Millis(Clock::duration d) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

TEST(ProgrammingTest, ResidentKernelFlowWritesTheImage) {
  Printer printer;
  // Seven pieces: three written, two empty, one written, and a short last one.
  Bytes image = TestImage(6 * 128 + 72);
  std::fill(image.begin() + 3 * 128, image.begin() + 5 * 128, 0xFF);
  RunRecord record;
  ASSERT_TRUE(RunEngine(Options(printer.Device()), image, record)) << record.LastText();

  EXPECT_EQ(record.ErrorCount(), 0);
  EXPECT_EQ(record.LastText(), "Programming complete, please reset target");
  const Bytes flash = printer.Flash();
  ASSERT_GE(flash.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_TRUE(std::all_of(flash.begin() + static_cast<long>(image.size()), flash.end(),
                          [](std::uint8_t b) { return b == 0xFF; }))
      << "every block erased, the last piece padded with 0xFF";

  // The frames on the wire, and the rates they came at.
  const auto frames = printer.Frames();
  const Bytes clockAndBaud{0x3F, 0x07, 0x04, 0x80, 0x08, 0xA4, 0x01, 0x01, 0x00, 0x88};
  auto at = std::find_if(frames.begin(), frames.end(),
                         [&](const FrameRecord& f) { return f.bytes == clockAndBaud; });
  ASSERT_NE(at, frames.end());
  EXPECT_EQ(at->lineRate, 9600);
  ASSERT_NE(at + 1, frames.end());
  EXPECT_EQ((at + 1)->bytes, Bytes{0x06});
  EXPECT_EQ((at + 1)->lineRate, 115200) << "the lone 0x06 goes at the new rate";
  EXPECT_TRUE(printer.HasFrame({0x10, 0x04, '2', '3', '2', '9', 0x1C}));
  EXPECT_TRUE(printer.HasFrame({0x48, 0x01, 0x00, 0xB7}));
  EXPECT_TRUE(printer.HasFrame({0x48, 0x01, 0xFF, 0xB8}));
  EXPECT_TRUE(printer.HasFrame({0x4D}));
  EXPECT_TRUE(printer.HasFrame({0x50, 0xFF, 0xFF, 0xFF, 0xFF, 0xB4}));
  EXPECT_EQ(printer.CountFramesStartingWith(0x48), 1 + 16 + 1) << "module, 16 blocks, end";

  std::vector<std::uint32_t> addresses;
  Bytes lastBlock;
  for (const FrameRecord& f : frames) {
    if (f.bytes.size() != 134 || f.bytes[0] != 0x50) continue;
    addresses.push_back(static_cast<std::uint32_t>(f.bytes[1] << 24 | f.bytes[2] << 16 |
                                                   f.bytes[3] << 8 | f.bytes[4]));
    lastBlock.assign(f.bytes.begin() + 5, f.bytes.end() - 1);
  }
  EXPECT_EQ(addresses, (std::vector<std::uint32_t>{0x000, 0x080, 0x100, 0x280, 0x300}));
  Bytes expectedLast(image.begin() + 0x300, image.end());
  expectedLast.resize(128, 0xFF);
  EXPECT_EQ(lastBlock, expectedLast);

  // Percent: 0 until the first block, each block's offset share, then 100.
  std::vector<std::pair<std::string, int>> blocks;
  for (const Message& m : record.messages)
    if (m.block && m.text.rfind("Writing block", 0) == 0) blocks.push_back({m.text, m.percent});
  const std::vector<std::pair<std::string, int>> expected{
      {"Writing block 0000..007F", 0},  {"Writing block 0080..00FF", 15},
      {"Writing block 0100..017F", 30}, {"Writing block 0280..02FF", 76},
      {"Writing block 0300..037F", 91}};
  EXPECT_EQ(blocks, expected);
  const Message* summary = record.Find("Written 5 blocks, skipped 2 empty blocks");
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(summary->percent, 100);
  for (const Message& m : record.messages) {
    if (&m == summary) break;
    if (m.text.rfind("Writing block", 0) != 0) {
      EXPECT_LE(m.percent, 91) << m.text;
    }
  }
  EXPECT_EQ(record.messages.front().percent, 0);
  EXPECT_EQ(record.messages.back().percent, 100);
}

TEST(ProgrammingTest, AGivenEraseListErasesOnlyThoseBlocks) {
  Printer printer;
  const Bytes before = printer.Flash();
  const Bytes image = TestImage(8 * 1024);
  const std::int32_t blocks[] = {0, 1};
  ProgrammingOptions options = Options(printer.Device());
  options.eraseBlocks = blocks;
  options.eraseBlockCount = 2;
  RunRecord record;
  ASSERT_TRUE(RunEngine(options, image, record)) << record.LastText();
  EXPECT_TRUE(printer.HasFrame({0x48, 0x01, 0x00, 0xB7}));
  EXPECT_TRUE(printer.HasFrame({0x48, 0x01, 0x01, 0xB6}));
  EXPECT_EQ(printer.CountFramesStartingWith(0x48), 1 + 2 + 1);
  EXPECT_EQ(printer.CountFramesStartingWith(0x4D), 0) << "no blank check after a given list";
  EXPECT_EQ(record.Find("Performing a blank check"), nullptr);
  const Bytes flash = printer.Flash();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_TRUE(std::equal(flash.begin() + 0x2000, flash.end(), before.begin() + 0x2000))
      << "blocks outside the list keep their content";
}

TEST(ProgrammingTest, AnEmptyEraseListSendsOnlyTheEndOfErase) {
  TargetConfig config;
  config.blankAtStart = true;
  Printer printer(config);
  static const std::int32_t none = 0;
  ProgrammingOptions options = Options(printer.Device());
  options.eraseBlocks = &none;
  options.eraseBlockCount = 0;
  RunRecord record;
  ASSERT_TRUE(RunEngine(options, TestImage(300), record)) << record.LastText();
  EXPECT_EQ(printer.CountFramesStartingWith(0x48), 2) << "the module load and 48 01 FF B8";
  EXPECT_TRUE(printer.HasFrame({0x48, 0x01, 0xFF, 0xB8}));
  EXPECT_EQ(record.Find("Erasing block 0"), nullptr);
}

TEST(ProgrammingTest, WithoutADeviceNameNothingIsSelected) {
  Printer printer;
  ProgrammingOptions options = Options(printer.Device());
  options.deviceName.reset();
  RunRecord record;
  ASSERT_TRUE(RunEngine(options, TestImage(256), record)) << record.LastText();
  EXPECT_EQ(printer.CountFramesStartingWith(0x10), 0);
  EXPECT_EQ(record.Find("Selecting device"), nullptr);
}

TEST(ProgrammingTest, AnAbortStopsBeforeTheNextBlock) {
  Printer printer;
  const Bytes image = TestImage(4 * 128);
  RunRecord record;
  record.abortAt = [](const Message& m) { return m.text == "Writing block 0080..00FF"; };
  ASSERT_FALSE(RunEngine(Options(printer.Device()), image, record));
  ExpectFailure(record, "Programming aborted");
  EXPECT_EQ(record.messages.back().percent, 25);
  const Bytes flash = printer.Flash();
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 256, flash.begin()))
      << "the block of the message is still written";
  EXPECT_TRUE(std::all_of(flash.begin() + 256, flash.begin() + 512,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_FALSE(printer.HasFrame({0x50, 0xFF, 0xFF, 0xFF, 0xFF, 0xB4}));
}

TEST(ProgrammingTest, APacedPrinterTakesTheLinesTime) {
  TargetConfig config;
  config.eraseTime = std::chrono::milliseconds(2);
  config.writeTime = std::chrono::milliseconds(1);
  sim::PtyServerOptions options;
  options.pace = true;
  Printer printer(config, options);
  RunRecord record;
  const auto start = Clock::now();
  ASSERT_TRUE(RunEngine(Options(printer.Device()), TestImage(2048), record)) << record.LastText();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double line = printer.Server().LineSeconds();
  const double processing = printer.Server().ProcessingSeconds();
  // Bytes to the printer and back, 11 bits each, almost all at 115200 bps.
  const auto bytes = printer.Server().Inspect(
      [](const Target& t) { return t.BytesReceived() + t.BytesSent(); });
  EXPECT_GT(line, bytes * 11.0 / 115200);
  EXPECT_LT(line, bytes * 11.0 / 9600);
  EXPECT_DOUBLE_EQ(processing, 16 * 0.002 + 16 * 0.001);
  EXPECT_GT(wall, 0.9 * (line + processing)) << "never faster than the line";
}

TEST(ProgrammingTest, TwoRunsInARow) {
  Printer printer;
  for (int run = 0; run < 2; ++run) {
    const Bytes image = TestImage(1000, 10 + run);
    RunRecord record;
    ASSERT_TRUE(RunEngine(Options(printer.Device()), image, record)) << run << ": " << record.LastText();
    EXPECT_EQ(record.messages.front().percent, 0);
    const Bytes flash = printer.Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin())) << run;
  }
}

TEST(ProgrammingTest, TwoPrintersAtOnce) {
  Printer first;
  Printer second;
  const Bytes imageA = TestImage(20000, 3);
  const Bytes imageB = TestImage(15000, 4);
  RunRecord recordA, recordB;
  bool okA = false, okB = false;
  std::thread a([&] { okA = RunEngine(Options(first.Device()), imageA, recordA); });
  std::thread b([&] { okB = RunEngine(Options(second.Device()), imageB, recordB); });
  a.join();
  b.join();
  EXPECT_TRUE(okA) << recordA.LastText();
  EXPECT_TRUE(okB) << recordB.LastText();
  const Bytes flashA = first.Flash();
  const Bytes flashB = second.Flash();
  EXPECT_TRUE(std::equal(imageA.begin(), imageA.end(), flashA.begin()));
  EXPECT_TRUE(std::equal(imageB.begin(), imageB.end(), flashB.begin()));
}

// Each kernel error reply, here to the device selection frame.
struct ErrorCase {
  int code;
  const char* text;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.text; }

class KernelErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(KernelErrorTest, TheKernelsComplaintEndsTheRun) {
  const std::string fault = "error:0x10:" + std::to_string(GetParam().code);
  Printer printer(WithFaults({fault.c_str()}));
  RunRecord record;
  EXPECT_FALSE(RunEngine(Options(printer.Device()), TestImage(256), record));
  ExpectFailure(record, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, KernelErrorTest,
    ::testing::Values(ErrorCase{0x11, "Error, kernel says: SUM_ERROR"},
                      ErrorCase{0x12, "Error, kernel says: PRG_SIZE_ERROR"},
                      ErrorCase{0x21, "Error, kernel says: DEVICE_CODE_ERROR"},
                      ErrorCase{0x22, "Error, kernel says: CLOCK_MODE_DISAGREEMENT"},
                      ErrorCase{0x23, "Error, kernel says: CLOCK_MODE_NEEDLESSNESS"},
                      ErrorCase{0x24, "Error, kernel says: BAUD_RATE_ERROR"},
                      ErrorCase{0x25, "Error, kernel says: INPUT_CLOCK_ERROR"},
                      ErrorCase{0x26, "Error, kernel says: RATIO_ERROR"},
                      ErrorCase{0x27, "Error, kernel says: FREQUENCY_ERROR"},
                      ErrorCase{0x28, "Error, kernel says: WRITE_ADDRESS_ERROR"},
                      ErrorCase{0x29, "Error, kernel says: ERASE_BLOCK_NO_ERROR"},
                      ErrorCase{0x2A, "Error, kernel says: READ_ADDRESS_ERROR"},
                      ErrorCase{0x2B, "Error, kernel says: READ_LENGTH_ERROR"},
                      ErrorCase{0x51, "Error, kernel says: ERASE_ERROR"},
                      ErrorCase{0x52, "Error, kernel says: NOT_ERASE_ERROR"},
                      ErrorCase{0x53, "Error, kernel says: WRITE_ERROR"},
                      ErrorCase{0x80, "Error, kernel says: COMMAND_ERROR"},
                      ErrorCase{0x99, "Target reports unknown error"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) {
      char name[16];
      std::snprintf(name, sizeof name, "Code%02X", info.param.code);
      return std::string(name);
    });

TEST(ProgrammingTest, ErrorRepliesFromEachStage) {
  const struct {
    const char* fault;
    const char* text;
  } cases[] = {
      {"error:0x3F:0x24", "Error, kernel says: BAUD_RATE_ERROR"},
      {"error:0x40:0x12", "Error, kernel says: PRG_SIZE_ERROR"},
      {"error:0x48:0x51:2", "Error, kernel says: ERASE_ERROR"},
      {"error:0x4D:0x52", "Error, kernel says: NOT_ERASE_ERROR"},
      {"error:0x43:0x80", "Error, kernel says: COMMAND_ERROR"},
      {"error:0x50:0x53:2", "Error, kernel says: WRITE_ERROR"},
      {"error:0x20:0x80", "Incomprehensible reply from target"},
  };
  for (const auto& c : cases) {
    Printer printer(WithFaults({c.fault}));
    RunRecord record;
    EXPECT_FALSE(RunEngine(Options(printer.Device()), TestImage(512), record)) << c.fault;
    ExpectFailure(record, c.text);
  }
}

// Silence after each kind of command, and the protocol's time to notice it.
struct SilenceCase {
  const char* fault;
  const char* before;  // the message reported just before the command goes out
  const char* text;
  long timeoutMs;
};

void PrintTo(const SilenceCase& c, std::ostream* os) { *os << c.fault; }

class SilenceTest : public ::testing::TestWithParam<SilenceCase> {};

TEST_P(SilenceTest, TheRunEndsAfterTheCommandsTimeout) {
  const SilenceCase& c = GetParam();
  Printer printer(WithFaults({c.fault}));
  RunRecord record;
  EXPECT_FALSE(RunEngine(Options(printer.Device()), TestImage(256), record));
  ExpectFailure(record, c.text);
  ASSERT_GE(record.messages.size(), 2u);
  const Message& before = record.messages[record.messages.size() - 2];
  EXPECT_EQ(before.text.rfind(c.before, 0), 0u) << before.text;
  const long waited = Millis(record.messages.back().when - before.when);
  EXPECT_GE(waited, c.timeoutMs);
  EXPECT_LT(waited, c.timeoutMs + 400);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SilenceTest,
    ::testing::Values(
        SilenceCase{"silent:0x3F", "Setting baud rate", "No acknowledge from target", 200},
        SilenceCase{"silent:0x20", "Reading supported device list",
                    "Incomprehensible reply from target", 100},
        SilenceCase{"silent:0x10", "Selecting device", "No acknowledge from target", 100},
        SilenceCase{"silent:0x26", "Reading erase block list from target",
                    "Incomprehensible reply from target", 100},
        SilenceCase{"silent:0x40", "Loading main kernel", "No acknowledge from target", 100},
        SilenceCase{"silent:0x4D", "Performing a blank check", "No acknowledge from target", 100},
        SilenceCase{"silent:0x43", "Loading EEPROM write module", "No acknowledge from target",
                    100},
        SilenceCase{"silent:0x50", "Writing block 0000..007F", "No acknowledge from target",
                    1000},
        // The one real ten-second wait of the suite: a block erase that never ends.
        SilenceCase{"silent:0x48:2", "Erasing block 0", "No acknowledge from target", 10000}),
    [](const ::testing::TestParamInfo<SilenceCase>& info) {
      std::string name = info.param.fault;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(ProgrammingTest, BrokenInquiryReplies) {
  const struct {
    const char* fault;
    const char* text;
  } cases[] = {
      {"cut:0x20:1", "Incomprehensible reply from target"},
      {"cut:0x20:6", "Incomplete reply from target"},
      {"bad-checksum:0x20", "Checksum error"},
      {"cut:0x26:2", "Incomprehensible reply from target"},
      {"cut:0x26:3", "Incomplete reply from target"},
      {"cut:0x26:132", "Incomplete reply from target"},
      {"bad-checksum:0x26", "Checksum error"},
      {"cut:0x3F:0", "No acknowledge from target"},
  };
  for (const auto& c : cases) {
    Printer printer(WithFaults({c.fault}));
    RunRecord record;
    EXPECT_FALSE(RunEngine(Options(printer.Device()), TestImage(256), record)) << c.fault;
    ExpectFailure(record, c.text);
  }
}

TEST(ProgrammingTest, APortThatCannotBeOpened) {
  RunRecord record;
  EXPECT_FALSE(RunEngine(Options("/nonexistent/ttyZERVIKO"), TestImage(10), record));
  ASSERT_EQ(record.messages.size(), 1u);
  ExpectFailure(record, "Can't open /nonexistent/ttyZERVIKO");

  Printer printer;
  TermiosSerialPort holder;
  ASSERT_TRUE(holder.Open(printer.Device()));
  RunRecord busy;
  EXPECT_FALSE(RunEngine(Options(printer.Device()), TestImage(10), busy));
  ASSERT_EQ(busy.messages.size(), 1u);
  ExpectFailure(busy, "Can't open " + printer.Device());
}

TEST(ProgrammingTest, KernelFilesTheTargetCannotTake) {
  TempDir dir;
  {
    // Missing: the load command has been acknowledged before the file is opened.
    Printer printer;
    ProgrammingOptions options = Options(printer.Device());
    options.eraseModulePath = dir.File("Gene2329.cde");
    RunRecord record;
    EXPECT_FALSE(RunEngine(options, TestImage(10), record));
    ExpectFailure(record, "Can't open " + options.eraseModulePath);
    EXPECT_EQ(printer.Server().Inspect([](const Target& t) { return t.FrameInProgress(); }),
              Bytes{0x48});
  }
  {
    // The erase module where the main kernel belongs.
    Printer printer;
    ProgrammingOptions options = Options(printer.Device());
    options.mainKernelPath = kDir + "Gene2329.cde";
    RunRecord record;
    EXPECT_FALSE(RunEngine(options, TestImage(10), record));
    ExpectFailure(record, "Error, kernel says: SUM_ERROR");
  }
  {
    // A module too large for the target's memory is refused right after its size.
    Bytes big(0x10001, 'x');
    WriteFile(dir.File("big.cde"), big);
    Printer printer;
    ProgrammingOptions options = Options(printer.Device());
    options.mainKernelPath = dir.File("big.cde");
    RunRecord record;
    EXPECT_FALSE(RunEngine(options, TestImage(10), record));
    ExpectFailure(record, "Error, kernel says: PRG_SIZE_ERROR");
    EXPECT_EQ(record.Find("Sending checksum"), nullptr) << "stopped within the file";
  }
}

TEST(ProgrammingTest, TheFlashRefusesBadWrites) {
  {
    // Block 0 was not erased: the old firmware is still there.
    Printer printer;
    const std::int32_t blocks[] = {1};
    ProgrammingOptions options = Options(printer.Device());
    options.eraseBlocks = blocks;
    options.eraseBlockCount = 1;
    RunRecord record;
    EXPECT_FALSE(RunEngine(options, TestImage(256), record));
    ExpectFailure(record, "Error, kernel says: NOT_ERASE_ERROR");
  }
  {
    // The second block lies past the end of the 512 KiB flash.
    Printer printer;
    ProgrammingOptions options = Options(printer.Device());
    options.startAddress = 0x7FF80;
    RunRecord record;
    EXPECT_FALSE(RunEngine(options, TestImage(256), record));
    ExpectFailure(record, "Error, kernel says: WRITE_ADDRESS_ERROR");
    EXPECT_NE(record.Find("Writing block 80000..8007F"), nullptr);
  }
  {
    // A block that keeps its content through the erase fails the blank check.
    TargetConfig config;
    config.stuckBlocks = {3};
    Printer printer(config);
    RunRecord record;
    EXPECT_FALSE(RunEngine(Options(printer.Device()), TestImage(256), record));
    ExpectFailure(record, "Error, kernel says: NOT_ERASE_ERROR");
    EXPECT_EQ(record.messages[record.messages.size() - 2].text, "Performing a blank check");
  }
  {
    // An erase block number the target does not have.
    Printer printer;
    const std::int32_t blocks[] = {16};
    ProgrammingOptions options = Options(printer.Device());
    options.eraseBlocks = blocks;
    options.eraseBlockCount = 1;
    RunRecord record;
    EXPECT_FALSE(RunEngine(options, TestImage(256), record));
    ExpectFailure(record, "Erase block 16 out of range");
  }
}

TEST(ProgrammingTest, AHangUpInTheMiddleOfAWrite) {
  Printer printer(WithFaults({"hang-up:0x50:3:70"}));
  const int descriptors = OpenDescriptors();
  RunRecord record;
  const auto start = Clock::now();
  EXPECT_FALSE(RunEngine(Options(printer.Device()), TestImage(1024), record));
  EXPECT_LT(Millis(Clock::now() - start), 3000) << "nothing hangs";
  EXPECT_TRUE(printer.Server().HungUp());
  EXPECT_EQ(record.ErrorCount(), 1);
  EXPECT_EQ(record.messages.back().level, LEVEL_ERROR);
  EXPECT_NE(record.Find("Writing block 0100..017F"), nullptr);
  EXPECT_EQ(record.Find("Writing block 0180..01FF"), nullptr);
  printer.Server().Stop();
  EXPECT_EQ(OpenDescriptors(), descriptors - 2) << "the run closed its port, the printer its line";
}

TEST(ProgrammingTest, AHangUpWhileWaitingForAnAcknowledge) {
  Printer printer(WithFaults({"hang-up:0x50:1:134"}));
  RunRecord record;
  const auto start = Clock::now();
  EXPECT_FALSE(RunEngine(Options(printer.Device()), TestImage(256), record));
  EXPECT_LT(Millis(Clock::now() - start), 900) << "noticed before the 1000 ms timeout";
  EXPECT_EQ(record.ErrorCount(), 1);
  EXPECT_EQ(record.messages.back().text, "Communications error [265]");
}

}  // namespace
}  // namespace zerviko::e2e
