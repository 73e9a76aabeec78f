// Module loads into a running kernel, and the boot program's synchronisation and
// echoed micro-kernel download.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/engine/Harness.h"

namespace zerviko::test {
namespace {

using Op = ScriptedPort::Op;

class Download : public ::testing::Test {
 protected:
  ScriptedPort port;
  FakeKernel kernel{port};
  Recorder recorder;
  TempDir dir;
  ProgrammingOptions options;
  ProgrammingRun run{options, nullptr, 0, &Recorder::Callback, &recorder, port, port};

  std::string File(const std::vector<std::uint8_t>& bytes) { return dir.Write("module.cde", bytes); }
  std::size_t WrittenAfterSync() const {
    auto it = std::find(port.written.begin(), port.written.end(), 0x55);
    return static_cast<std::size_t>(port.written.end() - it) - 1;
  }
};

TEST_F(Download, ModuleGoesOutAsCommandSizeBytesAndChecksum) {
  const auto module = Bytes(300, 0xF0, 7);
  ASSERT_TRUE(run.LoadKernelModule(File(module), 0x40));

  std::vector<std::uint8_t> expected{0x40, 0x00, 0x00, 0x01, 0x2C};
  expected.insert(expected.end(), module.begin(), module.end());
  unsigned sum = 0x01 + 0x2C;
  for (auto b : module) sum += b;
  expected.push_back(static_cast<std::uint8_t>(256 - sum % 256));
  EXPECT_EQ(port.written, expected);
  EXPECT_EQ(kernel.modules[0x40], module);
  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"Sending image size", "Sending image",
                                                        "Sending checksum", "Waiting for acknowledge"}));
  for (const auto& m : recorder.messages) EXPECT_EQ(m.level, LEVEL_STEP);

  // 100 ms for the command, then a poll without waiting after every byte, then 3000 ms.
  const auto timeouts = port.EventsOf(Op::SetReadTimeout);
  EXPECT_EQ(timeouts.front().value, 100);
  EXPECT_EQ(timeouts.back().value, 3000);
  EXPECT_EQ(static_cast<std::size_t>(std::count_if(timeouts.begin(), timeouts.end(),
                                                   [](const auto& e) { return e.value == 0; })),
            1 + 1 + module.size());
}

