#include "sim/InProcessPort.h"

#include <chrono>
#include <sstream>
#include <thread>

namespace zerviko::sim {

bool InProcessPort::Open(const std::string&) {
  if (m_bOpen || m_bRefuseOpen) return false;
  m_bOpen = true;
  m_bHungUp = false;
  m_input.clear();
  m_nTimeoutMs = 0;
  return true;
}

void InProcessPort::Close() {
  m_bOpen = false;
  m_input.clear();
}

bool InProcessPort::Configure(const std::string& settings) {
  if (!m_bOpen || m_bHungUp) return false;
  std::istringstream words(settings);
  std::string word;
  std::int32_t rate = m_nRate;
  bool any = false;
  while (words >> word) {
    any = true;
    if (word.rfind("baud=", 0) == 0) {
      try {
        rate = std::stoi(word.substr(5));
      } catch (...) {
        return false;
      }
    }
    if (word == "dtr=on") m_bDtr = true;
    if (word == "dtr=off") m_bDtr = false;
    if (word == "rts=on") m_bRts = true;
    if (word == "rts=off") m_bRts = false;
  }
  if (!any || rate <= 0) return false;
  m_nRate = rate;
  return true;
}

bool InProcessPort::SetBaudRate(std::int32_t rate) {
  if (!m_bOpen || m_bHungUp || rate <= 0) return false;
  m_nRate = rate;
  return true;
}

bool InProcessPort::SetBufferSizes(std::uint32_t inputSize, std::uint32_t) {
  return m_bOpen && !m_bHungUp && inputSize > 0;
}

bool InProcessPort::SetReadTimeout(std::uint32_t milliseconds) {
  if (!m_bOpen || m_bHungUp) return false;
  m_nTimeoutMs = milliseconds;
  return true;
}

bool InProcessPort::PurgeInput() {
  if (!m_bOpen || m_bHungUp) return false;
  m_input.clear();
  return true;
}

bool InProcessPort::SetRts(bool on) {
  if (!m_bOpen || m_bHungUp) return false;
  // The target is held in reset while RTS is asserted and starts when it is released,
  // in the boot program when DTR is asserted at that moment.
  if (m_bRts && !on) m_target.Restart(m_bDtr);
  m_bRts = on;
  return true;
}

bool InProcessPort::SetDtr(bool on) {
  if (!m_bOpen || m_bHungUp) return false;
  m_bDtr = on;
  return true;
}

bool InProcessPort::WriteByte(std::uint8_t byte) {
  if (!m_bOpen || m_bHungUp) return false;
  if (m_bRts) return true;  // a target in reset hears nothing
  Reply reply;
  m_target.Receive(byte, m_nRate, reply);
  m_input.insert(m_input.end(), reply.bytes.begin(), reply.bytes.end());
  if (reply.hangUp) m_bHungUp = true;
  return true;
}

bool InProcessPort::Read(std::uint8_t* buffer, std::size_t count, std::size_t* countRead) {
  if (countRead) *countRead = 0;
  if (!m_bOpen) return false;
  std::size_t got = 0;
  while (got < count && !m_input.empty()) {
    buffer[got++] = m_input.front();
    m_input.pop_front();
  }
  if (got < count && m_bHungUp) return false;
  if (got < count && m_nTimeoutMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(m_nTimeoutMs));
  if (countRead) *countRead = got;
  return true;
}

bool InProcessPort::ReadByte(std::uint8_t* byte) {
  std::size_t got = 0;
  return Read(byte, 1, &got) && got == 1;
}

}  // namespace zerviko::sim
