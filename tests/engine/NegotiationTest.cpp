// Clock and baud rate, the device list and selection, the erase-block list.
#include <gtest/gtest.h>

#include "tests/engine/Harness.h"

namespace zerviko::test {
namespace {

using Op = ScriptedPort::Op;

class Negotiation : public ::testing::Test {
 protected:
  ScriptedPort port;
  FakeKernel kernel{port};
  Recorder recorder;
  ProgrammingOptions options;
  ProgrammingRun run{options, nullptr, 0, &Recorder::Callback, &recorder, port, port};
};

TEST_F(Negotiation, ClockAndBaudFrameThenTheRateChangeConfirmedAtTheNewRate) {
  ASSERT_TRUE(run.SetClockAndBaudRate(115200, 22118400));
  EXPECT_EQ(port.written, (std::vector<std::uint8_t>{0x3F, 0x07, 0x04, 0x80, 0x08, 0xA4, 0x01, 0x01,
                                                     0x00, 0x88, 0x06}));
  ASSERT_EQ(kernel.frames.size(), 2u);
  EXPECT_EQ(kernel.frames[0].baud, 9600);
  EXPECT_EQ(kernel.frames[1].baud, 115200) << "the lone ACK goes out at the new rate";

  // ack (200 ms), a 200 ms pause, the host's new rate, ACK, ack (200 ms)
  std::vector<std::pair<Op, std::int64_t>> seen;
  for (const auto& e : port.events) seen.push_back({e.op, e.value});
  const std::vector<std::pair<Op, std::int64_t>> expected = {
      {Op::SetReadTimeout, 200}, {Op::Sleep, 200}, {Op::SetBaudRate, 115200}, {Op::SetReadTimeout, 200}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(recorder.messages, (std::vector<Message>{{0, 2, 0, "Baud rate set to 115200 bps"},
                                                     {0, 2, 0, "Device clock set to 22.12 MHz"}}));
}

TEST_F(Negotiation, RatesAreRoundedForTheKernelButExactOnTheHost) {
  ASSERT_TRUE(run.SetClockAndBaudRate(9650, 12000000));
  EXPECT_EQ(port.written[2], 0x00);
  EXPECT_EQ(port.written[3], 97);
  EXPECT_EQ(port.written[4], 0x04);  // 1200 = 0x04B0
  EXPECT_EQ(port.written[5], 0xB0);
  EXPECT_EQ(port.baud, 9650);
  EXPECT_EQ(recorder.Texts(),
            (std::vector<std::string>{"Baud rate set to 9700 bps", "Device clock set to 12 MHz"}));

  ScriptedPort p;
  FakeKernel k(p);
  Recorder r;
  ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  ASSERT_TRUE(run2.SetClockAndBaudRate(57649, 3686400));
  EXPECT_EQ(r.Texts(), (std::vector<std::string>{"Baud rate set to 57600 bps", "Device clock set to 3.69 MHz"}));
}

TEST_F(Negotiation, ARejectedFrameLeavesTheHostRateAlone) {
  kernel.answer = [](const Frame& f) -> std::optional<Answer> {
    if (f.kind == "frame") return Answer{{0xBF, 0x80}};
    return std::nullopt;
  };
  EXPECT_FALSE(run.SetClockAndBaudRate(115200, 22118400));
  EXPECT_EQ(recorder.Error(), "Error, kernel says: COMMAND_ERROR");
  EXPECT_TRUE(port.EventsOf(Op::SetBaudRate).empty());
  EXPECT_EQ(port.written.size(), 10u);
}

TEST_F(Negotiation, AMissingSecondAcknowledgeFailsAfter200msAtTheNewRate) {
  kernel.answer = [](const Frame& f) -> std::optional<Answer> {
    if (f.kind == "ack") return Answer{};
    return std::nullopt;
  };
  EXPECT_FALSE(run.SetClockAndBaudRate(115200, 22118400));
  EXPECT_EQ(recorder.Error(), "No acknowledge from target");
  EXPECT_EQ(port.baud, 115200);
  EXPECT_DOUBLE_EQ(port.now - port.EventsOf(Op::SetReadTimeout).back().at, 200);
}

TEST_F(Negotiation, HostFailuresDuringTheRateChange) {
  const std::pair<std::pair<Op, int>, const char*> cases[] = {
      {{Op::WriteByte, 4}, "Communication port error [161]"},
      {{Op::SetBaudRate, 1}, "Baud rate not supported by host"},
      {{Op::WriteByte, 11}, "Baud rate setting error"},
  };
  for (auto [failure, error] : cases) {
    ScriptedPort p;
    FakeKernel k(p);
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    p.FailOn(failure.first, failure.second);
    EXPECT_FALSE(run2.SetClockAndBaudRate(115200, 22118400));
    EXPECT_EQ(r.Error(), error);
  }
}

TEST_F(Negotiation, DeviceListKeepsEveryRecordAndReportsIt) {
  kernel.devicePayload = DevicePayload({{"2329", "ZV2329"}, {"ABcd", ""}, {"9999", std::string(200, 'n')}});
  ASSERT_TRUE(run.ReadDeviceList());
  ASSERT_EQ(run.Devices().size(), 3u);
  EXPECT_EQ(run.Devices()[1].name, "");
  EXPECT_EQ(run.Devices()[2].name, std::string(200, 'n'));
  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"This kernel supports 3 devices",
                                                        "Device ZV2329, code 2329", "Device , code ABcd",
                                                        "Device " + std::string(200, 'n') + ", code 9999"}));
  EXPECT_EQ(recorder.messages[1].level, LEVEL_DETAIL);
}

