// Erase lists, the erase and blank check, and the block write with its progress,
// skipped pieces and abort.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/engine/Harness.h"

namespace zerviko::test {
namespace {

using Op = ScriptedPort::Op;

bool Contains(const std::vector<std::uint8_t>& hay, const std::vector<std::uint8_t>& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

TEST(EraseList, EveryBlockByDefaultFollowedByABlankCheck) {
  Harness h;
  h.kernel.eraseBlockPayload = EraseBlockPayload({{0, 0xFF}, {0x100, 0x1FF}, {0x200, 0x2FF}});
  ASSERT_TRUE(h.Run(Bytes(10)));
  const auto erases = h.kernel.FramesOf(0x48);
  std::vector<std::vector<std::uint8_t>> frames;
  for (const auto& f : erases) {
    if (f.kind == "frame") frames.push_back(f.bytes);
  }
  EXPECT_EQ(frames, (std::vector<std::vector<std::uint8_t>>{
                        {0x48, 0x01, 0x00, 0xB7}, {0x48, 0x01, 0x01, 0xB6}, {0x48, 0x01, 0x02, 0xB5},
                        {0x48, 0x01, 0xFF, 0xB8}}));
  EXPECT_TRUE(h.recorder.Has("Performing a blank check"));
  EXPECT_EQ(h.kernel.FramesOf(0x4D).size(), 1u);
}

TEST(EraseList, ACallersListErasesOnlyItsBlocksAndSkipsTheBlankCheck) {
  for (const std::vector<std::int32_t>& list : {std::vector<std::int32_t>{1}, std::vector<std::int32_t>{}}) {
    Harness h;
    static const std::int32_t none[1] = {0};
    h.options.eraseBlocks = list.empty() ? none : list.data();
    h.options.eraseBlockCount = static_cast<std::int32_t>(list.size());
    ASSERT_TRUE(h.Run(Bytes(10)));
    std::vector<std::uint8_t> expected;
    if (!list.empty()) expected = {0x48, 0x01, 0x01, 0xB6};
    expected.insert(expected.end(), {0x48, 0x01, 0xFF, 0xB8, 0x43});
    EXPECT_TRUE(Contains(h.port.written, expected)) << list.size();
    EXPECT_FALSE(h.recorder.Has("Performing a blank check"));
    EXPECT_TRUE(h.kernel.FramesOf(0x4D).empty());
    EXPECT_EQ(h.recorder.TextsAt(LEVEL_STAGE).size(), 7u + list.size() + 4u);
  }
}

TEST(EraseList, ANumberOutOfRangeFailsBeforeAnyKernelIsLoaded) {
  // Block 2 of two, and negative numbers: -1 would go out as 0xFF and end the erase at
  // once, -256 as block 0.
  for (std::int32_t bad : {2, 255, -1, -256}) {
    Harness h;
    const std::int32_t list[] = {0, bad, 1};
    h.options.eraseBlocks = list;
    h.options.eraseBlockCount = 3;
    EXPECT_FALSE(h.Run(Bytes(10)));
    EXPECT_EQ(h.recorder.Error(), "Erase block " + std::to_string(bad) + " out of range");
    EXPECT_TRUE(h.kernel.FramesOf(0x40).empty());
    EXPECT_EQ(h.port.written.back(), 0x26);
  }
}

TEST(EraseList, EachEraseMayTakeTenSeconds) {
  for (double delay : {9999.0, 10001.0}) {
    Harness h;
    h.kernel.answer = [delay](const Frame& f) -> std::optional<Answer> {
      if (f.command == 0x48 && f.kind == "frame" && f.bytes[2] == 1) return Answer{{0x06}, delay};
      return std::nullopt;
    };
    EXPECT_EQ(h.Run(Bytes(10)), delay < 10000);
    if (delay > 10000) {
      EXPECT_EQ(h.recorder.Error(), "No acknowledge from target");
      EXPECT_EQ(h.recorder.messages[h.recorder.messages.size() - 2].text, "Erasing block 1");
    }
  }
  Harness h;
  h.kernel.answer = [](const Frame& f) -> std::optional<Answer> {
    if (f.command == 0x48 && f.kind == "frame" && f.bytes[2] == 0xFF) return Answer{{0x06}, 101};
    if (f.command == 0x48 && f.kind == "frame" && f.bytes[2] == 0x00) return Answer{{0xC8, 0x51}};
    return std::nullopt;
  };
  EXPECT_FALSE(h.Run(Bytes(10)));
  EXPECT_EQ(h.recorder.Error(), "Error, kernel says: ERASE_ERROR");
}

class Write : public ::testing::Test {
 protected:
  ScriptedPort port;
  FakeKernel kernel{port};
  Recorder recorder;
  ProgrammingOptions options;
  ProgrammingRun run{options, nullptr, 0, &Recorder::Callback, &recorder, port, port};

  bool WriteAll(const std::vector<std::uint8_t>& image, std::uint32_t start = 0) {
    return run.WriteImage(start, 128, image.data(), static_cast<std::int32_t>(image.size()));
  }
  std::vector<std::uint32_t> Addresses() const {
    std::vector<std::uint32_t> out;
    for (const auto& [address, data] : kernel.memory) out.push_back(address);
    return out;
  }
};

TEST_F(Write, FramesCarryTheAddressAndAPaddedLastBlock) {
  const auto image = Bytes(200, 1);
  ASSERT_TRUE(WriteAll(image));
  EXPECT_EQ(recorder.messages, (std::vector<Message>{{0, 1, 1, "Writing block 0000..007F"},
                                                     {64, 1, 1, "Writing block 0080..00FF"},
                                                     {100, 2, 0, "Written 2 blocks, skipped 0 empty blocks"}}));
  ASSERT_EQ(kernel.frames.size(), 3u);
  for (const auto& f : kernel.frames) EXPECT_TRUE(f.summed);
  const auto& second = kernel.frames[1].bytes;
  EXPECT_EQ(std::vector<std::uint8_t>(second.begin(), second.begin() + 5),
            (std::vector<std::uint8_t>{0x50, 0, 0, 0, 0x80}));
  EXPECT_TRUE(std::equal(image.begin() + 128, image.end(), second.begin() + 5));
  EXPECT_TRUE(std::all_of(second.begin() + 5 + 72, second.end() - 1, [](auto b) { return b == 0xFF; }));
  EXPECT_EQ(kernel.frames[2].bytes, (std::vector<std::uint8_t>{0x50, 0xFF, 0xFF, 0xFF, 0xFF, 0xB4}));

  // A poll after the address, 1000 ms for each block, 100 ms for the end.
  std::vector<std::int64_t> timeouts;
  for (const auto& e : port.EventsOf(Op::SetReadTimeout)) timeouts.push_back(e.value);
  EXPECT_EQ(timeouts, (std::vector<std::int64_t>{0, 1000, 0, 1000, 100}));
}

TEST_F(Write, EmptyPiecesAreSkippedButKeepTheirAddresses) {
  auto image = Bytes(128 * 3 + 50, 0x10);
  std::fill(image.begin() + 128, image.begin() + 256, 0xFF);  // piece 1 empty
  std::fill(image.begin() + 384, image.end(), 0xFF);          // the short last piece empty
  image[300] = 0xFF;
  ASSERT_TRUE(WriteAll(image, 0x1000));
  EXPECT_EQ(Addresses(), (std::vector<std::uint32_t>{0x1000, 0x1100}));
  EXPECT_EQ(recorder.messages, (std::vector<Message>{{0, 1, 1, "Writing block 1000..107F"},
                                                     {58, 1, 1, "Writing block 1100..117F"},
                                                     {100, 2, 0, "Written 2 blocks, skipped 2 empty blocks"}}));

  // One byte other than 0xFF: the whole piece goes, its 0xFF bytes as data.
  ScriptedPort p;
  FakeKernel k(p);
  Recorder r;
  ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  std::vector<std::uint8_t> sparse(128, 0xFF);
  sparse[77] = 0x00;
  ASSERT_TRUE(run2.WriteImage(0, 128, sparse.data(), 128));
  EXPECT_EQ(k.memory.at(0), sparse);
}

TEST_F(Write, AnErasedImageAndAnEmptyImageSendOnlyTheEndFrame) {
  ASSERT_TRUE(WriteAll(std::vector<std::uint8_t>(1000, 0xFF)));
  EXPECT_EQ(recorder.messages, (std::vector<Message>{{100, 2, 0, "Written 0 blocks, skipped 8 empty blocks"}}));
  EXPECT_EQ(port.written, (std::vector<std::uint8_t>{0x50, 0xFF, 0xFF, 0xFF, 0xFF, 0xB4}));

  ScriptedPort p;
  FakeKernel k(p);
  Recorder r;
  ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  ASSERT_TRUE(run2.WriteImage(0, 128, nullptr, 0));
  EXPECT_EQ(r.messages, (std::vector<Message>{{100, 2, 0, "Written 0 blocks, skipped 0 empty blocks"}}));
  EXPECT_EQ(p.written, (std::vector<std::uint8_t>{0x50, 0xFF, 0xFF, 0xFF, 0xFF, 0xB4}));
}

TEST_F(Write, PercentIsTheShareAlreadyConsumedTruncated) {
  ASSERT_TRUE(WriteAll(Bytes(1000, 1)));
  std::vector<int> percents;
  for (const auto& m : recorder.messages) percents.push_back(m.percent);
  EXPECT_EQ(percents, (std::vector<int>{0, 12, 25, 38, 51, 64, 76, 89, 100}));
}

TEST_F(Write, AddressesWrapAt32Bits) {
  ASSERT_TRUE(WriteAll(Bytes(256, 1), 0xFFFFFF80u));
  EXPECT_EQ(recorder.Texts()[0], "Writing block FFFFFF80..FFFFFFFF");
  EXPECT_EQ(recorder.Texts()[1], "Writing block 0000..007F");
  EXPECT_EQ(Addresses(), (std::vector<std::uint32_t>{0x0, 0xFFFFFF80u}));
}

TEST_F(Write, AbortIsHonouredAtTheNextPieceAndEndsWithoutTheEndFrame) {
  recorder.onMessage = [](const Message& m, std::uint8_t* abortFlag) {
    if (m.text == "Writing block 0080..00FF") *abortFlag = 1;
  };
  EXPECT_FALSE(WriteAll(Bytes(1000, 1)));
  EXPECT_EQ(recorder.Error(), "Programming aborted");
  EXPECT_EQ(recorder.messages.back().percent, 12);
  EXPECT_EQ(Addresses(), (std::vector<std::uint32_t>{0x0, 0x80})) << "the block of that message is written";
  EXPECT_EQ(port.written.size(), 2u * 134u);

  // Empty pieces are looked at too: an abort before one ends the write there.
  ScriptedPort p;
  FakeKernel k(p);
  Recorder r;
  r.onMessage = [](const Message&, std::uint8_t* abortFlag) { *abortFlag = 1; };
  ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
  auto image = Bytes(256, 1);
  std::fill(image.begin() + 128, image.end(), 0xFF);
  EXPECT_FALSE(run2.WriteImage(0, 128, image.data(), 256));
  EXPECT_EQ(r.Error(), "Programming aborted");
  EXPECT_EQ(p.written.size(), 134u);
}

TEST_F(Write, TheKernelsRefusalsAndTheWaitsForThem) {
  // Refused on its address: the data are never sent.
  port.Reply({0xD0, 0x28});
  EXPECT_FALSE(WriteAll(Bytes(200, 1)));
  EXPECT_EQ(recorder.Error(), "Error, kernel says: WRITE_ADDRESS_ERROR");
  EXPECT_EQ(port.written.size(), 5u);

  struct Case {
    std::function<std::optional<Answer>(const Frame&)> answer;
    const char* error;
    int percent;
  };
  const Case cases[] = {
      {[](const Frame& f) -> std::optional<Answer> {
         if (f.bytes.size() == 134 && f.bytes[4] == 0x80) return Answer{{0xD0, 0x53}};
         return std::nullopt;
       },
       "Error, kernel says: WRITE_ERROR", 64},
      {[](const Frame& f) -> std::optional<Answer> {
         if (f.bytes.size() == 134) return Answer{{0x06}, 1001};
         return std::nullopt;
       },
       "No acknowledge from target", 0},
      {[](const Frame& f) -> std::optional<Answer> {
         if (f.bytes.size() == 6) return Answer{{0x06}, 101};
         return std::nullopt;
       },
       "No acknowledge from target", 64},
  };
  for (const Case& c : cases) {
    ScriptedPort p;
    FakeKernel k(p);
    k.answer = c.answer;
    Recorder r;
    ProgrammingRun run2(options, nullptr, 0, &Recorder::Callback, &r, p, p);
    auto image = Bytes(200, 1);
    EXPECT_FALSE(run2.WriteImage(0, 128, image.data(), 200));
    EXPECT_EQ(r.Error(), c.error);
    EXPECT_EQ(r.messages.back().percent, c.percent) << "the error carries the percent reached";
  }

  // A block that takes 999 ms is fine.
  ScriptedPort p;
  FakeKernel k(p);
  k.answer = [](const Frame& f) -> std::optional<Answer> {
    if (f.bytes.size() == 134) return Answer{{0x06}, 999};
    return std::nullopt;
  };
  ProgrammingRun slow(options, nullptr, 0, nullptr, nullptr, p, p);
  auto image = Bytes(200, 1);
  EXPECT_TRUE(slow.WriteImage(0, 128, image.data(), 200));
}

TEST_F(Write, AWriteFailureInsideAFrameStopsItAtOnce) {
  port.FailOn(Op::WriteByte, 134 + 60);
  EXPECT_FALSE(WriteAll(Bytes(300, 1)));
  EXPECT_EQ(recorder.Error(), "Communication port error [161]");
  EXPECT_EQ(port.written.size(), 134u + 59u);
}

TEST_F(Write, BlankCheckIsALoneCommandAcknowledgedWithin100ms) {
  port.onWrite = nullptr;
  port.Reply({0x06}, 99);
  EXPECT_TRUE(run.BlankCheck());
  EXPECT_EQ(port.written, std::vector<std::uint8_t>{0x4D});
  port.Reply({0xCD, 0x52});
  EXPECT_FALSE(run.BlankCheck());
  EXPECT_EQ(recorder.Error(), "Error, kernel says: NOT_ERASE_ERROR");
}

}  // namespace
}  // namespace zerviko::test
