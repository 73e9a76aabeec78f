// A SerialPort wired straight to a virtual printer in the same process, for the
// protocol paths a pseudo-terminal cannot carry: it has modem lines, so the boot-mode
// flow can restart the target through RTS and DTR.
//
// Each byte written goes to the target at once and its answer waits in the receive
// queue. A read that finds too little waits out its timeout for real: nothing else can
// arrive, but the protocol's timeouts stay observable. Not thread-safe.
#pragma once

#include <deque>
#include <string>

#include "engine/SerialPort.h"
#include "sim/Target.h"

namespace zerviko::sim {

class InProcessPort : public SerialPort {
 public:
  explicit InProcessPort(Target& target) : m_target(target) {}

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

  // Makes the next Open fail, as a port held by another program does.
  void RefuseOpen(bool refuse) { m_bRefuseOpen = refuse; }
  bool IsOpen() const { return m_bOpen; }
  bool Rts() const { return m_bRts; }
  bool Dtr() const { return m_bDtr; }
  std::int32_t BaudRate() const { return m_nRate; }
  // True once the target dropped the line; every call fails from then on.
  bool HungUp() const { return m_bHungUp; }

 private:
  Target& m_target;
  std::deque<std::uint8_t> m_input;
  bool m_bOpen = false;
  bool m_bRefuseOpen = false;
  bool m_bHungUp = false;
  bool m_bRts = false;
  bool m_bDtr = false;
  std::int32_t m_nRate = 9600;
  std::uint32_t m_nTimeoutMs = 0;
};

}  // namespace zerviko::sim