TEST_F(Negotiation, AnEmptyDeviceListSelectsNothing) {
  kernel.devicePayload = {0};
  ASSERT_TRUE(run.ReadDeviceList());
  EXPECT_EQ(recorder.Texts(), std::vector<std::string>{"This kernel supports 0 devices"});
  EXPECT_FALSE(run.SelectDevice("2329"));
  EXPECT_EQ(recorder.Error(), "Device 2329 not supported by this kernel");
}

TEST_F(Negotiation, MalformedDeviceRecordsAreRefusedWithoutReadingPastTheReply) {
  const std::vector<std::vector<std::uint8_t>> payloads = {
      {},                                           // not even a count
      {1, 3, '2', '3', '2'},                        // a record too short for its code
      {1, 9, '2', '3', '2', '9', 'Z', 'V'},         // a record running past the payload
      {2, 4, '2', '3', '2', '9'},                   // fewer records than counted
      {1, 0},                                       // length 0
  };
  for (const auto& payload : payloads) {
    ScriptedPort p;
    FakeKernel k(p);
    k.devicePayload = payload;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    EXPECT_FALSE(run2.ReadDeviceList());
    EXPECT_EQ(r.Error(), "Incomprehensible reply from target") << payload.size();
  }
}

TEST_F(Negotiation, SelectionByNameOrCodeFirstMatchWins) {
  kernel.devicePayload = DevicePayload(
      {{"AB12", "Alpha unit"}, {"2329", "Zerviko main"}, {"xY99", "Second ZV2329 board"}, {"2330", "ZV2330"}});
  ASSERT_TRUE(run.ReadDeviceList());
  struct Case {
    const char* requested;
    const char* chosen;  // name and code, as reported
  };
  for (const Case& c : {Case{"2329", "Zerviko main, code 2329"},        // code (before a later name)
                        Case{"zv2329", "Second ZV2329 board, code xY99"},  // name, any case
                        Case{"XY99 and more", "Second ZV2329 board, code xY99"},  // first four = code
                        Case{"", "Alpha unit, code AB12"},              // empty text is in every name
                        Case{"UNIT", "Alpha unit, code AB12"},
                        Case{"zv23", "Second ZV2329 board, code xY99"}}) {
    recorder.messages.clear();
    port.written.clear();
    ASSERT_TRUE(run.SelectDevice(c.requested)) << c.requested;
    EXPECT_EQ(recorder.Texts(), std::vector<std::string>{std::string("Selected device ") + c.chosen});
    EXPECT_EQ(recorder.messages[0].level, LEVEL_STEP);
    ASSERT_EQ(port.written.size(), 7u);
    EXPECT_EQ(port.written[0], 0x10);
    EXPECT_EQ(port.written[1], 0x04);
    EXPECT_TRUE(kernel.frames.back().summed);
  }
  // Shorter than four characters: by name only.
  recorder.messages.clear();
  EXPECT_FALSE(run.SelectDevice("AB1"));
  EXPECT_EQ(recorder.Error(), "Device AB1 not supported by this kernel");
}