TEST_F(Download, EmptyModuleAndTheFinalAcknowledgeWindow) {
  kernel.answer = [](const Frame& f) -> std::optional<Answer> {
    if (f.kind == "module") return Answer{{0x06}, 2500};
    return std::nullopt;
  };
  ASSERT_TRUE(run.LoadKernelModule(File({}), 0x43));
  EXPECT_EQ(port.written, (std::vector<std::uint8_t>{0x43, 0, 0, 0, 0, 0}));

  ScriptedPort p;
  FakeKernel k(p);
  k.answer = [](const Frame& f) -> std::optional<Answer> {
    if (f.kind == "module") return Answer{{0x06}, 3001};
    return std::nullopt;
  };
  Recorder r;
  ProgrammingRun late(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  EXPECT_FALSE(late.LoadKernelModule(File(Bytes(10)), 0x43));
  EXPECT_EQ(r.Error(), "No acknowledge from target");
}

TEST_F(Download, AnEarlyErrorReplyStopsTheModuleAfterThatByte) {
  kernel.moduleBreak = FakeKernel::ModuleBreak{0x40, 10, {0xC0, 0x12}};
  EXPECT_FALSE(run.LoadKernelModule(File(Bytes(300)), 0x40));
  EXPECT_EQ(recorder.Error(), "Error, kernel says: PRG_SIZE_ERROR");
  EXPECT_EQ(port.written.size(), 1u + 11u);

  // Refused on its size: no "Sending image" at all.
  ScriptedPort p;
  FakeKernel k(p);
  k.moduleBreak = FakeKernel::ModuleBreak{0x48, 3, {0xC8, 0x12}};
  Recorder r;
  ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  EXPECT_FALSE(run2.LoadKernelModule(File(Bytes(300)), 0x48));
  EXPECT_EQ(r.Texts(), (std::vector<std::string>{"Sending image size", "Error, kernel says: PRG_SIZE_ERROR"}));
  EXPECT_EQ(p.written.size(), 5u);
}

TEST_F(Download, AMissingModuleIsReportedAfterItsCommandWasAcknowledged) {
  const std::string missing = (dir.Path() / "Genw2329.cde").string();
  EXPECT_FALSE(run.LoadKernelModule(missing, 0x43));
  EXPECT_EQ(recorder.Error(), "Can't open " + missing);
  EXPECT_EQ(port.written, std::vector<std::uint8_t>{0x43});
  EXPECT_EQ(kernel.frames.size(), 1u);

  ScriptedPort p;
  FakeKernel k(p);
  Recorder r;
  ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  EXPECT_FALSE(run2.LoadKernelModule(dir.Path().string(), 0x40)) << "a folder is not a module";
  EXPECT_EQ(r.Error(), "Can't open " + dir.Path().string());
}

TEST_F(Download, ModuleLoadFailuresOfThePortAndTheKernel) {
  struct Case {
    Op op;
    int nth;
    const char* error;
  };
  for (const Case& c : {Case{Op::WriteByte, 1, "Communication port error [161]"},
                        Case{Op::WriteByte, 7, "Communication port error [161]"},
                        Case{Op::SetReadTimeout, 2, "Communication port error [382]"},
                        Case{Op::SetReadTimeout, 3, "Communication port error [252]"},
                        Case{Op::Read, 2, "Communications error [253]"}}) {
    ScriptedPort p;
    FakeKernel k(p);
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    p.FailOn(c.op, c.nth);
    EXPECT_FALSE(run2.LoadKernelModule(File(Bytes(20)), 0x40));
    EXPECT_EQ(r.Error(), c.error);
  }
  kernel.answer = [](const Frame&) -> std::optional<Answer> { return Answer{{0xC0, 0x80}}; };
  EXPECT_FALSE(run.LoadKernelModule(File(Bytes(20)), 0x40));
  EXPECT_EQ(recorder.Error(), "Error, kernel says: COMMAND_ERROR");
  EXPECT_EQ(port.written.size(), 1u);
}

class BootProgram : public Download {
 protected:
  BootProgram() { kernel.StartInBootProgram(); }
  bool Load(const std::vector<std::uint8_t>& bytes, std::int32_t baud = 9600) {
    return run.DownloadMicroKernel(File(bytes), baud);
  }
};

TEST_F(BootProgram, SynchronisesWithZerosThenDownloadsWithEchoes) {
  const auto micro = Bytes(1000, 3, 5);
  ASSERT_TRUE(Load(micro, 19200));
  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"Resetting target in boot mode", "Synching at 19200 baud",
                                                        "Downloading image"}));
  EXPECT_EQ(port.baud, 19200);
  EXPECT_EQ(port.settings,
            "baud=9600 parity=n data=8 stop=2 xon=off odsr=off octs=off idsr=off dtr=off rts=off");
  std::vector<std::uint8_t> expected(5, 0x00);
  expected.push_back(0x55);
  expected.push_back(0x03);
  expected.push_back(0xE8);
  expected.insert(expected.end(), micro.begin(), micro.end());
  EXPECT_EQ(port.written, expected);
  EXPECT_EQ(kernel.microKernel, micro);
  EXPECT_EQ(port.Pending(), 0u) << "every echo and the final answer consumed";
  // No pause of their own between the zeros: the first sleep-free stretch.
  for (const auto& e : port.EventsOf(Op::Sleep)) EXPECT_EQ(e.written, 0u);
}

TEST_F(BootProgram, KeepsUpToAHundredBytesInFlightAndChecksEveryEcho) {
  kernel.echoDelayMs = 300;  // longer than 100 bytes take at 9600 bps
  const auto micro = Bytes(500, 1, 3);
  ASSERT_TRUE(Load(micro));
  EXPECT_EQ(kernel.maxUnechoed, 100u);
  const auto timeouts = port.EventsOf(Op::SetReadTimeout);
  EXPECT_TRUE(std::any_of(timeouts.begin(), timeouts.end(), [](const auto& e) { return e.value == 200; }));
  EXPECT_EQ(kernel.microKernel, micro);
}

TEST_F(BootProgram, AnEmptyMicroKernelSendsOnlyItsSize) {
  ASSERT_TRUE(Load({}));
  EXPECT_EQ(WrittenAfterSync(), 2u);
  EXPECT_EQ(port.written.back(), 0x00);
  EXPECT_EQ(port.Pending(), 0u);
}

TEST_F(BootProgram, SizeLimitIs65535AndIsCheckedBeforeTheTargetIsTouched) {
  ASSERT_TRUE(Load(std::vector<std::uint8_t>(65535, 0x5A)));
  EXPECT_EQ(kernel.microKernel.size(), 65535u);

  ScriptedPort p;
  Recorder r;
  ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  const std::string big = dir.Write("big.cde", std::vector<std::uint8_t>(65536, 0x5A));
  EXPECT_FALSE(run2.DownloadMicroKernel(big, 9600));
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Image " + big + " is longer than 65535"});
  EXPECT_TRUE(p.events.empty());
  EXPECT_TRUE(p.written.empty());

  const std::string missing = (dir.Path() / "none.cde").string();
  EXPECT_FALSE(run2.DownloadMicroKernel(missing, 9600));
  EXPECT_EQ(r.messages.back().text, "Can't open " + missing);
  EXPECT_TRUE(p.events.empty());
}

