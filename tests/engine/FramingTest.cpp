// Command framing: checksums, acknowledges, error replies, inquiries, and the numbered
// messages of the port operations they use.
#include <gtest/gtest.h>

#include "tests/engine/Harness.h"

namespace zerviko::test {
namespace {

using Op = ScriptedPort::Op;

class Framing : public ::testing::Test {
 protected:
  ScriptedPort port;
  Recorder recorder;
  ProgrammingOptions options;
  ProgrammingRun run{options, nullptr, 0, &Recorder::Callback, &recorder, port, port};
};

TEST_F(Framing, ChecksumIsTheTwosComplementOfTheSummedBytesOnly) {
  ASSERT_TRUE(run.SendByte(0x3F));  // not summed
  for (std::uint8_t b : {0x07, 0x04, 0x80, 0x08, 0xA4, 0x01, 0x01, 0x00}) ASSERT_TRUE(run.SendSummed(b));
  ASSERT_TRUE(run.SendChecksum());
  // 0x3F not counted: 0x07+0x04+0x80+0x08+0xA4+0x01+0x01 = 0x139 -> 0xC7.
  EXPECT_EQ(port.written.back(), 0xC7);
  EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(Framing, AFailedWriteIsPortError161) {
  port.FailOn(Op::WriteByte, 2);
  EXPECT_TRUE(run.SendByte(1));
  EXPECT_FALSE(run.SendSummed(2));
  EXPECT_EQ(recorder.Error(), "Communication port error [161]");
}

TEST_F(Framing, AcknowledgeIsAwaitedForExactlyTheCommandsTimeout) {
  for (std::uint32_t timeout : {100u, 200u, 1000u, 3000u, 10000u}) {
    Recorder r;
    ScriptedPort p;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    p.Reply({0x06}, timeout - 1.0);
    EXPECT_TRUE(run2.WaitAcknowledge(timeout, 0x50)) << timeout;
    EXPECT_EQ(p.EventsOf(Op::SetReadTimeout).back().value, timeout);

    const double start = p.now;
    p.Reply({0x06}, timeout + 1.0);
    EXPECT_FALSE(run2.WaitAcknowledge(timeout, 0x50));
    EXPECT_DOUBLE_EQ(p.now - start, timeout);
    EXPECT_EQ(r.Error(), "No acknowledge from target");
  }
}

TEST_F(Framing, EveryKernelErrorCodeHasItsMessage) {
  const std::pair<std::uint8_t, const char*> table[] = {
      {0x11, "SUM_ERROR"},          {0x12, "PRG_SIZE_ERROR"},
      {0x21, "DEVICE_CODE_ERROR"},  {0x22, "CLOCK_MODE_DISAGREEMENT"},
      {0x23, "CLOCK_MODE_NEEDLESSNESS"}, {0x24, "BAUD_RATE_ERROR"},
      {0x25, "INPUT_CLOCK_ERROR"},  {0x26, "RATIO_ERROR"},
      {0x27, "FREQUENCY_ERROR"},    {0x28, "WRITE_ADDRESS_ERROR"},
      {0x29, "ERASE_BLOCK_NO_ERROR"}, {0x2A, "READ_ADDRESS_ERROR"},
      {0x2B, "READ_LENGTH_ERROR"},  {0x51, "ERASE_ERROR"},
      {0x52, "NOT_ERASE_ERROR"},    {0x53, "WRITE_ERROR"},
      {0x80, "COMMAND_ERROR"}};
  int known = 0;
  for (int code = 0; code < 256; ++code) {
    const char* text = KernelErrorText(static_cast<std::uint8_t>(code));
    if (text != nullptr) ++known;
  }
  EXPECT_EQ(known, 17);
  for (auto [code, name] : table) {
    port.Reply({0xD0, code});
    EXPECT_FALSE(run.WaitAcknowledge(1000, 0x50));
    EXPECT_EQ(recorder.messages.back().text, std::string("Error, kernel says: ") + name);
  }
}

TEST_F(Framing, ErrorRepliesThatAreNotTheKernelsOwn) {
  port.Reply({0xBF, 0x99});
  EXPECT_FALSE(run.WaitAcknowledge(200, 0x3F));
  EXPECT_EQ(recorder.messages.back().text, "Target reports unknown error");

  // The code never comes: given up after 100 ms.
  port.Reply({0xBF});
  const double start = port.now;
  EXPECT_FALSE(run.WaitAcknowledge(200, 0x3F));
  EXPECT_EQ(recorder.messages.back().text, "Received incomplete error code from target");
  EXPECT_DOUBLE_EQ(port.now - start, 100);

  // Not this command's error byte: no second byte is read.
  port.Reply({0x15, 0x80});
  EXPECT_FALSE(run.WaitAcknowledge(200, 0x3F));
  EXPECT_EQ(recorder.messages.back().text, "Unexpected reply from target");
  EXPECT_EQ(port.Pending(), 1u);

  port.Reply({0xC0, 0x12});  // 0x40's error byte, while 0x43 is waiting
  EXPECT_FALSE(run.WaitAcknowledge(200, 0x43));
  EXPECT_EQ(recorder.messages.back().text, "Unexpected reply from target");
}

TEST_F(Framing, NumberedMessagesOfAcknowledgeAndErrorReply) {
  struct Case {
    Op op;
    int nth;
    bool early;  // CheckNoErrorReply rather than WaitAcknowledge
    const char* error;
  };
  for (const Case& c : {Case{Op::SetReadTimeout, 1, false, "Communication port error [264]"},
                        Case{Op::Read, 1, false, "Communications error [265]"},
                        Case{Op::SetReadTimeout, 2, false, "Communication port error [234]"},
                        Case{Op::Read, 2, false, "Communications error [235]"},
                        Case{Op::SetReadTimeout, 1, true, "Communication port error [252]"},
                        Case{Op::Read, 1, true, "Communications error [253]"},
                        Case{Op::SetReadTimeout, 2, true, "Communication port error [234]"},
                        Case{Op::Read, 2, true, "Communications error [235]"}}) {
    ScriptedPort p;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    p.Reply({0xC8, 0x29});
    p.FailOn(c.op, c.nth);
    EXPECT_FALSE(c.early ? run2.CheckNoErrorReply(0x48) : run2.WaitAcknowledge(100, 0x48));
    EXPECT_EQ(r.Error(), c.error);
  }
}

TEST_F(Framing, CheckNoErrorReplyDoesNotWait) {
  EXPECT_TRUE(run.CheckNoErrorReply(0x50));
  EXPECT_EQ(port.now, 0);
  EXPECT_EQ(port.EventsOf(Op::SetReadTimeout).back().value, 0);

  port.Reply({0xD0, 0x28}, 5);  // not yet arrived
  EXPECT_TRUE(run.CheckNoErrorReply(0x50));
  EXPECT_EQ(port.now, 0);

  port.now = 10;
  EXPECT_FALSE(run.CheckNoErrorReply(0x50));
  EXPECT_EQ(recorder.Error(), "Error, kernel says: WRITE_ADDRESS_ERROR");
}

TEST_F(Framing, SendCommandSendsTheByteAloneAndWaits100ms) {
  port.Reply({0x06}, 99);
  EXPECT_TRUE(run.SendCommand(0x4D));
  EXPECT_EQ(port.written, std::vector<std::uint8_t>{0x4D});
  EXPECT_EQ(port.EventsOf(Op::SetReadTimeout).back().value, 100);

  port.FailOn(Op::WriteByte);
  EXPECT_FALSE(run.SendCommand(0x4D));
  EXPECT_EQ(recorder.Error(), "Communication port error [441]");
}

class Inquiry : public Framing {
 protected:
  std::uint8_t buffer[2049] = {};
  std::size_t length = 9999;
  bool Ask(std::uint8_t command = 0x20, std::size_t capacity = 256, bool wide = false) {
    return run.Inquire(command, buffer, capacity, &length, wide);
  }
};

TEST_F(Inquiry, ReadsALengthPrefixedCheckedReply) {
  const auto payload = Bytes(200, 0x33);
  port.Reply(InquiryReply(0x20, payload, false));
  ASSERT_TRUE(Ask());
  EXPECT_EQ(length, 200u);
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), buffer));
  EXPECT_EQ(port.written, std::vector<std::uint8_t>{0x20});
  EXPECT_EQ(port.EventsOf(Op::SetReadTimeout).back().value, 100);

