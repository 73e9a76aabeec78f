// The SerialPort of Windows: a COM port driven through the Win32 communications calls.
//
// Open takes a port name as the system's spooler and device manager show it ("COM5",
// "COM5:") or a device path ("\\.\COM12"). The port is opened without sharing, so a
// second open of the same port, by this or another program, fails. All I/O is
// synchronous; reads wait as long as SetReadTimeout says, and writes follow the
// write timeouts the port already has.
//
// Not thread-safe: one thread owns the object, as the engine does.
#pragma once

#include <cstdint>
#include <string>

#include "engine/SerialPort.h"

namespace zerviko {

class Win32SerialPort : public SerialPort {
 public:
  Win32SerialPort() = default;
  ~Win32SerialPort() override;
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

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

  // GetLastError of the last failed Open (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED...),
  // 0 after a successful one. Front ends use it to tell a user why a port cannot be
  // opened.
  unsigned long OpenError() const { return m_nOpenError; }
  bool IsOpen() const { return m_hPort != nullptr; }

 private:
  bool SetModemLine(bool rts, bool on);

  void* m_hPort = nullptr;  // the port's HANDLE; null when closed
  unsigned long m_nOpenError = 0;
};

}  // namespace zerviko
