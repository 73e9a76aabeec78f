// Setting up a running kernel: clock and baud rate, the device list and selection,
// and the target's erase-block map.
#include <cctype>
#include <new>

#include "engine/ProgrammingRun.h"
#include "engine/SerialPort.h"

namespace zerviko {

namespace {

using namespace std::chrono_literals;

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool ContainsIgnoringCase(const std::string& haystack, const std::string& needle) {
  if (needle.size() > haystack.size()) return false;
  for (std::size_t at = 0; at + needle.size() <= haystack.size(); ++at) {
    std::size_t i = 0;
    while (i < needle.size() && Lower(haystack[at + i]) == Lower(needle[i])) ++i;
    if (i == needle.size()) return true;
  }
  return false;
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

}  // namespace

bool ProgrammingRun::SetClockAndBaudRate(std::int32_t baudRate, std::int32_t clockHz) {
  // Both go to the kernel rounded to the nearest unit (100 bps, 10 kHz), in 16 bits.
  // Widened first, so that no rate near the 32-bit limit overflows.
  const auto units = static_cast<std::uint16_t>((std::int64_t{baudRate} + 50) / 100);
  const auto clockUnits = static_cast<std::uint16_t>((std::int64_t{clockHz} + 5000) / 10000);

  if (!BeginFrame(CMD_SET_CLOCK_AND_BAUD)) return false;
  const std::uint8_t body[] = {0x07,
                               static_cast<std::uint8_t>(units >> 8),
                               static_cast<std::uint8_t>(units),
                               static_cast<std::uint8_t>(clockUnits >> 8),
                               static_cast<std::uint8_t>(clockUnits),
                               0x01,
                               0x01,
                               0x00};
  for (std::uint8_t b : body) {
    if (!SendSummed(b)) return false;
  }
  if (!SendChecksum() || !WaitAcknowledge(200, CMD_SET_CLOCK_AND_BAUD)) return false;

  // The kernel switches its own rate after the acknowledge; give it time before the
  // host follows, then confirm at the new rate with a lone ACK that it must answer.
  m_clock.Sleep(200ms);
  if (!m_port.SetBaudRate(baudRate)) return Fail("Baud rate not supported by host");
  if (!m_port.WriteByte(ACK)) return Fail("Baud rate setting error");
  if (!WaitAcknowledge(200, CMD_SET_CLOCK_AND_BAUD)) return false;

  Report(LEVEL_STEP, "Baud rate set to %lg bps", units * 100.0);
  Report(LEVEL_STEP, "Device clock set to %lg MHz", clockUnits * 0.01);
  return true;
}

bool ProgrammingRun::ReadDeviceList() {
  std::uint8_t reply[DEVICE_REPLY_CAPACITY] = {};
  std::size_t length = 0;
  if (!Inquire(CMD_DEVICE_INQUIRY, reply, sizeof reply, &length, false)) return false;
  // Not even a count byte: nothing in it can be trusted.
  if (length == 0) return Fail("Incomprehensible reply from target");

  const unsigned count = reply[0];
  Report(LEVEL_STEP, "This kernel supports %d devices", static_cast<int>(count));
  try {
    m_devices.assign(count, Device{});
  } catch (const std::bad_alloc&) {
    return Fail("Not enough memory");
  }

  // Each record: length L, four code characters, L - 4 name characters. A record that
  // is too short for its code or runs past the payload is refused before it is read.
  std::size_t at = 1;
  for (Device& device : m_devices) {
    if (at >= length) return Fail("Incomprehensible reply from target");
    const std::size_t recordLength = reply[at];
    if (recordLength < 4 || at + 1 + recordLength > length) {
      return Fail("Incomprehensible reply from target");
    }
    const std::uint8_t* record = &reply[at + 1];
    for (std::size_t i = 0; i < 4; ++i) device.code[i] = static_cast<char>(record[i]);
    try {
      device.name.assign(reinterpret_cast<const char*>(record + 4), recordLength - 4);
    } catch (const std::bad_alloc&) {
      return Fail("Not enough memory");
    }
    Report(LEVEL_DETAIL, "Device %s, code %c%c%c%c", device.name.c_str(), device.code[0],
           device.code[1], device.code[2], device.code[3]);
    at += recordLength + 1;
  }
  return true;
}

bool ProgrammingRun::SelectDevice(const std::string& requested) {
  const Device* chosen = nullptr;
  for (const Device& device : m_devices) {
    bool codeMatches = requested.size() >= 4;
    for (std::size_t i = 0; codeMatches && i < 4; ++i) {
      codeMatches = Lower(requested[i]) == Lower(device.code[i]);
    }
    if (codeMatches || ContainsIgnoringCase(device.name, requested)) {
      chosen = &device;
      break;
    }
  }
  if (chosen == nullptr) return Fail("Device %s not supported by this kernel", requested.c_str());

  if (!BeginFrame(CMD_SELECT_DEVICE) || !SendSummed(0x04)) return false;
  for (char c : chosen->code) {
    if (!SendSummed(static_cast<std::uint8_t>(c))) return false;
  }
  if (!SendChecksum() || !WaitAcknowledge(100, CMD_SELECT_DEVICE)) return false;

  Report(LEVEL_STEP, "Selected device %s, code %c%c%c%c", chosen->name.c_str(), chosen->code[0],
         chosen->code[1], chosen->code[2], chosen->code[3]);
  return true;
}

bool ProgrammingRun::ReadEraseBlockList() {
  std::vector<std::uint8_t> reply(ERASE_BLOCK_REPLY_CAPACITY);
  std::size_t length = 0;
  if (!Inquire(CMD_ERASE_BLOCK_INQUIRY, reply.data(), reply.size(), &length, true)) return false;
  if (length == 0) return Fail("Invalid erase block list");
  const unsigned count = reply[0];
  if (length != 8u * count + 1) return Fail("Invalid erase block list");

  Report(LEVEL_STEP, "There are %d erase blocks", static_cast<int>(count));
  try {
    m_eraseBlockTable.assign(count, EraseBlock{});
  } catch (const std::bad_alloc&) {
    return Fail("Not enough memory");
  }
  for (unsigned i = 0; i < count; ++i) {
    EraseBlock& block = m_eraseBlockTable[i];
    block.first = BigEndian32(&reply[1 + 8 * i]);
    block.last = BigEndian32(&reply[1 + 8 * i + 4]);
    const std::uint32_t size = block.last - block.first + 1;
    if (size % 1024 == 0) {
      Report(LEVEL_DETAIL, "Block %d: 0x%08X..0x%08X, %u%s bytes", static_cast<int>(i), block.first,
             block.last, size / 1024, "K");
    } else {
      Report(LEVEL_DETAIL, "Block %d: 0x%08X..0x%08X, %u%s bytes", static_cast<int>(i), block.first,
             block.last, size, "");
    }
  }
  return true;
}

}  // namespace zerviko
