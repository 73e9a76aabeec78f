// Command framing: bytes with a running checksum, acknowledges, error replies and
// length-prefixed inquiry replies.

#include "engine/ProgrammingRun.h"
#include "engine/SerialPort.h"

namespace zerviko {

namespace {

struct KernelError {
  std::uint8_t code;
  const char* text;
};

// The kernel's complaints, second byte of an error reply.
constexpr KernelError KERNEL_ERRORS[] = {
    {0x11, "Error, kernel says: SUM_ERROR"},
    {0x12, "Error, kernel says: PRG_SIZE_ERROR"},
    {0x21, "Error, kernel says: DEVICE_CODE_ERROR"},
    {0x22, "Error, kernel says: CLOCK_MODE_DISAGREEMENT"},
    {0x23, "Error, kernel says: CLOCK_MODE_NEEDLESSNESS"},
    {0x24, "Error, kernel says: BAUD_RATE_ERROR"},
    {0x25, "Error, kernel says: INPUT_CLOCK_ERROR"},
    {0x26, "Error, kernel says: RATIO_ERROR"},
    {0x27, "Error, kernel says: FREQUENCY_ERROR"},
    {0x28, "Error, kernel says: WRITE_ADDRESS_ERROR"},
    {0x29, "Error, kernel says: ERASE_BLOCK_NO_ERROR"},
    {0x2A, "Error, kernel says: READ_ADDRESS_ERROR"},
    {0x2B, "Error, kernel says: READ_LENGTH_ERROR"},
    {0x51, "Error, kernel says: ERASE_ERROR"},
    {0x52, "Error, kernel says: NOT_ERASE_ERROR"},
    {0x53, "Error, kernel says: WRITE_ERROR"},
    {0x80, "Error, kernel says: COMMAND_ERROR"},
};

}  // namespace

const char* KernelErrorText(std::uint8_t code) {
  for (const KernelError& e : KERNEL_ERRORS) {
    if (e.code == code) return e.text;
  }
  return nullptr;
}

bool ProgrammingRun::SendByte(std::uint8_t byte) {
  if (!m_port.WriteByte(byte)) return Fail("Communication port error [161]");
  return true;
}

bool ProgrammingRun::SendSummed(std::uint8_t byte) {
  m_checksum = static_cast<std::uint8_t>(m_checksum + byte);
  return SendByte(byte);
}

bool ProgrammingRun::SendChecksum() {
  return SendByte(static_cast<std::uint8_t>(0x100 - m_checksum));
}

bool ProgrammingRun::BeginFrame(std::uint8_t command) {
  m_checksum = command;
  return SendByte(command);
}

bool ProgrammingRun::WaitAcknowledge(std::uint32_t timeoutMs, std::uint8_t command) {
  if (!m_port.SetReadTimeout(timeoutMs)) return Fail("Communication port error [264]");
  std::uint8_t byte = 0;
  std::size_t count = 0;
  if (!m_port.Read(&byte, 1, &count)) return Fail("Communications error [265]");
  if (count == 0) return Fail("No acknowledge from target");
  if (byte == ACK) return true;
  return Fail("%s", DecodeErrorReply(command, byte));
}

bool ProgrammingRun::CheckNoErrorReply(std::uint8_t command) {
  if (!m_port.SetReadTimeout(0)) return Fail("Communication port error [252]");
  std::uint8_t byte = 0;
  std::size_t count = 0;
  if (!m_port.Read(&byte, 1, &count)) return Fail("Communications error [253]");
  if (count == 0) return true;
  return Fail("%s", DecodeErrorReply(command, byte));
}

const char* ProgrammingRun::DecodeErrorReply(std::uint8_t command, std::uint8_t first) {
  // Anything but command | 0x80 is not an error reply of this command, so no second
  // byte is read for it.
  if (first != static_cast<std::uint8_t>(command | 0x80)) return "Unexpected reply from target";
  if (!m_port.SetReadTimeout(100)) return "Communication port error [234]";
  std::uint8_t code = 0;
  std::size_t count = 0;
  if (!m_port.Read(&code, 1, &count)) return "Communications error [235]";
  if (count == 0) return "Received incomplete error code from target";
  const char* text = KernelErrorText(code);
  return text != nullptr ? text : "Target reports unknown error";
}

bool ProgrammingRun::Inquire(std::uint8_t command, std::uint8_t* buffer, std::size_t capacity,
                             std::size_t* length, bool wideLength) {
  if (!m_port.WriteByte(command)) return Fail("Communication port error [457]");
  // One mode for every read below: each may wait up to 100 ms.
  if (!m_port.SetReadTimeout(100)) return Fail("Communication port error [461]");

  std::uint8_t header[3] = {};
  const std::size_t headerSize = wideLength ? 3 : 2;
  std::size_t count = 0;
  if (!m_port.Read(header, headerSize, &count)) return Fail("Communications error [462]");
  if (count < headerSize || header[0] != static_cast<std::uint8_t>(command | 0x10)) {
    return Fail("Incomprehensible reply from target");
  }
  const std::size_t n = wideLength ? header[1] * 256u + header[2] : header[1];
  if (n > capacity) return Fail("Unexpectedly long reply from target");

  m_checksum = 0;
  for (std::size_t i = 0; i < headerSize; ++i) m_checksum = static_cast<std::uint8_t>(m_checksum + header[i]);

  for (std::size_t i = 0; i < n; ++i) {
    if (!m_port.Read(&buffer[i], 1, &count)) return Fail("Communications error [475]");
    if (count == 0) return Fail("Incomplete reply from target");
    m_checksum = static_cast<std::uint8_t>(m_checksum + buffer[i]);
  }
  std::uint8_t sum = 0;
  if (!m_port.Read(&sum, 1, &count)) return Fail("Communications error [482]");
  if (count == 0) return Fail("Incomplete reply from target");
  if (static_cast<std::uint8_t>(m_checksum + sum) != 0) return Fail("Checksum error");

  if (length != nullptr) *length = n;
  return true;
}

bool ProgrammingRun::SendCommand(std::uint8_t command) {
  if (!m_port.WriteByte(command)) return Fail("Communication port error [441]");
  return WaitAcknowledge(100, command);
}

}  // namespace zerviko
