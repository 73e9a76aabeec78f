// The virtual printer on a pseudo-terminal: a Target served on the master side while
// the host opens the slave as its serial port, with the real termios port on top.
//
// The server keeps a descriptor of the slave open itself, so that the host may close
// and reopen the port between runs. It reads the rate the host set on the slave from
// the master side, which is how the target checks the lone 0x06 of the rate change.
// With pacing, every byte takes the time the line needs for it at the host's rate
// (11 bits: start, 8 data, 2 stop), and erases and block writes take the configured
// processing time.
//
// Serve runs on one thread; Stop, HangUp and Inspect may be called from any other.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "sim/Target.h"

namespace zerviko::sim {

struct PtyServerOptions {
  bool pace = false;
  std::string flashOutPath;   // written after each end-of-write and when serving ends
  bool releaseAfterWrite = false;  // end serving once the host closes after a write
  std::function<void(const FrameRecord&)> onFrame;  // called on the serving thread
};

class PtyServer {
 public:
  explicit PtyServer(TargetConfig config = {}, PtyServerOptions options = {});
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Makes the pseudo-terminal; the path to open is DevicePath() from then on.
  bool Open(std::string* error);
  const std::string& DevicePath() const { return m_strDevice; }

  // Serves on the calling thread until Stop, a hang-up, or (with releaseAfterWrite)
  // the host closing the port after a completed write.
  void Serve();
  // Open and Serve on a thread of the server's own.
  bool Start(std::string* error);
  // Ends serving and joins the thread; the pseudo-terminal is closed. Safe to repeat.
  void Stop();
  // Safe from a signal handler: asks Serve to end.
  void RequestStop();
  // Drops the line now, as an unplugged bridge does.
  void HangUp();

  // Runs f on the target under the server's lock.
  template <typename F>
  auto Inspect(F f) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return f(static_cast<const Target&>(m_target));
  }
  bool HungUp() const { return m_bHungUp.load(); }
  // Time the line needed for every byte exchanged, and the emulated processing time.
  double LineSeconds() const;
  double ProcessingSeconds() const;
  // How late the paced replies went out in all, from timers that woke up late.
  double LateSeconds() const;
  bool WriteFlash(const std::string& path, std::string* error);

 private:
  bool SendReply(const Reply& reply, std::int32_t rate,
                 std::chrono::steady_clock::time_point ready);
  bool WriteAll(const std::uint8_t* data, std::size_t size);
  void CloseLine();

  Target m_target;
  PtyServerOptions m_options;
  mutable std::mutex m_mutex;
  std::string m_strDevice;
  int m_master = -1;
  int m_slave = -1;
  int m_wake[2] = {-1, -1};
  std::thread m_thread;
  std::atomic<bool> m_bStop{false};
  std::atomic<bool> m_bHungUp{false};
  std::atomic<bool> m_bHangUpRequested{false};
  std::chrono::steady_clock::time_point m_rxFree{};
  std::chrono::steady_clock::time_point m_txFree{};
  std::chrono::nanoseconds m_lineTime{0};
  std::chrono::nanoseconds m_processingTime{0};
  std::chrono::steady_clock::duration m_lateness{0};       // not yet made up
  std::chrono::steady_clock::duration m_totalLateness{0};
};

}  // namespace zerviko::sim
