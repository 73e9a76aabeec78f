// zerviko-flash inspect on files that are one line without a line end: bytes 0 (the
// line's text ends at the first of them) and 'x' (searched for markers to the end of
// the file). Each file is read once first, so that both measurements find it cached.
//
// Prints, best of three runs each, the time to read the file once in 64 KiB pieces
// (what cat does) and the wall time, exit status and peak memory (ru_maxrss) of
// zerviko-flash inspect on it.
//
//   zerviko-bench-package [--size BYTES] [--dir FOLDER]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool WriteFile(const std::string& path, std::size_t size, char fill) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::vector<char> chunk(1 << 20, fill);
  bool ok = true;
  for (std::size_t done = 0; ok && done < size;) {
    const ssize_t count = ::write(fd, chunk.data(), std::min(chunk.size(), size - done));
    ok = count > 0;
    done += ok ? static_cast<std::size_t>(count) : 0;
  }
  return ::close(fd) == 0 && ok;
}

double ReadOnce(const std::string& path) {
  const auto start = Clock::now();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<char> buffer(64 * 1024);
  while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
  }
  if (fd >= 0) ::close(fd);
  return Since(start);
}

struct Run {
  double seconds = 0;
  int status = -1;
  long maxRssKiB = 0;
};

Run Inspect(const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = ZERVIKO_FLASH;
  std::string command = "inspect";
  std::string file = path;
  char* argv[] = {program.data(), command.data(), file.data(), nullptr};
  Run run;
  const auto start = Clock::now();
  pid_t pid = -1;
  if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0) {
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = Since(start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.maxRssKiB = usage.ru_maxrss;
  }
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t size = std::size_t{1} << 30;
  std::string dir = "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--size")) size = std::strtoull(argv[i + 1], nullptr, 0);
    else if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
  }
  const std::string path = dir + "/zerviko-bench-package-" + std::to_string(::getpid()) + ".avk";
  std::printf("file: %zu bytes (%.0f MiB) without a line end, in %s\n", size, size / 1048576.0,
              dir.c_str());
  for (const auto& [fill, name] : {std::pair{'\0', "bytes 0"}, std::pair{'x', "bytes 'x'"}}) {
    if (!WriteFile(path, size, fill)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    ReadOnce(path);
    double once = 1e9;
    Run best;
    best.seconds = 1e9;
    for (int i = 0; i < 3; ++i) {
      once = std::min(once, ReadOnce(path));
      const Run run = Inspect(path);
      if (run.seconds < best.seconds) best = run;
    }
    std::printf("%-10s read once: %.3f s   inspect: %.3f s (%.2f x), exit %d, peak memory %ld KiB\n",
                name, once, best.seconds, best.seconds / once, best.status, best.maxRssKiB);
    std::remove(path.c_str());
  }
  return 0;
}