TEST_F(BootProgram, ASilentTargetGivesNoReplyAtTheEndOfTheWindow) {
  // A restart by hand leaves the lines alone and gives a person thirty seconds.
  const struct {
    ResetMethod reset;
    double windowMs;
    const char* first;
  } rows[] = {{ResetMethod::ModemLines, 2000, "Resetting target in boot mode"},
              {ResetMethod::Manual, 30000, PROMPT_BOOT_MODE}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    ScriptedPort p;
    FakeKernel k(p);
    k.StartInBootProgram();
    k.syncZeros = 1 << 30;
    options.resetMethod = row.reset;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    EXPECT_FALSE(run2.DownloadMicroKernel(File(Bytes(10)), 9600));
    EXPECT_EQ(r.Texts(), (std::vector<std::string>{row.first, "Synching at 9600 baud", "No reply from target"}));
    const double firstZero = p.EventsOf(Op::SetReadTimeout).front().at;
    EXPECT_GE(p.now - firstZero, row.windowMs);
    EXPECT_LT(p.now - firstZero, row.windowMs + 2 * 11000.0 / 9600);
    // Back to back at line speed: about 1746 zeros in two seconds at 9600 bps.
    EXPECT_NEAR(static_cast<double>(p.written.size()), row.windowMs / (11000.0 / 9600), 2);
    // Input is still discarded before the first zero; the lines move only when asked to.
    ASSERT_EQ(p.EventsOf(Op::PurgeInput).size(), 1u);
    EXPECT_EQ(p.EventsOf(Op::PurgeInput).front().written, 0u);
    EXPECT_EQ(p.EventsOf(Op::SetRts).empty(), row.reset == ResetMethod::Manual);
  }
}

TEST_F(BootProgram, WrongAnswersOfTheBootProgram) {
  struct Case {
    std::uint8_t sync, proceed, done;
    const char* error;
  };
  for (const Case& c : {Case{0x7F, 0xAA, 0xAA, "Bad reply from target, 0x7F instead of 0x00"},
                        Case{0x00, 0xFF, 0xAA, "Erase error"},
                        Case{0x00, 0x12, 0xAA, "Bad reply from target"},
                        Case{0x00, 0xAA, 0xFF, "Erase error"},
                        Case{0x00, 0xAA, 0x00, "No download acknowledge from target"}}) {
    ScriptedPort p;
    FakeKernel k(p);
    k.StartInBootProgram();
    k.syncAnswer = c.sync;
    k.proceedAnswer = c.proceed;
    k.downloadAnswer = c.done;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    EXPECT_FALSE(run2.DownloadMicroKernel(File(Bytes(30)), 9600));
    EXPECT_EQ(r.Error(), c.error);
  }
}

TEST_F(BootProgram, BadAndMissingEchoes) {
  kernel.echoOf = [](std::size_t, std::uint8_t b) { return b == 0x34 ? std::uint8_t{0x12} : b; };
  EXPECT_FALSE(Load({0x01, 0x34, 0x02}));
  EXPECT_EQ(recorder.Error(), "Bad echo from target, 0x12 instead of 0x34");

  struct Case {
    bool echoes;
    double delay;
    std::function<std::uint8_t(std::size_t, std::uint8_t)> echoOf;
    std::size_t size;
    const char* error;
    std::size_t sentAfterSync;
  };
  const Case cases[] = {
      {true, 0, [](std::size_t, std::uint8_t b) { return b == 0xE5 ? std::uint8_t{0x9C} : b; }, 300,
       "Bad echo from target, 0x9C instead of 0xE5", 0},
      // The 100th byte finds the ring full and waits 200 ms for an echo that never comes.
      {false, 0, nullptr, 300, "Echo timeout", 100},
      // Late echoes are checked while draining.
      {true, 150, [](std::size_t i, std::uint8_t b) { return i == 21 ? std::uint8_t(b ^ 1) : b; }, 20,
       "Communications error [217]", 22},
      {false, 0, nullptr, 20, "Communications error [216]", 22},
  };
  for (const Case& c : cases) {
    ScriptedPort p;
    FakeKernel k(p);
    k.StartInBootProgram();
    k.echoes = c.echoes;
    k.echoDelayMs = c.delay;
    k.echoOf = c.echoOf;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    EXPECT_FALSE(run2.DownloadMicroKernel(File(Bytes(c.size, 0xE0)), 9600));
    EXPECT_EQ(r.Error(), c.error);
    if (c.sentAfterSync != 0) {
      auto it = std::find(p.written.begin(), p.written.end(), 0x55);
      EXPECT_EQ(static_cast<std::size_t>(p.written.end() - it) - 1, c.sentAfterSync) << c.error;
    }
  }
}

