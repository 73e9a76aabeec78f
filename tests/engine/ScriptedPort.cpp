#include "tests/engine/ScriptedPort.h"

#include <algorithm>

namespace zerviko::test {

bool ScriptedPort::Fails(Op op) {
  const int call = ++m_calls[op];
  auto it = m_failNth.find(op);
  return it != m_failNth.end() && (it->second == 0 || it->second == call);
}

bool ScriptedPort::Open(const std::string& name) {
  Log(Op::Open, 0);
  ++opens;
  openedName = name;
  if (Fails(Op::Open)) return false;
  isOpen = true;
  return true;
}

void ScriptedPort::Close() {
  Log(Op::Close, 0);
  ++closes;
  isOpen = false;
}

bool ScriptedPort::Configure(const std::string& text) {
  Log(Op::Configure, 0);
  if (Fails(Op::Configure)) return false;
  settings = text;
  baud = 9600;
  return true;
}

bool ScriptedPort::SetBaudRate(std::int32_t rate) {
  Log(Op::SetBaudRate, rate);
  if (Fails(Op::SetBaudRate)) return false;
  baud = rate;
  return true;
}

bool ScriptedPort::SetBufferSizes(std::uint32_t inputSize, std::uint32_t outputSize) {
  Log(Op::SetBufferSizes, std::int64_t{inputSize} * 100000 + outputSize);
  return !Fails(Op::SetBufferSizes);
}

bool ScriptedPort::SetReadTimeout(std::uint32_t milliseconds) {
  Log(Op::SetReadTimeout, milliseconds);
  if (Fails(Op::SetReadTimeout)) return false;
  timeout = milliseconds;
  return true;
}

bool ScriptedPort::PurgeInput() {
  Log(Op::PurgeInput, 0);
  if (Fails(Op::PurgeInput)) return false;
  while (!m_input.empty() && m_input.front().at <= now) m_input.pop_front();
  return true;
}

bool ScriptedPort::SetRts(bool on) {
  Log(Op::SetRts, on);
  return !Fails(Op::SetRts);
}

bool ScriptedPort::SetDtr(bool on) {
  Log(Op::SetDtr, on);
  return !Fails(Op::SetDtr);
}

bool ScriptedPort::WriteByte(std::uint8_t byte) {
  if (Fails(Op::WriteByte)) return false;
  written.push_back(byte);
  now += 11000.0 / baud;
  if (onWrite) onWrite(byte);
  return true;
}

std::size_t ScriptedPort::Take(std::uint8_t* buffer, std::size_t count) {
  const double deadline = now + timeout;
  std::size_t got = 0;
  while (got < count) {
    if (!m_input.empty() && m_input.front().at <= now) {
      buffer[got++] = m_input.front().byte;
      m_input.pop_front();
    } else if (timeout > 0 && !m_input.empty() && m_input.front().at <= deadline) {
      now = m_input.front().at;
    } else {
      if (timeout > 0) now = deadline;
      break;
    }
  }
  return got;
}

bool ScriptedPort::Read(std::uint8_t* buffer, std::size_t count, std::size_t* countRead) {
  if (Fails(Op::Read)) return false;
  const std::size_t got = Take(buffer, count);
  if (countRead != nullptr) *countRead = got;
  return true;
}

bool ScriptedPort::ReadByte(std::uint8_t* byte) {
  if (Fails(Op::ReadByte)) return false;
  return Take(byte, 1) == 1;
}

std::chrono::steady_clock::time_point ScriptedPort::Now() {
  return std::chrono::steady_clock::time_point{} +
         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
             std::chrono::duration<double, std::milli>(now));
}

void ScriptedPort::Sleep(std::chrono::milliseconds duration) {
  Log(Op::Sleep, duration.count());
  now += static_cast<double>(duration.count());
}

void ScriptedPort::Reply(const std::vector<std::uint8_t>& bytes, double delayMs) {
  // A reply arrives whole at one moment, and never before the bytes queued earlier.
  double at = now + delayMs;
  if (!m_input.empty()) at = std::max(at, m_input.back().at);
  for (std::uint8_t b : bytes) m_input.push_back({b, at});
}

std::vector<ScriptedPort::Event> ScriptedPort::EventsOf(Op op) const {
  std::vector<Event> out;
  std::copy_if(events.begin(), events.end(), std::back_inserter(out),
               [op](const Event& e) { return e.op == op; });
  return out;
}

}  // namespace zerviko::test
