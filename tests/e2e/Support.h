// The end-to-end suite's one helper: files in a folder of the test program's own, the
// virtual printer on a pseudo-terminal, a run of the engine, and a child program.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "engine/ProgramTarget.h"
#include "sim/PtyServer.h"

extern char** environ;

namespace zerviko::e2e {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string kBin = ZERVIKO_PROGRAM_DIR;

// A path in one folder for the whole test program, removed when it ends.
inline std::string Path(const std::string& name) {
  static const struct Made {
    std::string path = ::mkdtemp(std::string("/tmp/zerviko-e2e-XXXXXX").data());
    ~Made() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
  } made;
  return made.path + "/" + name;
}
inline std::string File(const std::string& name, const std::string& bytes) {
  std::ofstream(Path(name), std::ios::binary) << bytes;
  return Path(name);
}
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Polls until reached, or until the bound has passed: whether it was reached.
inline bool WaitFor(const std::function<bool()>& reached, std::chrono::milliseconds bound) {
  for (const auto deadline = Clock::now() + bound; Clock::now() < deadline; std::this_thread::sleep_for(10ms))
    if (reached()) return true;
  return reached();
}

// What a program said in JSON lines, line by line.
inline std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// count bytes from first on, never 0xFF, so that every piece of such an image is written.
inline Bytes Pattern(std::size_t count, unsigned first = 1) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>((first + i) % 255);
  return out;
}

// The virtual printer's settings: each block written in writeTime; with bootMode, in its
// boot program at the start.
inline sim::TargetConfig Config(std::chrono::microseconds writeTime, bool bootMode = false) {
  sim::TargetConfig config;
  config.writeTime = writeTime, config.startInBootMode = bootMode;
  return config;
}

// The virtual printer with these faults (as zerviko-target --fault takes them), served
// from a thread of its own for the life of the object.
class Printer {
 public:
  explicit Printer(sim::TargetConfig config = {}, std::vector<const char*> faults = {},
                   sim::PtyServerOptions options = {})
      : m_server(WithFaults(std::move(config), faults), std::move(options)) {
    std::string error;
    EXPECT_TRUE(m_server.Start(&error)) << error;
  }
  ~Printer() { m_server.Stop(); }
  const std::string& Device() const { return m_server.DevicePath(); }
  sim::PtyServer& Server() { return m_server; }
  auto Frames() { return m_server.Inspect([](const sim::Target& t) { return t.Frames(); }); }
  Bytes Flash() { return m_server.Inspect([](const sim::Target& t) { return t.Flash(); }); }
  auto BytesReceived() { return m_server.Inspect([](const sim::Target& t) { return t.BytesReceived(); }); }

 private:
  static sim::TargetConfig WithFaults(sim::TargetConfig config, const std::vector<const char*>& faults) {
    for (const char* text : faults)
      EXPECT_TRUE(sim::ParseFault(text, &config.faults.emplace_back(), nullptr));
    return config;
  }
  sim::PtyServer m_server;
};

// One run of the engine, over the termios port or the one given, and its messages.
struct EngineRun {
  struct Message {
    int percent, level, block;
    std::string text;
    Clock::time_point when;
  };
  std::vector<Message> messages;
  bool ok = false;

  EngineRun(const ProgrammingOptions& options, const Bytes& image, SerialPort* port = nullptr) {
    const auto size = static_cast<std::int32_t>(image.size());
    ok = port ? ProgramTarget(options, image.data(), size, &Callback, this, *port)
              : ProgramTarget(options, image.data(), size, &Callback, this);
  }
  static int Callback(void* context, int percent, int level, int block, const char* text, std::uint8_t*) {
    static_cast<EngineRun*>(context)->messages.push_back({percent, level, block, text, Clock::now()});
    return 0;
  }
};

inline ProgrammingOptions Options(const std::string& port) {
  ProgrammingOptions options;
  options.portName = port;
  options.mainKernelPath = kBin + "Genm2329.cde";
  options.eraseModulePath = kBin + "Gene2329.cde";
  options.writeModulePath = kBin + "Genw2329.cde";
  return options;
}

// A program run as a child, its standard output and error kept; or its standard output
// on a terminal (the device path of one), which the test reads.
class Child {
 public:
  explicit Child(const std::vector<std::string>& arguments, const std::string& terminal = "") {
    static int children = 0;
    m_out = Path("out" + std::to_string(++children));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, terminal.empty() ? m_out.c_str() : terminal.c_str(),
                                     terminal.empty() ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY | O_NOCTTY, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (m_out + "e").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    m_done = ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() { Run(0ms); }

  // Waits for the program to end, and kills it when the bound has passed; its exit status.
  int Run(std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    int status = 0;
    for (; !m_done && ::waitpid(m_pid, &status, WNOHANG) == 0; std::this_thread::sleep_for(5ms))
      if (Clock::now() > deadline && !timedOut) timedOut = ::kill(m_pid, SIGKILL) == 0;
    if (m_done.exchange(true)) return -1;
    out = ReadFile(m_out);
    err = ReadFile(m_out + "e");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Signal(int signal) const {
    if (!m_done) ::kill(m_pid, signal);
  }
  // What the program has written to standard output so far.
  std::string OutSoFar() const { return ReadFile(m_out); }
  std::string ErrSoFar() const { return ReadFile(m_out + "e"); }

  std::string out, err;
  bool timedOut = false;

 private:
  std::string m_out;
  pid_t m_pid = 0;
  std::atomic<bool> m_done{true};
};

// A terminal of rows by columns for a child's standard output, raw (the bytes as
// written, no CR added), read as the child draws on it.
class Terminal {
 public:
  Terminal(unsigned short rows, unsigned short columns) {
    termios raw{};
    ::cfmakeraw(&raw);
    winsize size{rows, columns, 0, 0};
    EXPECT_EQ(::openpty(&m_master, &m_slave, nullptr, &raw, &size), 0);
    m_reader = std::thread([this] {
      char bytes[4096];
      for (ssize_t n; (n = ::read(m_master, bytes, sizeof bytes)) > 0;) m_screen.append(bytes, static_cast<std::size_t>(n));
    });
  }
  ~Terminal() { Screen(); }
  std::string Name() const {
    const char* name = ::ttyname(m_slave);
    return name ? name : "";
  }
  // Once the child holds it: the child's end then ends the reading.
  void HandOver() {
    if (m_slave >= 0) ::close(m_slave);
    m_slave = -1;
  }
  // All that was drawn, once the child has ended.
  const std::string& Screen() {
    HandOver();
    if (m_reader.joinable()) m_reader.join(), ::close(m_master);
    return m_screen;
  }

 private:
  int m_master = -1, m_slave = -1;
  std::thread m_reader;
  std::string m_screen;
};

}  // namespace zerviko::e2e
