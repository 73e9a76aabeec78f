// A serial port in the test's own process, with its own protocol time.
//
// It records every byte written, every timeout mode, modem-line change, purge and
// sleep, and plays bytes that the test (or a responder called on each written byte)
// has put in its input, each available from a point in virtual time. Time moves only
// when the engine writes (one byte takes 11 bit times at the current rate: 8 data bits,
// 2 stop bits and a start bit), sleeps, or waits in a read for bytes that have not
// arrived; so a 10 s timeout passes at once and is still measured exactly.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/ProgrammingRun.h"
#include "engine/SerialPort.h"

namespace zerviko::test {

class ScriptedPort : public SerialPort, public RunClock {
 public:
  enum class Op {
    Open,
    Close,
    Configure,
    SetBaudRate,
    SetBufferSizes,
    SetReadTimeout,
    PurgeInput,
    SetRts,
    SetDtr,
    WriteByte,
    Read,
    ReadByte,
    Sleep,
  };
  struct Event {
    Op op;
    std::int64_t value;   // the rate, the timeout, the line state, the sleep in ms...
    double at;            // virtual ms
    std::size_t written;  // bytes written before this event
  };

  // SerialPort
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

  // RunClock
  std::chrono::steady_clock::time_point Now() override;
  void Sleep(std::chrono::milliseconds duration) override;

  // Bytes that arrive delayMs after the present virtual time.
  void Reply(const std::vector<std::uint8_t>& bytes, double delayMs = 0);
  // The nth call (from 1) of op fails; 0 makes every call fail.
  void FailOn(Op op, int nth = 0) { m_failNth[op] = nth; }

  // Called after each written byte has been recorded; it may Reply.
  std::function<void(std::uint8_t)> onWrite;

  std::vector<std::uint8_t> written;
  std::vector<Event> events;
  std::string openedName;
  std::string settings;
  std::int32_t baud = 9600;
  double now = 0;  // virtual ms
  bool isOpen = false;
  int opens = 0;
  int closes = 0;
  std::uint32_t timeout = 0;

  std::vector<Event> EventsOf(Op op) const;
  std::size_t Pending() const { return m_input.size(); }

 private:
  struct Incoming {
    std::uint8_t byte;
    double at;
  };
  bool Fails(Op op);
  void Log(Op op, std::int64_t value) { events.push_back({op, value, now, written.size()}); }
  std::size_t Take(std::uint8_t* buffer, std::size_t count);

  std::deque<Incoming> m_input;
  std::map<Op, int> m_failNth;
  std::map<Op, int> m_calls;
};

}  // namespace zerviko::test
