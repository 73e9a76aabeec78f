#include "engine/TermiosSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>
#include <sstream>
#include <vector>

#include "engine/TermiosLine.h"

namespace zerviko {
namespace {

using Clock = std::chrono::steady_clock;
using termios_line::LineSettings;
using termios_line::Parity;

enum class ModemLine { Keep, On, Off };

struct ParsedSettings {
  LineSettings line;
  ModemLine dtr = ModemLine::Keep;
  ModemLine rts = ModemLine::Keep;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::optional<bool> OnOff(const std::string& value) {
  if (value == "on") return true;
  if (value == "off") return false;
  return std::nullopt;
}

// The mode command's rate values: the full number, or its first two digits for the
// classic rates ("96" is 9600, "11" is 110).
std::optional<std::int32_t> ParseBaud(const std::string& value) {
  if (value.empty() || value.size() > 9 ||
      !std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); }))
    return std::nullopt;
  static const struct {
    const char* abbreviation;
    std::int32_t rate;
  } kAbbreviations[] = {{"11", 110},   {"15", 150},   {"30", 300},   {"60", 600},
                        {"12", 1200},  {"24", 2400},  {"48", 4800},  {"96", 9600},
                        {"19", 19200}};
  for (const auto& a : kAbbreviations)
    if (value == a.abbreviation) return a.rate;
  const std::int32_t rate = std::stoi(value);
  if (rate <= 0) return std::nullopt;
  return rate;
}

// Parses the whole text before anything is applied, so that a text with one bad
// setting changes nothing. Settings a Linux terminal cannot honour (DSR flow control,
// DTR handshake, RTS toggle) are refused here too.
std::optional<ParsedSettings> ParseSettings(const std::string& text) {
  ParsedSettings parsed;
  std::istringstream words(text);
  std::string word;
  bool any = false;
  std::optional<double> stop;
  while (words >> word) {
    const std::size_t equals = word.find('=');
    if (equals == std::string::npos || equals == 0) return std::nullopt;
    const std::string key = Lower(word.substr(0, equals));
    const std::string value = Lower(word.substr(equals + 1));
    any = true;
    if (key == "baud") {
      auto rate = ParseBaud(value);
      if (!rate) return std::nullopt;
      parsed.line.baudRate = *rate;
    } else if (key == "parity") {
      static const std::pair<const char*, Parity> kParities[] = {
          {"n", Parity::None}, {"e", Parity::Even}, {"o", Parity::Odd},
          {"m", Parity::Mark}, {"s", Parity::Space}};
      auto it = std::find_if(std::begin(kParities), std::end(kParities),
                             [&](const auto& p) { return value == p.first; });
      if (it == std::end(kParities)) return std::nullopt;
      parsed.line.parity = it->second;
    } else if (key == "data") {
      if (value.size() != 1 || value[0] < '5' || value[0] > '8') return std::nullopt;
      parsed.line.dataBits = value[0] - '0';
    } else if (key == "stop") {
      if (value == "1") stop = 1;
      else if (value == "1.5") stop = 1.5;
      else if (value == "2") stop = 2;
      else return std::nullopt;
    } else if (key == "xon") {
      auto on = OnOff(value);
      if (!on) return std::nullopt;
      parsed.line.softwareFlow = *on;
    } else if (key == "octs") {
      auto on = OnOff(value);
      if (!on) return std::nullopt;
      parsed.line.hardwareFlow = *on;
    } else if (key == "odsr" || key == "idsr") {
      auto on = OnOff(value);
      if (!on || *on) return std::nullopt;  // Linux has no DSR flow control
    } else if (key == "to") {
      if (!OnOff(value)) return std::nullopt;  // write timeouts are the port's own
    } else if (key == "dtr") {
      if (value == "on") parsed.dtr = ModemLine::On;
      else if (value == "off") parsed.dtr = ModemLine::Off;
      else return std::nullopt;  // "hs": no DTR handshake on Linux
    } else if (key == "rts") {
      if (value == "on") parsed.rts = ModemLine::On;
      else if (value == "off") parsed.rts = ModemLine::Off;
      else if (value == "hs") parsed.line.hardwareFlow = true;
      else return std::nullopt;  // "tg": no RTS toggle on Linux
    } else {
      return std::nullopt;
    }
  }
  if (!any) return std::nullopt;
  if (stop) {
    // 1.5 stop bits exists only with 5 data bits, where the two-stop setting gives it.
    if (*stop == 1.5 && parsed.line.dataBits.value_or(0) != 5) return std::nullopt;
    parsed.line.twoStopBits = *stop != 1;
  }
  return parsed;
}

}  // namespace

TermiosSerialPort::~TermiosSerialPort() { Close(); }

