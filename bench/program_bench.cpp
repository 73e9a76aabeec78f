// One full-size programming run against the virtual printer paced at 115200 bps, run
// as a separate process so that this process's CPU time is the host's alone.
//
// Prints the wall time, the time the line needs for every byte exchanged plus the
// printer's emulated processing time (as the printer counted them), their ratio, and
// the host's CPU time and peak memory.
//
//   zerviko-bench-program [--size BYTES] [--baud N] [--target PATH]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/ProgramTarget.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Counters {
  int messages = 0;
  int errors = 0;
  std::string last;
};

int Count(void* context, int, int level, int, const char* text, std::uint8_t*) {
  auto* counters = static_cast<Counters*>(context);
  ++counters->messages;
  if (level == zerviko::LEVEL_ERROR) ++counters->errors;
  counters->last = text;
  return 0;
}

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  std::size_t size = 384 * 1024;
  int baud = 115200;
  std::string target = ZERVIKO_TARGET;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--size")) size = std::strtoul(argv[i + 1], nullptr, 0);
    else if (!std::strcmp(argv[i], "--baud")) baud = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--target")) target = argv[i + 1];
  }

  // The image: every fourth 128-byte piece erased (0xFF), the rest data without 0xFF.
  std::vector<std::uint8_t> image(size);
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    image[i] = (i / 128) % 4 == 3 ? 0xFF : static_cast<std::uint8_t>((x >> 16) % 255);
  }

  char statsTemplate[] = "/tmp/zerviko-bench-XXXXXX";
  const int statsFd = ::mkstemp(statsTemplate);
  if (statsFd < 0) return 1;
  ::close(statsFd);
  const std::string statsPath = statsTemplate;

  int out[2];
  if (::pipe(out) != 0) return 1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> args{target, "--pace", "--once", "--stats", statsPath};
  std::vector<char*> argvChild;
  for (auto& a : args) argvChild.push_back(a.data());
  argvChild.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, target.c_str(), &actions, nullptr, argvChild.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", target.c_str());
    return 1;
  }
  ::close(out[1]);
  std::string device;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') device += c;

  zerviko::ProgrammingOptions options;
  options.portName = device;
  options.baudRate = baud;
  const std::string dir = ZERVIKO_PROGRAM_DIR;
  options.mainKernelPath = dir + "Genm2329.cde";
  options.eraseModulePath = dir + "Gene2329.cde";
  options.writeModulePath = dir + "Genw2329.cde";

  Counters counters;
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  const auto start = Clock::now();
  const bool ok = zerviko::ProgramTarget(options, image.data(), static_cast<std::int32_t>(size),
                                         &Count, &counters);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);

  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(out[0]);
  std::map<std::string, double> stats;
  std::ifstream in(statsPath);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) stats[line.substr(0, eq)] = std::atof(line.c_str() + eq + 1);
  }
  std::remove(statsPath.c_str());

  const double lineSeconds = stats["line_seconds"];
  const double processing = stats["processing_seconds"];
  const double budget = lineSeconds + processing;
  const double cpu = Seconds(after.ru_utime) - Seconds(before.ru_utime) + Seconds(after.ru_stime) -
                     Seconds(before.ru_stime);
  std::printf("run:                 %s (%d messages%s%s)\n", ok ? "ok" : "FAILED", counters.messages,
              ok ? "" : ", last: ", ok ? "" : counters.last.c_str());
  std::printf("image:               %zu bytes, %zu pieces of 128, %zu empty\n", size,
              (size + 127) / 128, (size + 127) / 128 / 4);
  std::printf("bytes on the line:   %.0f to the printer, %.0f back\n", stats["bytes_received"],
              stats["bytes_sent"]);
  std::printf("wall time:           %.3f s\n", wall);
  std::printf("line time:           %.3f s (11 bits a byte at the rates in use)\n", lineSeconds);
  std::printf("printer processing:  %.3f s (erases and block writes)\n", processing);
  std::printf("wall / (line + processing): %.4f\n", budget > 0 ? wall / budget : 0.0);
  std::printf("printer timer lateness: %.3f s (made up from later processing time)\n",
              stats["late_seconds"]);
  std::printf("host CPU time:       %.3f s (%.2f %% of wall)\n", cpu, 100.0 * cpu / wall);
  std::printf("host peak memory:    %ld KiB (ru_maxrss)\n", after.ru_maxrss);
  return ok ? 0 : 1;
}