TEST_F(BootProgram, EchoTimeoutWaits200ms) {
  kernel.echoes = false;
  EXPECT_FALSE(Load(Bytes(300)));
  EXPECT_EQ(recorder.Error(), "Echo timeout");
  EXPECT_DOUBLE_EQ(port.now - port.EventsOf(Op::SetReadTimeout).back().at, 200);

  // The same wait for each echo while draining.
  ScriptedPort p;
  FakeKernel k(p);
  k.StartInBootProgram();
  k.echoes = false;
  Recorder r;
  ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  EXPECT_FALSE(run2.DownloadMicroKernel(File(Bytes(20)), 9600));
  EXPECT_EQ(r.Error(), "Communications error [216]");
  EXPECT_EQ(p.EventsOf(Op::SetReadTimeout).back().value, 200);
  EXPECT_DOUBLE_EQ(p.now - p.EventsOf(Op::SetReadTimeout).back().at, 200);
}

TEST_F(BootProgram, NumberedMessagesOfTheBootEntry) {
  struct Case {
    Op op;
    int nth;
    std::size_t size;
    double echoDelay;
    bool echoes;
    const char* error;
  };
  // SetReadTimeout calls: 1 sync (0), 2 answer to 0x55 (10000), then one per echoed
  // byte (0, or 200 when the ring is full), then the drain (200), then 10000.
  for (const Case& c : {Case{Op::SetRts, 1, 5, 0, true, "Communication port error [296]"},
                        Case{Op::SetDtr, 1, 5, 0, true, "Communication port error [296]"},
                        Case{Op::PurgeInput, 1, 5, 0, true, "Communication port error [296]"},
                        Case{Op::Configure, 1, 5, 0, true, "Syncronization baud rate not supported by host"},
                        Case{Op::SetBaudRate, 1, 5, 0, true, "Syncronization baud rate not supported by host"},
                        Case{Op::SetReadTimeout, 1, 5, 0, true, "Communication port error [301]"},
                        Case{Op::WriteByte, 3, 5, 0, true, "Communication port error [310]"},
                        Case{Op::Read, 2, 5, 0, true, "Communications error [313]"},
                        Case{Op::WriteByte, 6, 5, 0, true, "Communications error [321]"},
                        Case{Op::SetReadTimeout, 2, 5, 0, true, "Communication port error [322]"},
                        Case{Op::ReadByte, 1, 5, 0, true, "Communications error [323]"},
                        Case{Op::WriteByte, 8, 5, 0, true, "Communication port error [185]"},
                        Case{Op::SetReadTimeout, 3, 5, 0, true, "Communication port error [195]"},
                        Case{Op::Read, 6, 5, 0, true, "Communications error [196]"},
                        Case{Op::SetReadTimeout, 102, 300, 0, false, "Communication port error [191]"},
                        Case{Op::ReadByte, 2, 300, 0, false, "Echo timeout"},
                        Case{Op::SetReadTimeout, 10, 5, 0, true, "Communication port error [211]"},
                        Case{Op::ReadByte, 2, 5, 300, true, "Communications error [216]"},
                        Case{Op::SetReadTimeout, 11, 5, 0, true, "Communication port error [345]"},
                        Case{Op::ReadByte, 2, 5, 0, true, "Communications error [346]"}}) {
    ScriptedPort p;
    FakeKernel k(p);
    k.StartInBootProgram();
    k.echoDelayMs = c.echoDelay;
    k.echoes = c.echoes;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    p.FailOn(c.op, c.nth);
    EXPECT_FALSE(run2.DownloadMicroKernel(File(Bytes(c.size)), 9600)) << c.error;
    EXPECT_EQ(r.Error(), c.error);
  }
}

TEST_F(BootProgram, EachAnswerOfTheBootProgramMayTakeUpToTenSeconds) {
  kernel.proceedDelayMs = 9999;
  kernel.downloadDelayMs = 9999;
  ASSERT_TRUE(Load(Bytes(4)));

  for (bool proceed : {true, false}) {
    ScriptedPort p;
    FakeKernel k(p);
    k.StartInBootProgram();
    (proceed ? k.proceedDelayMs : k.downloadDelayMs) = 10001;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    EXPECT_FALSE(run2.DownloadMicroKernel(File(Bytes(4)), 9600));
    EXPECT_EQ(r.Error(), proceed ? "Communications error [323]" : "Communications error [346]");
    EXPECT_DOUBLE_EQ(p.now - p.EventsOf(Op::SetReadTimeout).back().at, 10000);
  }
}

}  // namespace
}  // namespace zerviko::test