bool TermiosSerialPort::Open(const std::string& name) {
  Close();
  // Non-blocking: the open must not wait for a carrier, and every later wait is a
  // poll with a deadline of its own.
  const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    m_nOpenError = errno;
    return false;
  }
  int error = 0;
  if (!::isatty(fd)) {
    error = ENOTTY;
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? EBUSY : errno;
  } else if (::ioctl(fd, TIOCEXCL) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::close(fd);
    m_nOpenError = error;
    return false;
  }
  int bits = 0;
  m_bModemLines = ::ioctl(fd, TIOCMGET, &bits) == 0;
  m_fd = fd;
  m_nOpenError = 0;
  m_nTimeoutMs = 0;
  return true;
}

void TermiosSerialPort::Close() {
  if (m_fd < 0) return;
  // The exclusive mode belongs to the terminal, not to this descriptor: it would
  // outlive the close while someone else holds the device (the virtual printer holds
  // its pseudo-terminal) and lock out the next run.
  ::ioctl(m_fd, TIOCNXCL);
  ::close(m_fd);
  m_fd = -1;
  m_bModemLines = false;
}

bool TermiosSerialPort::Configure(const std::string& settings) {
  if (m_fd < 0) return false;
  const std::optional<ParsedSettings> parsed = ParseSettings(settings);
  if (!parsed) return false;
  std::vector<unsigned char> saved;
  if (!termios_line::SaveLine(m_fd, &saved)) return false;
  if (!termios_line::ApplyLineSettings(m_fd, parsed->line)) return false;
  // A device without modem lines has none to release; asking for that is no failure.
  if (m_bModemLines) {
    int before = 0;
    bool ok = ::ioctl(m_fd, TIOCMGET, &before) == 0;
    if (ok && parsed->dtr != ModemLine::Keep) ok = SetModemLine(TIOCM_DTR, parsed->dtr == ModemLine::On);
    if (ok && parsed->rts != ModemLine::Keep) ok = SetModemLine(TIOCM_RTS, parsed->rts == ModemLine::On);
    if (!ok) {
      termios_line::RestoreLine(m_fd, saved);
      ::ioctl(m_fd, TIOCMSET, &before);
      return false;
    }
  }
  return true;
}

bool TermiosSerialPort::SetBaudRate(std::int32_t rate) {
  if (m_fd < 0 || rate <= 0) return false;
  std::vector<unsigned char> saved;
  if (!termios_line::SaveLine(m_fd, &saved)) return false;
  if (termios_line::SetLineRate(m_fd, rate)) return true;
  termios_line::RestoreLine(m_fd, saved);
  return false;
}

bool TermiosSerialPort::SetBufferSizes(std::uint32_t inputSize, std::uint32_t outputSize) {
  // The kernel sizes its own buffers; what is left is to refuse nonsense.
  constexpr std::uint32_t kLimit = 1u << 24;
  return m_fd >= 0 && inputSize > 0 && inputSize <= kLimit && outputSize <= kLimit;
}

bool TermiosSerialPort::SetReadTimeout(std::uint32_t milliseconds) {
  if (m_fd < 0) return false;
  m_nTimeoutMs = milliseconds;
  return true;
}

bool TermiosSerialPort::PurgeInput() { return m_fd >= 0 && ::tcflush(m_fd, TCIFLUSH) == 0; }

bool TermiosSerialPort::SetModemLine(int line, bool on) {
  return ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

bool TermiosSerialPort::SetRts(bool on) {
  return m_fd >= 0 && m_bModemLines && SetModemLine(TIOCM_RTS, on);
}

bool TermiosSerialPort::SetDtr(bool on) {
  return m_fd >= 0 && m_bModemLines && SetModemLine(TIOCM_DTR, on);
}

namespace {

// Waits for the events until the deadline. Returns 1 when the descriptor is ready,
// 0 when time ran out, -1 when the port is gone or the wait itself failed.
int WaitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    pollfd p{fd, events, 0};
    const int n = ::ppoll(&p, 1, &ts, nullptr);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) continue;  // the loop head decides whether time is really up
    if (p.revents & events) return 1;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
  }
}

}  // namespace

bool TermiosSerialPort::WriteByte(std::uint8_t byte) {
  if (m_fd < 0) return false;
  const auto deadline = Clock::now() + WriteStallLimit;
  for (;;) {
    const ssize_t n = ::write(m_fd, &byte, 1);
    if (n == 1) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;  // EIO, ENXIO: the port went away
    if (WaitReady(m_fd, POLLOUT, deadline) != 1) return false;
  }
}

bool TermiosSerialPort::Read(std::uint8_t* buffer, std::size_t count, std::size_t* countRead) {
  if (countRead) *countRead = 0;
  if (m_fd < 0) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(m_nTimeoutMs);
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = ::read(m_fd, buffer + got, count - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return false;  // a hung-up terminal reads as end of file
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return false;
    if (m_nTimeoutMs == 0) break;
    const int ready = WaitReady(m_fd, POLLIN, deadline);
    if (ready < 0) return false;
    if (ready == 0) break;
  }
  if (countRead) *countRead = got;
  return true;
}

bool TermiosSerialPort::ReadByte(std::uint8_t* byte) {
  std::size_t got = 0;
  return Read(byte, 1, &got) && got == 1;
}

}  // namespace zerviko