TEST_F(Negotiation, SelectionFrameAndItsAcknowledge) {
  ASSERT_TRUE(run.ReadDeviceList());
  port.written.clear();
  ASSERT_TRUE(run.SelectDevice("2329"));
  EXPECT_EQ(port.written, (std::vector<std::uint8_t>{0x10, 0x04, '2', '3', '2', '9', 0x1C}));
  EXPECT_EQ(port.EventsOf(Op::SetReadTimeout).back().value, 100);

  kernel.answer = [](const Frame&) -> std::optional<Answer> { return Answer{{0x90, 0x21}}; };
  EXPECT_FALSE(run.SelectDevice("2330"));
  EXPECT_EQ(recorder.Error(), "Error, kernel says: DEVICE_CODE_ERROR");
}

TEST_F(Negotiation, EraseBlockListWithItsSizes) {
  kernel.eraseBlockPayload = EraseBlockPayload({{0, 0xFFF}, {0x1000, 0x13E7}, {0x10000, 0x1FFFF}});
  ASSERT_TRUE(run.ReadEraseBlockList());
  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"There are 3 erase blocks",
                                                        "Block 0: 0x00000000..0x00000FFF, 4K bytes",
                                                        "Block 1: 0x00001000..0x000013E7, 1000 bytes",
                                                        "Block 2: 0x00010000..0x0001FFFF, 64K bytes"}));
  EXPECT_EQ(recorder.messages[0].level, LEVEL_STEP);
  EXPECT_EQ(recorder.messages[1].level, LEVEL_DETAIL);
  ASSERT_EQ(run.EraseBlockTable().size(), 3u);
  EXPECT_EQ(run.EraseBlockTable()[1].last, 0x13E7u);
  EXPECT_EQ(port.written, std::vector<std::uint8_t>{0x26});
}

TEST_F(Negotiation, EraseBlockListLengthMustMatchItsCount) {
  kernel.eraseBlockPayload = {0};
  ASSERT_TRUE(run.ReadEraseBlockList());
  EXPECT_EQ(recorder.Texts(), std::vector<std::string>{"There are 0 erase blocks"});

  // 255 blocks fill the largest reply there is.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> many;
  for (std::uint32_t i = 0; i < 255; ++i) many.push_back({i * 256, i * 256 + 255});
  ScriptedPort p;
  FakeKernel k(p);
  k.eraseBlockPayload = EraseBlockPayload(many);
  Recorder r;
  ProgrammingRun big(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  ASSERT_TRUE(big.ReadEraseBlockList());
  EXPECT_EQ(r.messages.back().text, "Block 254: 0x0000FE00..0x0000FEFF, 256 bytes");

  auto longer = EraseBlockPayload({{0, 0xFFF}});
  longer.push_back(0);
  for (const auto& payload : {longer, std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{2, 0, 0}}) {
    ScriptedPort q;
    FakeKernel kq(q);
    kq.eraseBlockPayload = payload;
    Recorder rq;
    ProgrammingRun bad(options, nullptr, 0, &Recorder::Callback, &rq, q, q);
    EXPECT_FALSE(bad.ReadEraseBlockList());
    EXPECT_EQ(rq.Error(), "Invalid erase block list");
  }
}

}  // namespace
}  // namespace zerviko::test
