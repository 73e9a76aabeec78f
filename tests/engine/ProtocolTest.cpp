// Protocol tables one call at a time, and the boot-mode flow, which needs modem lines
// that a pseudo-terminal lacks.
#include <map>

#include "tests/engine/Rig.h"

namespace zerviko::test {
namespace {

TEST(Protocol, EachKernelErrorCodeHasItsMessage) {
  const std::map<int, std::string> known = {
      {0x11, "SUM_ERROR"},         {0x12, "PRG_SIZE_ERROR"},          {0x21, "DEVICE_CODE_ERROR"},
      {0x22, "CLOCK_MODE_DISAGREEMENT"}, {0x23, "CLOCK_MODE_NEEDLESSNESS"}, {0x24, "BAUD_RATE_ERROR"},
      {0x25, "INPUT_CLOCK_ERROR"}, {0x26, "RATIO_ERROR"},             {0x27, "FREQUENCY_ERROR"},
      {0x28, "WRITE_ADDRESS_ERROR"}, {0x29, "ERASE_BLOCK_NO_ERROR"},  {0x2A, "READ_ADDRESS_ERROR"},
      {0x2B, "READ_LENGTH_ERROR"}, {0x51, "ERASE_ERROR"},             {0x52, "NOT_ERASE_ERROR"},
      {0x53, "WRITE_ERROR"},       {0x80, "COMMAND_ERROR"}};
  for (int code = 0; code < 256; ++code) {
    Rig rig;
    rig.cues = {{.bytes = Bytes{0xCD, static_cast<std::uint8_t>(code)}}};
    EXPECT_FALSE(rig.unit.SendCommand(0x4D));
    const auto it = known.find(code);
    EXPECT_EQ(rig.Error(),
              it == known.end() ? "Target reports unknown error" : "Error, kernel says: " + it->second);
  }
}

TEST(Protocol, DevicesAreListedThenChosenByNameOrCode) {
  Rig rig;
  const std::string longName(150, 'n');
  rig.config.devices = {{"AB12", "Alpha unit"}, {"2329", "Zerviko main"}, {"xY99", "Second ZV2329 board"},
                        {"ABcd", ""}, {"9999", longName}};
  ASSERT_TRUE(rig.unit.ReadDeviceList());
  std::string texts;
  for (const Message& m : rig.messages) texts += std::to_string(m.level) + " " + m.text + "|";
  EXPECT_EQ(texts, "2 This kernel supports 5 devices|3 Device Alpha unit, code AB12|"
                   "3 Device Zerviko main, code 2329|3 Device Second ZV2329 board, code xY99|"
                   "3 Device , code ABcd|3 Device " + longName + ", code 9999|");
  // The first device whose name holds the text in any case, or whose code is its first
  // four characters in any case; the empty text is in every name.
  for (auto [requested, chosen] : {std::pair{"2329", "Zerviko main, code 2329"},
                                   {"zerviko MAIN", "Zerviko main, code 2329"},
                                   {"zv2329", "Second ZV2329 board, code xY99"},
                                   {"XY99 and more", "Second ZV2329 board, code xY99"},
                                   {"", "Alpha unit, code AB12"}, {"UNIT", "Alpha unit, code AB12"},
                                   {"abCD", ", code ABcd"}, {"AB1", ""}}) {
    EXPECT_EQ(rig.unit.SelectDevice(requested), *chosen != 0) << requested;
    const std::string refused = "Device " + std::string(requested) + " not supported by this kernel";
    EXPECT_EQ(rig.messages.back().text, *chosen ? "Selected device " + std::string(chosen) : refused);
  }
}

TEST(Protocol, RatesGoToTheKernelRoundedAndToTheHostExact) {
  const struct {
    std::int32_t baud, clock;
    Bytes units;  // the frame's rate and clock fields
    std::string texts;
  } rows[] = {{9650, 12000000, {0x00, 0x61, 0x04, 0xB0},
               "Baud rate set to 9700 bps|Device clock set to 12 MHz"},
              {57649, 3686400, {0x02, 0x40, 0x01, 0x71},
               "Baud rate set to 57600 bps|Device clock set to 3.69 MHz"},
              // Computed wide: nothing overflows near the 32-bit limit; the kernel refuses them.
              {2147483647, 2147483647, {0xAE, 0x14, 0x46, 0xDC}, ""}};
  for (const auto& row : rows) {
    Rig rig;
    ASSERT_EQ(rig.unit.SetClockAndBaudRate(row.baud, row.clock), !row.texts.empty());
    ASSERT_GE(rig.written.size(), 6u);
    EXPECT_EQ(Bytes(rig.written.begin() + 2, rig.written.begin() + 6), row.units) << row.baud;
    if (row.texts.empty()) continue;
    EXPECT_EQ(rig.messages[0].text + "|" + rig.messages[1].text, row.texts);
    // The acknowledge, a pause while the kernel changes, the host's exact rate, the acknowledge at it.
    EXPECT_EQ(rig.log, "T200 S200 B" + std::to_string(row.baud) + " T200");
  }
}

TEST(Protocol, BootModeRestartsDownloadsWritesAndRestartsInUserMode) {
  Rig rig;
  rig.options.residentKernel = 0;
  const Bytes image = Pattern(200);
  ASSERT_TRUE(rig.Run(image.data(), 200)) << rig.messages.back().text;
  std::string stages;
  for (const Message& m : rig.messages)
    if (m.level == 1 || m.text.find(" baud") != std::string::npos || m.text.rfind("Resetting", 0) == 0 ||
        m.text.rfind("Downloading", 0) == 0)
      stages += m.text + "|";
  const ProgrammingOptions& o = rig.options;
  EXPECT_EQ(stages, "Loading uKernel " + o.microKernelPath + "|Resetting target in boot mode|"
                    "Synching at 9600 baud|Downloading image|Setting baud rate|Reading supported device list|"
                    "Selecting device|Loading main kernel " + o.mainKernelPath + "|Performing a blank check|"
                    "Loading EEPROM write module " + o.writeModulePath + "|Writing image to the EEPROM|"
                    "Writing block 0000..007F|Writing block 0080..00FF|Resetting target in user mode|"
                    "Programming complete|");
  EXPECT_EQ(rig.Trace(), "3F 06 20 10 40 4D 43 50.0 50.80 50.FFFFFFFF") << "no erase in this flow";
  EXPECT_EQ(rig.Target().MicroKernel(), MicroKernelBytes(300));
  EXPECT_EQ(Bytes(rig.Target().Flash().begin(), rig.Target().Flash().begin() + 200), image);
  EXPECT_EQ(rig.Target().CurrentMode(), sim::Mode::UserFirmware);
  // RTS pulsed while DTR picks the mode, noise discarded: boot mode first, user mode last.
  EXPECT_EQ(rig.log.rfind("O U100,0 F B9600 R1 S100 D1 S100 R0 S200 P T0", 0), 0u) << rig.log;
  const std::string end = "T100 R1 S100 D0 S100 R0 S200 P C";
  EXPECT_EQ(rig.log.substr(rig.log.size() - end.size()), end);
  // The same without a callback, which hears nothing.
  Rig silent;
  EXPECT_TRUE(ProgrammingRun(rig.options, image.data(), 200, nullptr, nullptr, silent, silent).Run());
  EXPECT_EQ(silent.written, rig.written);
}

}  // namespace
}  // namespace zerviko::test
