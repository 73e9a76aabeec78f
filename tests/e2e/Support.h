// Shared pieces of the end-to-end tests: temporary folders, the engine's messages as
// a test sees them, and a child program whose output is read line by line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/ProgramTarget.h"

extern char** environ;

namespace zerviko::e2e {

using Clock = std::chrono::steady_clock;

// A fresh folder under $TMPDIR, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zerviko-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data())) m_path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Message {
  int percent = 0;
  int level = 0;
  int block = 0;
  std::string text;
  Clock::time_point when;
};

struct RunRecord {
  std::vector<Message> messages;
  // Set by a test to stop the run: the callback sets the abort byte at this message.
  std::function<bool(const Message&)> abortAt;

  static int Callback(void* context, int percent, int level, int block, const char* text,
                      std::uint8_t* abortFlag) {
    auto* record = static_cast<RunRecord*>(context);
    record->messages.push_back({percent, level, block, text, Clock::now()});
    if (record->abortAt && record->abortAt(record->messages.back())) *abortFlag = 1;
    return 0;
  }

  int ErrorCount() const {
    int count = 0;
    for (const Message& m : messages) count += m.level == LEVEL_ERROR;
    return count;
  }
  const Message* Find(const std::string& text) const {
    for (const Message& m : messages)
      if (m.text == text) return &m;
    return nullptr;
  }
  const std::string& LastText() const {
    static const std::string none;
    return messages.empty() ? none : messages.back().text;
  }
};

// A random image of `size` bytes with no 0xFF in it, so every piece is written.
inline std::vector<std::uint8_t> TestImage(std::size_t size, std::uint32_t seed = 1) {
  std::vector<std::uint8_t> image(size);
  std::uint32_t x = seed * 2654435761u + 12345;
  for (auto& byte : image) {
    x = x * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>((x >> 16) % 255);
  }
  return image;
}

// A program run as a child, with its standard output read a line at a time.
class Child {
 public:
  // env: "NAME=VALUE" sets a variable for the child, a bare "NAME" removes it.
  explicit Child(const std::vector<std::string>& arguments,
                 const std::vector<std::string>& env = {}) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      bool replaced = false;
      for (const std::string& change : env)
        replaced |= change.substr(0, change.find('=')) == name;
      if (!replaced) environment.push_back(entry);
    }
    for (const std::string& change : env)
      if (change.find('=') != std::string::npos) environment.push_back(change);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
  }
  ~Child() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      Wait();
    }
    if (m_out >= 0) ::close(m_out);
    if (m_err >= 0) ::close(m_err);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reads until the program ends or the bound passes (then it is killed); each
  // complete line of standard output goes to onLine as it arrives.
  int Run(std::chrono::milliseconds bound, const std::function<void(const std::string&)>& onLine = {}) {
    const auto deadline = Clock::now() + bound;
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    std::size_t delivered = 0;
    int open = m_pid > 0 ? 2 : 0;
    while (open > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        ::kill(m_pid, SIGKILL);
        timedOut = true;
        break;
      }
      if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          sinks[i]->append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          fds[i].fd = -1;
          --open;
        }
      }
      std::size_t end;
      while (onLine && (end = out.find('\n', delivered)) != std::string::npos) {
        onLine(out.substr(delivered, end - delivered));
        delivered = end + 1;
      }
    }
    return Wait();
  }
  void Signal(int signal) const {
    if (m_pid > 0) ::kill(m_pid, signal);
  }

  std::string out;
  std::string err;
  bool timedOut = false;

 private:
  int Wait() {
    if (m_pid <= 0) return -1;
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t m_pid = -1;
  int m_out = -1;
  int m_err = -1;
};

}  // namespace zerviko::e2e
