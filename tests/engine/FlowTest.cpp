// Whole runs: the two flows end to end, the run's lifecycle and its reporting.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/engine/Harness.h"

namespace zerviko::test {
namespace {

using Op = ScriptedPort::Op;

std::vector<std::uint8_t> Summed(std::vector<std::uint8_t> frame) {
  unsigned sum = 0;
  for (std::uint8_t b : frame) sum += b;
  frame.push_back(static_cast<std::uint8_t>(256 - sum % 256));
  return frame;
}

void Append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> ModuleBytes(std::uint8_t command, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> body{0, 0, static_cast<std::uint8_t>(data.size() >> 8),
                                 static_cast<std::uint8_t>(data.size())};
  Append(body, data);
  body = Summed(body);
  body.insert(body.begin(), command);
  return body;
}

std::vector<Message> ModuleMessages(const std::string& stage) {
  return {{0, 1, 0, stage},
          {0, 2, 0, "Sending image size"},
          {0, 2, 0, "Sending image"},
          {0, 2, 0, "Sending checksum"},
          {0, 2, 0, "Waiting for acknowledge"}};
}

TEST(ResidentKernelFlow, ReportsEveryStageStepAndDetailWithLevelsPercentAndBlockFlags) {
  Harness h;
  ASSERT_TRUE(h.Run(Bytes(200, 1)));

  std::vector<Message> expected = {
      {0, 1, 0, "Setting baud rate"},
      {0, 2, 0, "Baud rate set to 115200 bps"},
      {0, 2, 0, "Device clock set to 22.12 MHz"},
      {0, 1, 0, "Reading supported device list"},
      {0, 2, 0, "This kernel supports 2 devices"},
      {0, 3, 0, "Device ZV2329, code 2329"},
      {0, 3, 0, "Device ZV2330, code 2330"},
      {0, 1, 0, "Selecting device"},
      {0, 2, 0, "Selected device ZV2329, code 2329"},
      {0, 1, 0, "Reading erase block list from target"},
      {0, 2, 0, "There are 2 erase blocks"},
      {0, 3, 0, "Block 0: 0x00000000..0x00000FFF, 4K bytes"},
      {0, 3, 0, "Block 1: 0x00001000..0x00001FFF, 4K bytes"},
  };
  for (auto m : ModuleMessages("Loading main kernel " + h.options.mainKernelPath)) expected.push_back(m);
  for (auto m : ModuleMessages("Loading EEPROM erase module " + h.options.eraseModulePath)) expected.push_back(m);
  expected.push_back({0, 1, 0, "Erasing target EEPROM"});
  expected.push_back({0, 1, 1, "Erasing block 0"});
  expected.push_back({0, 1, 1, "Erasing block 1"});
  expected.push_back({0, 1, 0, "Performing a blank check"});
  for (auto m : ModuleMessages("Loading EEPROM write module " + h.options.writeModulePath)) expected.push_back(m);
  expected.push_back({0, 1, 0, "Writing image to the EEPROM"});
  expected.push_back({0, 1, 1, "Writing block 0000..007F"});
  expected.push_back({64, 1, 1, "Writing block 0080..00FF"});
  expected.push_back({100, 2, 0, "Written 2 blocks, skipped 0 empty blocks"});
  expected.push_back({100, 1, 0, "Programming complete, please reset target"});
  EXPECT_EQ(h.recorder.messages, expected);
}

TEST(ResidentKernelFlow, PutsExactlyTheseBytesOnTheLine) {
  Harness h;
  const auto image = Bytes(200, 1);
  ASSERT_TRUE(h.Run(image));

  std::vector<std::uint8_t> wire;
  Append(wire, {0x3F, 0x07, 0x04, 0x80, 0x08, 0xA4, 0x01, 0x01, 0x00, 0x88, 0x06});
  Append(wire, {0x20});
  Append(wire, Summed({0x10, 0x04, '2', '3', '2', '9'}));
  Append(wire, {0x26});
  Append(wire, ModuleBytes(0x40, h.mainKernel));
  Append(wire, ModuleBytes(0x48, h.eraseModule));
  Append(wire, {0x48, 0x01, 0x00, 0xB7, 0x48, 0x01, 0x01, 0xB6, 0x48, 0x01, 0xFF, 0xB8});
  Append(wire, {0x4D});
  Append(wire, ModuleBytes(0x43, h.writeModule));
  std::vector<std::uint8_t> first{0x50, 0, 0, 0, 0};
  Append(first, std::vector<std::uint8_t>(image.begin(), image.begin() + 128));
  Append(wire, Summed(first));
  std::vector<std::uint8_t> second{0x50, 0, 0, 0, 0x80};
  Append(second, std::vector<std::uint8_t>(image.begin() + 128, image.end()));
  Append(second, std::vector<std::uint8_t>(56, 0xFF));
  Append(wire, Summed(second));
  Append(wire, {0x50, 0xFF, 0xFF, 0xFF, 0xFF, 0xB4});
  EXPECT_EQ(h.port.written, wire);

  for (const Frame& f : h.kernel.frames) EXPECT_TRUE(f.summed) << int(f.command) << " " << f.kind;
  EXPECT_EQ(h.kernel.modules[0x40], h.mainKernel);
  EXPECT_EQ(h.kernel.modules[0x48], h.eraseModule);
  EXPECT_EQ(h.kernel.modules[0x43], h.writeModule);
}

TEST(ResidentKernelFlow, OpensConfiguresAndClosesThePortWithoutTouchingTheModemLines) {
  Harness h;
  ASSERT_TRUE(h.Run(Bytes(10)));
  EXPECT_EQ(h.port.openedName, "/dev/ttyFAKE0");
  EXPECT_EQ(h.port.settings,
            "baud=9600 parity=n data=8 stop=2 xon=off odsr=off octs=off idsr=off dtr=off rts=off");
  ASSERT_GE(h.port.events.size(), 4u);
  EXPECT_EQ(h.port.events[0].op, Op::Open);
  EXPECT_EQ(h.port.events[1].op, Op::SetBufferSizes);
  EXPECT_EQ(h.port.events[1].value, 100 * 100000 + 0);
  EXPECT_EQ(h.port.events[2].op, Op::Configure);
  EXPECT_EQ(h.port.events[3].op, Op::SetBaudRate);
  EXPECT_EQ(h.port.events[3].value, 9600);
  EXPECT_EQ(h.port.events.back().op, Op::Close);
  EXPECT_EQ(h.port.closes, 1);
  EXPECT_TRUE(h.port.EventsOf(Op::SetRts).empty());
  EXPECT_TRUE(h.port.EventsOf(Op::SetDtr).empty());
  EXPECT_TRUE(h.port.EventsOf(Op::PurgeInput).empty());
  // The first bytes on the line are the clock and baud frame.
  EXPECT_EQ(h.port.written.front(), 0x3F);
}

TEST(ResidentKernelFlow, UsesTheSynchronisationRateGiven) {
  Harness h;
  h.options.syncBaudRate = 19200;
  ASSERT_TRUE(h.Run(Bytes(10)));
  EXPECT_EQ(h.kernel.frames.front().baud, 19200);
}

TEST(ResidentKernelFlow, WithoutDeviceNameSkipsTheSelection) {
  Harness h;
  h.options.deviceName.reset();
  ASSERT_TRUE(h.Run(Bytes(10)));
  EXPECT_FALSE(h.recorder.Has("Selecting device"));
  EXPECT_TRUE(h.kernel.FramesOf(0x10).empty());
}

TEST(ResidentKernelFlow, EndsAtTheFirstFailureWithOneErrorAndSendsNothingMore) {
  Harness h;
  h.kernel.answer = [](const Frame& f) -> std::optional<Answer> {
    if (f.command == 0x4D) return Answer{{0xCD, 0x52}};
    return std::nullopt;
  };
  EXPECT_FALSE(h.Run(Bytes(10)));
  EXPECT_EQ(h.recorder.Error(), "Error, kernel says: NOT_ERASE_ERROR");
  EXPECT_EQ(h.port.written.back(), 0x4D);
  EXPECT_EQ(h.port.closes, 1);
  EXPECT_FALSE(h.port.isOpen);
}

TEST(RunSetup, FailuresBeforeTheFlowAreReportedOnceAndThePortIsStillClosed) {
  struct Case {
    Op op;
    const char* error;
  };
  for (const Case& c : {Case{Op::Open, "Can't open /dev/ttyFAKE0"},
                        Case{Op::SetBufferSizes, "Can't allocate communications buffers"},
                        Case{Op::Configure, "Syncronization baud rate not supported by host"},
                        Case{Op::SetBaudRate, "Syncronization baud rate not supported by host"}}) {
    for (std::uint8_t resident : {1, 0}) {
      if (!resident && (c.op == Op::Configure || c.op == Op::SetBaudRate)) continue;
      Harness h;
      h.options.residentKernel = resident;
      h.port.FailOn(c.op);
      EXPECT_FALSE(h.Run(Bytes(10)));
      EXPECT_EQ(h.recorder.Error(), c.error);
      EXPECT_EQ(h.recorder.messages.size(), 1u);
      EXPECT_EQ(h.port.closes, 1);
      EXPECT_TRUE(h.port.written.empty());
    }
  }
}

TEST(RunSetup, RefusesANegativeImageSizeOrAMissingImage) {
  Harness h;
  EXPECT_FALSE(h.Run(nullptr, -1));
  EXPECT_EQ(h.recorder.Error(), "Invalid image size -1");
  EXPECT_TRUE(h.port.written.empty());
  EXPECT_EQ(h.port.closes, 1);

  Harness h2;
  EXPECT_FALSE(h2.Run(nullptr, 5));
  EXPECT_EQ(h2.recorder.Error(), "Invalid image size 5");

  Harness h3;
  EXPECT_TRUE(h3.Run(nullptr, 0));
}

TEST(RunSetup, CutsMessagesAt255Characters) {
  Harness h;
  h.options.portName = "/dev/" + std::string(400, 'x');
  h.port.FailOn(Op::Open);
  EXPECT_FALSE(h.Run(Bytes(10)));
  const std::string text = h.recorder.Error();
  EXPECT_EQ(text.size(), 255u);
  EXPECT_EQ(text, ("Can't open " + h.options.portName).substr(0, 255));
}

TEST(RunSetup, WithoutCallbackRunsTheSameAndReportsNothing) {
  Harness h;
  const auto image = Bytes(300, 7);
  ASSERT_TRUE(h.Run(image));

  ScriptedPort port;
  FakeKernel kernel(port);
  ProgrammingRun silent(h.options, image.data(), 300, nullptr, nullptr, port, port);
  EXPECT_TRUE(silent.Run());
  EXPECT_EQ(port.written, h.port.written);
  EXPECT_EQ(port.closes, 1);

  ScriptedPort failing;
  failing.FailOn(Op::Open);
  ProgrammingRun failed(h.options, image.data(), 300, nullptr, nullptr, failing, failing);
  EXPECT_FALSE(failed.Run());
  EXPECT_EQ(failing.closes, 1);
}

TEST(RunLifecycle, TwoRunsInARowStartAfreshWithPercentZeroAbortClearAndNewTables) {
  Harness h;
  const auto image = Bytes(300, 1);
  // The first run is aborted in its writing stage at percent 42.
  h.recorder.onMessage = [](const Message& m, std::uint8_t* abortFlag) {
    if (m.block == 1 && m.text.rfind("Writing", 0) == 0) *abortFlag = 1;
  };
  EXPECT_FALSE(h.Run(image));
  EXPECT_EQ(h.recorder.Error(), "Programming aborted");
  const std::size_t firstCount = h.recorder.messages.size();

  // The same port again, with a target freshly restarted.
  FakeKernel restarted(h.port);
  h.port.written.clear();
  Recorder second;
  ProgrammingRun run(h.options, image.data(), 300, &Recorder::Callback, &second, h.port, h.port);
  EXPECT_TRUE(run.Run());
  ASSERT_GT(second.messages.size(), 3u);
  EXPECT_EQ(second.messages.front().percent, 0);
  EXPECT_EQ(second.TextsAt(LEVEL_DETAIL).size(), 4u);  // two devices, two blocks, not doubled
  EXPECT_TRUE(second.Has("Writing block 0100..017F")) << "not aborted: the abort byte starts clear";
  EXPECT_TRUE(run.Devices().empty()) << "the tables are released at the end of a run";
  EXPECT_TRUE(run.EraseBlockTable().empty());
  EXPECT_EQ(h.port.opens, 2);
  EXPECT_EQ(h.port.closes, 2);
  EXPECT_GT(firstCount, 0u);
}

TEST(RunLifecycle, TwoRunsAtOnceOnTwoPortsInTwoThreads) {
  // Real time here: the public entry with the real clock, only the port is scripted.
  struct Side {
    Harness h;
    bool ok = false;
    std::vector<std::uint8_t> image;
  };
  Side a, b;
  a.image = Bytes(1000, 3);
  b.image = Bytes(700, 9);
  b.h.options.portName = "/dev/ttyFAKE1";
  b.h.options.startAddress = 0x4000;
  for (Side* s : {&a, &b}) ASSERT_TRUE(s->h.Run(nullptr, 0));  // writes the kernel files
  ScriptedPort pa, pb;
  FakeKernel ka(pa), kb(pb);
  Recorder ra, rb;
  const auto start = std::chrono::steady_clock::now();
  std::thread ta([&] { a.ok = ProgramTarget(a.h.options, a.image.data(), 1000, &Recorder::Callback, &ra, pa); });
  std::thread tb([&] { b.ok = ProgramTarget(b.h.options, b.image.data(), 700, &Recorder::Callback, &rb, pb); });
  ta.join();
  tb.join();
  // The pause before following the kernel to the new rate is a real one here.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_TRUE(a.ok);
  EXPECT_TRUE(b.ok);
  EXPECT_EQ(pa.openedName, "/dev/ttyFAKE0");
  EXPECT_EQ(pb.openedName, "/dev/ttyFAKE1");
  EXPECT_EQ(ka.memory.size(), 8u);
  EXPECT_EQ(kb.memory.size(), 6u);
  EXPECT_TRUE(kb.memory.count(0x4000));
  EXPECT_EQ(ra.Texts().back(), "Programming complete, please reset target");
  EXPECT_EQ(rb.Texts().back(), "Programming complete, please reset target");
  EXPECT_TRUE(ra.Has("Writing block 0380..03FF"));
  EXPECT_TRUE(rb.Has("Writing block 4280..42FF"));
}

TEST(RunLifecycle, TheTermiosEntryReportsAPortThatCannotBeOpened) {
  TempDir dir;
  ProgrammingOptions options;
  options.portName = (dir.Path() / "no-such-tty").string();
  Recorder recorder;
  EXPECT_FALSE(ProgramTarget(options, nullptr, 0, &Recorder::Callback, &recorder));
  EXPECT_EQ(recorder.Error(), "Can't open " + options.portName);
}

TEST(BootModeFlow, RestartsSynchronisesDownloadsProgramsAndRestartsInUserMode) {
  Harness h;
  h.options.residentKernel = 0;
  h.kernel.StartInBootProgram();
  ASSERT_TRUE(h.Run(Bytes(200, 1)));

  std::vector<Message> expected = {
      {0, 1, 0, "Loading uKernel " + h.options.microKernelPath},
      {0, 2, 0, "Resetting target in boot mode"},
      {0, 2, 0, "Synching at 9600 baud"},
      {0, 2, 0, "Downloading image"},
      {0, 1, 0, "Setting baud rate"},
      {0, 2, 0, "Baud rate set to 115200 bps"},
      {0, 2, 0, "Device clock set to 22.12 MHz"},
      {0, 1, 0, "Reading supported device list"},
      {0, 2, 0, "This kernel supports 2 devices"},
      {0, 3, 0, "Device ZV2329, code 2329"},
      {0, 3, 0, "Device ZV2330, code 2330"},
      {0, 1, 0, "Selecting device"},
      {0, 2, 0, "Selected device ZV2329, code 2329"},
  };
  for (auto m : ModuleMessages("Loading main kernel " + h.options.mainKernelPath)) expected.push_back(m);
  expected.push_back({0, 1, 0, "Performing a blank check"});
  for (auto m : ModuleMessages("Loading EEPROM write module " + h.options.writeModulePath)) expected.push_back(m);
  expected.push_back({0, 1, 0, "Writing image to the EEPROM"});
  expected.push_back({0, 1, 1, "Writing block 0000..007F"});
  expected.push_back({64, 1, 1, "Writing block 0080..00FF"});
  expected.push_back({100, 2, 0, "Written 2 blocks, skipped 0 empty blocks"});
  expected.push_back({100, 1, 0, "Resetting target in user mode"});
  expected.push_back({100, 1, 0, "Programming complete"});
  EXPECT_EQ(h.recorder.messages, expected);

  EXPECT_EQ(h.kernel.microKernel, h.microKernel);
  EXPECT_TRUE(h.kernel.FramesOf(0x26).empty()) << "no erase-block inquiry in this flow";
  EXPECT_TRUE(h.kernel.FramesOf(0x48).empty()) << "no erase stage in this flow";

  // The modem-line sequences: boot mode at the start, user mode at the end.
  std::vector<std::pair<Op, std::int64_t>> lines;
  for (const auto& e : h.port.events) {
    if (e.op == Op::SetRts || e.op == Op::SetDtr || e.op == Op::Sleep || e.op == Op::PurgeInput) {
      lines.push_back({e.op, e.value});
    }
  }
  const std::vector<std::pair<Op, std::int64_t>> expectedLines = {
      {Op::SetRts, 1}, {Op::Sleep, 100}, {Op::SetDtr, 1}, {Op::Sleep, 100}, {Op::SetRts, 0},
      {Op::Sleep, 200}, {Op::PurgeInput, 0},
      {Op::Sleep, 200},  // before the host follows the kernel to the new rate
      {Op::SetRts, 1}, {Op::Sleep, 100}, {Op::SetDtr, 0}, {Op::Sleep, 100}, {Op::SetRts, 0},
      {Op::Sleep, 200}, {Op::PurgeInput, 0}};
  EXPECT_EQ(lines, expectedLines);
  EXPECT_EQ(h.port.EventsOf(Op::SetRts).front().written, 0u) << "lines move before any byte";
  EXPECT_EQ(h.port.EventsOf(Op::SetRts).back().written, h.port.written.size())
      << "user mode after the last byte";
}

TEST(BootModeFlow, AFailedRestartIntoUserModeIsPortError923) {
  Harness h;
  h.options.residentKernel = 0;
  h.kernel.StartInBootProgram();
  h.port.FailOn(Op::SetDtr, 2);
  EXPECT_FALSE(h.Run(Bytes(20)));
  EXPECT_EQ(h.recorder.Error(), "Communication port error [923]");
  EXPECT_EQ(h.recorder.messages.back().percent, 100);
}

}  // namespace
}  // namespace zerviko::test
