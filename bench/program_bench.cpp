// One full-size programming run against the virtual printer paced at 115200 bps, run
// as a separate process so that this process's CPU time is the host's alone.
//
// Prints the wall time, the time the line needs for every byte exchanged plus the
// printer's emulated processing time (as the printer counted them), their ratio, and
// the host's CPU time and peak memory.
//
// With --printers, a bench of paced printers (zerviko-target --count N) is programmed
// by zerviko-flash program with one --port per printer, for each N of the list, and a
// row per N gives the wall time against one printer's, the CPU time of zerviko-flash
// against one core, and its peak memory and what each printer adds to it.
//
//   zerviko-bench-program [--size BYTES] [--baud N] [--target PATH] [--printers 1,2,4,8]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "engine/ProgramTarget.h"

namespace {

using zerviko::bench::Spawn;

using Clock = std::chrono::steady_clock;

struct Counters {
  int messages = 0;
  int errors = 0;
  std::string last;
  std::string error;  // the loader's last error message
};

int Count(void* context, int, int level, int, const char* text, std::uint8_t*) {
  auto* counters = static_cast<Counters*>(context);
  ++counters->messages;
  if (level == zerviko::LEVEL_ERROR) ++counters->errors, counters->error = text;
  counters->last = text;
  return 0;
}

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

std::map<std::string, double> ReadStats(const std::string& path) {
  std::map<std::string, double> stats;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) stats[line.substr(0, eq)] = std::atof(line.c_str() + eq + 1);
  }
  std::remove(path.c_str());
  return stats;
}

struct BenchRow {
  bool ok = false;
  double wall = 0;
  double budget = 0;  // the slowest printer's line and processing time
  double cpu = 0;
  long peakKiB = 0;
};

// One bench of `printers` paced printers programmed by zerviko-flash at once.
BenchRow RunBench(int printers, const std::string& target, const std::string& imagePath,
                  const std::string& folder, int baud) {
  BenchRow row;
  int out[2];
  if (::pipe(out) != 0) return row;
  const std::string stats = folder + "/stats%d";
  const pid_t targetPid = Spawn({target, "--count", std::to_string(printers), "--pace", "--once",
                                 "--stats", stats},
                                out[1], out[0]);
  ::close(out[1]);
  std::vector<std::string> flash{ZERVIKO_FLASH, "program", "--image", imagePath, "--baud",
                                 std::to_string(baud)};
  std::string line;
  char c;
  while (static_cast<int>(flash.size()) < 6 + 2 * printers && ::read(out[0], &c, 1) == 1) {
    if (c != '\n') {
      line += c;
      continue;
    }
    flash.insert(flash.end(), {"--port", line});
    line.clear();
  }
  ::close(out[0]);
  if (targetPid < 0 || static_cast<int>(flash.size()) < 6 + 2 * printers) return row;

  const auto start = Clock::now();
  const pid_t flashPid = Spawn(flash, -1);
  int status = -1;
  rusage usage{};
  if (flashPid > 0) ::wait4(flashPid, &status, 0, &usage);
  row.wall = std::chrono::duration<double>(Clock::now() - start).count();
  row.ok = flashPid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  row.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  row.peakKiB = usage.ru_maxrss;
  if (!row.ok) ::kill(targetPid, SIGTERM);  // a printer not written to never lets go
  ::waitpid(targetPid, &status, 0);
  for (int i = 0; i < printers; ++i) {
    auto printer = ReadStats(folder + "/stats" + std::to_string(i));
    row.budget = std::max(row.budget, printer["line_seconds"] + printer["processing_seconds"]);
  }
  return row;
}

int BenchTable(const std::string& list, const std::vector<std::uint8_t>& image,
               const std::string& target, int baud) {
  char folderTemplate[] = "/tmp/zerviko-bench-XXXXXX";
  if (!::mkdtemp(folderTemplate)) return 1;
  const std::string folder = folderTemplate;
  const std::string imagePath = folder + "/image.bin";
  std::ofstream(imagePath, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  double loads[3] = {};
  ::getloadavg(loads, 3);
  std::printf("%zu bytes to each printer at %d bps; load average %.2f %.2f %.2f\n", image.size(),
              baud, loads[0], loads[1], loads[2]);
  std::printf("printers   wall s  wall / 1 printer  wall / (line + processing)  CPU s  CPU %% of a "
              "core  peak MiB  MiB per printer over 1\n");
  BenchRow first;
  bool allOk = true;
  std::stringstream items(list);
  std::string item;
  while (std::getline(items, item, ',')) {
    const int printers = std::atoi(item.c_str());
    if (printers < 1) continue;
    const BenchRow row = RunBench(printers, target, imagePath, folder, baud);
    // zerviko-flash has said why on standard error; the rows after it would fail alike.
    if (!row.ok) {
      std::printf("%8d  FAILED\n", printers);
      allOk = false;
      break;
    }
    if (first.wall == 0) first = row;
    char perPrinter[32] = "";
    if (printers > 1 && first.peakKiB > 0)
      std::snprintf(perPrinter, sizeof perPrinter, "%.3f",
                    (row.peakKiB - first.peakKiB) / 1024.0 / (printers - 1));
    std::printf("%8d %8.2f %17.3f %27.4f %6.2f %15.2f %9.1f %23s%s\n", printers, row.wall,
                row.wall / first.wall, row.budget > 0 ? row.wall / row.budget : 0.0, row.cpu,
                100.0 * row.cpu / row.wall, row.peakKiB / 1024.0, perPrinter, "");
  }
  std::filesystem::remove_all(folder);
  return allOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t size = 384 * 1024;
  int baud = 115200;
  std::string target = ZERVIKO_TARGET;
  std::string printers;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--size")) size = std::strtoul(argv[i + 1], nullptr, 0);
    else if (!std::strcmp(argv[i], "--baud")) baud = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--target")) target = argv[i + 1];
    else if (!std::strcmp(argv[i], "--printers")) printers = argv[i + 1];
  }

  const std::vector<std::uint8_t> image = zerviko::bench::BenchImage(size);
  if (!printers.empty()) return BenchTable(printers, image, target, baud);

  char statsTemplate[] = "/tmp/zerviko-bench-XXXXXX";
  const int statsFd = ::mkstemp(statsTemplate);
  if (statsFd < 0) return 1;
  ::close(statsFd);
  const std::string statsPath = statsTemplate;

  int out[2];
  if (::pipe(out) != 0) return 1;
  const pid_t pid = Spawn({target, "--pace", "--once", "--stats", statsPath}, out[1], out[0]);
  if (pid < 0) return 1;
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

  // The printer stops by itself only after a completed write: a failed run stops it, and
  // the benchmark ends with the loader's message rather than figures of a run not made.
  if (!ok) ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(out[0]);
  std::map<std::string, double> stats = ReadStats(statsPath);
  if (!ok) {
    std::fprintf(stderr, "zerviko-bench-program: the run failed: %s\n",
                 (counters.error.empty() ? counters.last : counters.error).c_str());
    return 1;
  }

  const double lineSeconds = stats["line_seconds"];
  const double processing = stats["processing_seconds"];
  const double budget = lineSeconds + processing;
  const double cpu = Seconds(after.ru_utime) - Seconds(before.ru_utime) + Seconds(after.ru_stime) -
                     Seconds(before.ru_stime);
  std::printf("run:                 ok (%d messages)\n", counters.messages);
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
  return 0;
}
