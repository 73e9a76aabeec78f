// The SerialPort of Linux: a terminal device driven through termios.
//
// Open takes the device path as given (/dev/ttyUSB0, a pseudo-terminal's slave) and
// holds the device exclusively: the terminal's exclusive mode keeps other programs out
// and an advisory lock keeps out root as well, who may pass the exclusive mode. Reads
// and writes never block without a bound: reads wait at most the timeout chosen with
// SetReadTimeout (one deadline for the whole call, signals included), and a write that
// makes no progress for WriteStallLimit fails. A port that goes away under the run (a
// bridge unplugged, the far side of a pseudo-terminal closed) makes every call fail.
//
// Not thread-safe: one thread owns the object, as the engine does.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/SerialPort.h"

namespace zerviko {

class TermiosSerialPort : public SerialPort {
 public:
  // How long a single-byte write may wait for room in the driver before it fails.
  static constexpr std::chrono::milliseconds WriteStallLimit{2000};

  TermiosSerialPort() = default;
  ~TermiosSerialPort() override;
  TermiosSerialPort(const TermiosSerialPort&) = delete;
  TermiosSerialPort& operator=(const TermiosSerialPort&) = delete;

  bool Open(const std::string& name) override;
  void Close() override;
  bool Configure(const std::string& settings) override;
  bool SetBaudRate(std::int32_t rate) override;
  bool SetBufferSizes(std::uint32_t inputSize, std::uint32_t outputSize) override;
  bool SetReadTimeout(std::uint32_t milliseconds) override;
  bool PurgeInput() override;
  bool SetRts(bool on) override;
  bool SetDtr(bool on) override;
  bool WriteByte(std::uint8_t byte) override;
  bool Read(std::uint8_t* buffer, std::size_t count, std::size_t* countRead) override;
  bool ReadByte(std::uint8_t* byte) override;

  // The errno of the last failed Open (EACCES, ENOENT, EBUSY, ENOTTY...), 0 after a
  // successful one. Front ends use it to tell a user why a port cannot be opened.
  int OpenError() const { return m_nOpenError; }
  // False for a device without modem-control lines, such as a pseudo-terminal.
  bool HasModemLines() const { return m_bModemLines; }
  bool IsOpen() const { return m_fd >= 0; }

 private:
  bool SetModemLine(int line, bool on);

  int m_fd = -1;
  int m_nOpenError = 0;
  bool m_bModemLines = false;
  std::uint32_t m_nTimeoutMs = 0;
};

}  // namespace zerviko
