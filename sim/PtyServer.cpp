#include "sim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "engine/TermiosLine.h"

namespace zerviko::sim {
namespace {

using Clock = std::chrono::steady_clock;

// Start bit, 8 data bits, 2 stop bits.
constexpr int BITS_PER_BYTE = 11;

std::chrono::nanoseconds ByteTime(std::int32_t rate) {
  if (rate <= 0) rate = 9600;
  return std::chrono::nanoseconds(BITS_PER_BYTE * 1000000000LL / rate);
}

// Timers on a busy or virtual machine wake up late by a tenth of a millisecond or
// more, which over thousands of blocks would slow the emulated line measurably: sleep
// to just short of the moment, then spin the rest.
void SleepUntil(Clock::time_point when) {
  constexpr auto kSpin = std::chrono::microseconds(300);
  if (when - Clock::now() > kSpin) std::this_thread::sleep_until(when - kSpin);
  while (Clock::now() < when) {
  }
}

}  // namespace

PtyServer::PtyServer(TargetConfig config, PtyServerOptions options)
    : m_target(std::move(config)), m_options(std::move(options)) {}

PtyServer::~PtyServer() {
  Stop();
  if (m_wake[0] >= 0) ::close(m_wake[0]);
  if (m_wake[1] >= 0) ::close(m_wake[1]);
}

bool PtyServer::Open(std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    CloseLine();
    return false;
  };
  if (m_wake[0] < 0 && ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) return fail("pipe");
  m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (m_master < 0) return fail("posix_openpt");
  if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return fail("unlockpt");
  char name[128];
  if (::ptsname_r(m_master, name, sizeof name) != 0) return fail("ptsname");
  m_strDevice = name;
  // Held for the server's life, so that the host's close between runs does not hang
  // up the master side. Never read: every byte the host sends is the target's.
  m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (m_slave < 0) return fail("open slave");
  termios_line::MakeRaw(m_slave);
  termios_line::SetLineRate(m_slave, 9600);
  m_bHungUp = false;
  return true;
}

bool PtyServer::Start(std::string* error) {
  if (!Open(error)) return false;
  m_bStop = false;
  m_thread = std::thread([this] { Serve(); });
  return true;
}

void PtyServer::RequestStop() {
  m_bStop = true;
  if (m_wake[1] >= 0) {
    const char c = 's';
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
  }
}

void PtyServer::Stop() {
  RequestStop();
  if (m_thread.joinable()) m_thread.join();
  if (!m_options.flashOutPath.empty() && m_master >= 0) WriteFlash(m_options.flashOutPath, nullptr);
  CloseLine();
}

void PtyServer::HangUp() {
  m_bHangUpRequested = true;
  RequestStop();
}

void PtyServer::CloseLine() {
  if (m_slave >= 0) ::close(m_slave);
  if (m_master >= 0) ::close(m_master);
  m_slave = m_master = -1;
}

double PtyServer::LineSeconds() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::chrono::duration<double>(m_lineTime).count();
}

double PtyServer::LateSeconds() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::chrono::duration<double>(m_totalLateness).count();
}

double PtyServer::ProcessingSeconds() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::chrono::duration<double>(m_processingTime).count();
}

bool PtyServer::WriteFlash(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::string temporary = path + ".part";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  const auto& flash = m_target.Flash();
  out.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
  out.close();
  // Renamed into place, so a reader never sees half a flash.
  if (!out || std::rename(temporary.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool PtyServer::WriteAll(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(m_master, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    // The host is not reading: wait for room, or for the order to stop.
    pollfd fds[2] = {{m_master, POLLOUT, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[1].revents & POLLIN) return false;
  }
  return true;
}

bool PtyServer::SendReply(const Reply& reply, std::int32_t rate, Clock::time_point ready) {
  m_processingTime += reply.delay;
  if (!m_options.pace) {
    if (reply.delay.count() > 0) std::this_thread::sleep_for(reply.delay);
    return WriteAll(reply.bytes.data(), reply.bytes.size());
  }
  const auto byteTime = ByteTime(rate);
  // A wake-up that came late is made up from the next processing time, so that the
  // emulated printer keeps to its schedule over a whole run.
  const auto madeUp = std::min<Clock::duration>(m_lateness, reply.delay);
  m_lateness -= madeUp;
  ready += reply.delay - madeUp;
  for (std::uint8_t byte : reply.bytes) {
    // The byte goes into the pseudo-terminal as its start bit would go on the line:
    // the terminal's own delivery to the host stands for the byte's transmission.
    const auto start = std::max(m_txFree, ready);
    SleepUntil(start);
    const auto late = Clock::now() - start;
    if (late > std::chrono::microseconds(50)) {
      m_lateness += late;
      m_totalLateness += late;
    }
    m_txFree = start + byteTime;
    m_lineTime += byteTime;
    if (!WriteAll(&byte, 1)) return false;
  }
  return true;
}

void PtyServer::Serve() {
  // Pacing sleeps to the microsecond; the default timer slack would add 50 us a byte.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  std::uint8_t buffer[4096];
  int writesEnded = 0;
  bool released = false;
  while (!m_bStop && m_master >= 0) {
    pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    const int n = ::poll(fds, 2, released ? 50 : -1);
    if (n < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) break;
    if (released && (fds[0].revents & POLLHUP)) break;  // the host closed the port
    if (!(fds[0].revents & POLLIN)) continue;
    const ssize_t got = ::read(m_master, buffer, sizeof buffer);
    if (got <= 0) {
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (released) break;
      continue;
    }
    const auto readTime = Clock::now();
    std::int32_t rate = 0;
    termios_line::GetLineRate(m_master, &rate);
    const auto byteTime = ByteTime(rate);
    bool hangUp = false;
    for (ssize_t i = 0; i < got && !hangUp; ++i) {
      Reply reply;
      std::size_t framesBefore = 0;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        framesBefore = m_target.Frames().size();
        m_target.Receive(buffer[i], rate, reply);
        if (m_options.pace) {
          // A byte read now has spent its time in the terminal already; those queued
          // behind it still take the line's time each.
          m_rxFree = std::max(m_rxFree + byteTime, readTime);
          m_lineTime += byteTime;
        }
      }
      if (m_options.onFrame) {
        const auto& frames = m_target.Frames();
        for (std::size_t f = framesBefore; f < frames.size(); ++f) m_options.onFrame(frames[f]);
      }
      const auto ready = m_options.pace ? m_rxFree : Clock::now();
      if ((!reply.bytes.empty() || reply.delay.count() > 0) && !SendReply(reply, rate, ready)) {
        hangUp = m_bStop;
        if (!hangUp) break;
      }
      if (reply.hangUp) hangUp = true;
      const int ended = m_target.WritesEnded();
      if (ended != writesEnded) {
        writesEnded = ended;
        if (!m_options.flashOutPath.empty()) WriteFlash(m_options.flashOutPath, nullptr);
        if (m_options.releaseAfterWrite && m_slave >= 0) {
          // From now on the master sees the host's close as a hang-up.
          ::close(m_slave);
          m_slave = -1;
          released = true;
        }
      }
    }
    if (hangUp) {
      m_bHangUpRequested = true;
      break;
    }
  }
  if (m_bHangUpRequested) {
    if (!m_options.flashOutPath.empty()) WriteFlash(m_options.flashOutPath, nullptr);
    // Said before the line drops, so that whoever notices the drop finds it said.
    m_bHungUp = true;
    CloseLine();
  }
}

}  // namespace zerviko::sim