  const auto wide = Bytes(2049, 5, 3);
  port.Reply(InquiryReply(0x26, wide, true));
  ASSERT_TRUE(Ask(0x26, 2049, true));
  EXPECT_EQ(length, 2049u);
  EXPECT_EQ(buffer[2048], wide[2048]);

  port.Reply(InquiryReply(0x20, {}, false));
  ASSERT_TRUE(Ask());
  EXPECT_EQ(length, 0u);
}

TEST_F(Inquiry, BadRepliesEndWithTheirMessage) {
  auto good = InquiryReply(0x20, Bytes(10), false);
  auto badSum = good;
  badSum.back() = static_cast<std::uint8_t>(badSum.back() + 1);  // all bytes add up to 1
  struct Case {
    std::vector<std::uint8_t> reply;
    std::size_t capacity;
    const char* error;
  };
  const Case cases[] = {
      {{0x30}, 256, "Incomprehensible reply from target"},
      {{}, 256, "Incomprehensible reply from target"},
      {{0x31, 0x00, 0xCF}, 256, "Incomprehensible reply from target"},
      {{0xA0, 0x11}, 256, "Incomprehensible reply from target"},
      {{good.begin(), good.begin() + 7}, 256, "Incomplete reply from target"},
      {{good.begin(), good.end() - 1}, 256, "Incomplete reply from target"},
      {badSum, 256, "Checksum error"},
      {good, 9, "Unexpectedly long reply from target"},
  };
  for (const Case& c : cases) {
    ScriptedPort p;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    p.Reply(c.reply);
    EXPECT_FALSE(run2.Inquire(0x20, buffer, c.capacity, &length, false));
    EXPECT_EQ(r.Error(), c.error) << c.reply.size();
  }
  // A wide header cut after its first length byte.
  port.Reply({0x36, 0x00});
  EXPECT_FALSE(Ask(0x26, 2049, true));
  EXPECT_EQ(recorder.Error(), "Incomprehensible reply from target");
}

TEST_F(Inquiry, EachReadWaitsAtMost100ms) {
  auto reply = InquiryReply(0x20, Bytes(3), false);
  reply.pop_back();
  port.Reply(reply);
  EXPECT_FALSE(Ask());
  EXPECT_DOUBLE_EQ(port.now, 11000.0 / 9600 + 100);
}

TEST_F(Inquiry, NumberedMessagesOfItsPortOperations) {
  const std::pair<std::pair<Op, int>, const char*> cases[] = {
      {{Op::WriteByte, 1}, "Communication port error [457]"},
      {{Op::SetReadTimeout, 1}, "Communication port error [461]"},
      {{Op::Read, 1}, "Communications error [462]"},
      {{Op::Read, 3}, "Communications error [475]"},
      {{Op::Read, 6}, "Communications error [482]"},
  };
  for (auto [failure, error] : cases) {
    ScriptedPort p;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    p.Reply(InquiryReply(0x20, Bytes(4), false));
    p.FailOn(failure.first, failure.second);
    EXPECT_FALSE(run2.Inquire(0x20, buffer, 256, &length, false));
    EXPECT_EQ(r.Error(), error);
  }
}

}  // namespace
}  // namespace zerviko::test
