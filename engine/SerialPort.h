// The engine's only way to the target: a thin synchronous port.
//
// Every operation reports failure by its result alone and never prints. The port is
// used by the one thread that runs the programming and has no locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zerviko {

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Exclusive open of the named port; a second open of the same port fails.
  virtual bool Open(const std::string& name) = 0;
  // Harmless after a failed Open or a Close.
  virtual void Close() = 0;
  // Line settings in the text form "baud=9600 parity=n data=8 stop=2 xon=off odsr=off
  // octs=off idsr=off dtr=off rts=off". A text that cannot be parsed returns false and
  // leaves the port as it was.
  virtual bool Configure(const std::string& settings) = 0;
  virtual bool SetBaudRate(std::int32_t rate) = 0;
  virtual bool SetBufferSizes(std::uint32_t inputSize, std::uint32_t outputSize) = 0;
  // 0 ms: reads return at once with what has arrived, possibly nothing.
  // t ms: a read waits up to t ms in all for the bytes asked for.
  virtual bool SetReadTimeout(std::uint32_t milliseconds) = 0;
  // Discards unread input; output is not touched.
  virtual bool PurgeInput() = 0;
  virtual bool SetRts(bool on) = 0;
  virtual bool SetDtr(bool on) = 0;
  // True only when exactly one byte was accepted.
  virtual bool WriteByte(std::uint8_t byte) = 0;
  // False only when the call itself fails; a timeout is a short count, not a failure.
  virtual bool Read(std::uint8_t* buffer, std::size_t count, std::size_t* countRead) = 0;
  // True only when exactly one byte was read; a timeout gives false.
  virtual bool ReadByte(std::uint8_t* byte) = 0;
};

}  // namespace zerviko
