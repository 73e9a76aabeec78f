// A programming station under load: zerviko-flash program --station watching a sysfs
// tree into which zerviko-target plugs paced printers (115200 bps) one after another.
// The station's output is its plain lines, to /dev/null; what it did is read from its
// --record, whose times are the moments each printer finished.
//
// First one printer alone, then N printers plugged at an interval. For each printer:
// its time from plug-in to done against the printer alone, and the detection delay
// (plug-in to the start of its run: plug-to-done less the run's own seconds). And for
// the station: its CPU time while waiting for printers, while programming N at once,
// and its peak memory.
//
//   zerviko-bench-station [--printers 8] [--interval 2] [--size BYTES] [--baud N]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"

namespace {

using Clock = std::chrono::system_clock;  // the record's clock
using zerviko::bench::Spawn;

double Since(Clock::time_point start, Clock::time_point t) {
  return std::chrono::duration<double>(t - start).count();
}

// "2026-12-07T17:41:52.123Z", as the record writes it.
Clock::time_point ParseUtc(const std::string& text) {
  std::tm utc{};
  int millis = 0;
  std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &utc.tm_year, &utc.tm_mon, &utc.tm_mday, &utc.tm_hour,
              &utc.tm_min, &utc.tm_sec, &millis);
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  return Clock::from_time_t(::timegm(&utc)) + std::chrono::milliseconds(millis);
}

std::vector<nlohmann::json> ReadRecord(const std::string& path) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '}') lines.push_back(nlohmann::json::parse(line));
  }
  return lines;
}

// The CPU seconds a process has used so far, from /proc.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14 || i == 15) ticks += std::atof(field.c_str());  // utime, stime
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A program's output lines, each with the time it came.
class Lines {
 public:
  explicit Lines(int fd) : m_thread([this, fd] { Read(fd); }) {}
  ~Lines() { m_thread.join(); }
  // Waits until done(lines) holds, or the output ends.
  template <typename F>
  void WaitFor(F done) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_bEnded || done(m_lines); });
  }
  std::vector<std::pair<Clock::time_point, std::string>> Taken() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
  }

 private:
  void Read(int fd) {
    std::string line;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
      const auto now = Clock::now();
      std::lock_guard<std::mutex> lock(m_mutex);
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] != '\n') {
          line += buffer[i];
          continue;
        }
        m_lines.emplace_back(now, line);
        line.clear();
      }
      m_changed.notify_all();
    }
    ::close(fd);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bEnded = true;
    m_changed.notify_all();
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::pair<Clock::time_point, std::string>> m_lines;
  bool m_bEnded = false;
  std::thread m_thread;
};

struct Printer {
  double plugToDone = 0;  // seconds
  double detection = 0;
  bool ok = false;
  std::string message;  // the last one
};

struct Session {
  std::vector<Printer> printers;
  double cpuWaiting = 0;  // share of one core
  double cpuProgramming = 0;
  long peakKiB = 0;
  bool ok = false;
};

// One station, idle for idleSeconds, then count printers plugged interval apart.
Session RunSession(int count, double interval, double idleSeconds, const std::string& imagePath,
                   const std::string& root, int baud) {
  Session session;
  std::filesystem::remove_all(root);
  const std::string record = root + ".record";
  std::filesystem::remove(record);
  ::setenv("ZERVIKO_SYSFS_ROOT", root.c_str(), 1);
  int targetOut[2];
  if (::pipe(targetOut) != 0) return session;
  const pid_t station = Spawn({ZERVIKO_FLASH, "program", "--station", "--record", record, "--image", imagePath,
                               "--baud", std::to_string(baud)},
                              -1);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
  const double idleCpu = CpuSeconds(station);
  if (idleSeconds > 0) session.cpuWaiting = idleCpu / Since(start, Clock::now());

  char every[32];
  std::snprintf(every, sizeof every, "%g", interval);
  const pid_t target = Spawn({ZERVIKO_TARGET, "--count", std::to_string(count), "--sysfs", root, "--pace",
                              "--plug-every", every},
                             targetOut[1], targetOut[0]);
  ::close(targetOut[1]);
  Lines targetLines(targetOut[0]);
  // The station's CPU time while all the printers are programmed at once: from the
  // last plug-in to the first printer's end.
  double allPluggedCpu = -1;
  Clock::time_point allPlugged;
  std::thread sampler([&] {
    targetLines.WaitFor([count](const auto& lines) { return static_cast<int>(lines.size()) >= count; });
    allPlugged = Clock::now();
    allPluggedCpu = CpuSeconds(station);
  });
  const auto waitForRecord = [&](std::size_t lines) {
    const auto bound = Clock::now() + std::chrono::minutes(5);
    while (ReadRecord(record).size() < lines && Clock::now() < bound)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  waitForRecord(1);
  const auto firstDone = Clock::now();
  const double firstDoneCpu = CpuSeconds(station);
  waitForRecord(static_cast<std::size_t>(count));
  sampler.join();
  if (count > 1 && allPluggedCpu >= 0 && firstDone > allPlugged)
    session.cpuProgramming = (firstDoneCpu - allPluggedCpu) / Since(allPlugged, firstDone);

  ::kill(station, SIGINT);
  int status = 0;
  rusage usage{};
  ::wait4(station, &status, 0, &usage);
  session.peakKiB = usage.ru_maxrss;
  ::kill(target, SIGINT);
  ::waitpid(target, &status, 0);

  // "printer P plugged in: ROOT/dev/ttyUSBP -> ..., serial ZVP"
  std::map<std::string, Clock::time_point> plugged;
  for (const auto& [when, line] : targetLines.Taken()) {
    const std::size_t serial = line.rfind("serial ");
    if (line.find("plugged in") != std::string::npos && serial != std::string::npos)
      plugged.emplace(line.substr(serial + 7), when);
  }
  session.ok = true;
  for (const nlohmann::json& object : ReadRecord(record)) {
    const auto plug = plugged.find(object["serial"].get<std::string>());
    if (plug == plugged.end()) continue;
    Printer printer;
    printer.ok = object["result"] == "ok";
    printer.message = object["message"];
    printer.plugToDone = Since(plug->second, ParseUtc(object["time"]));
    printer.detection = printer.plugToDone - object["seconds"].get<double>();
    session.ok &= printer.ok;
    session.printers.push_back(printer);
  }
  session.ok &= static_cast<int>(session.printers.size()) == count;
  ::unsetenv("ZERVIKO_SYSFS_ROOT");
  return session;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t size = 384 * 1024;
  int baud = 115200, count = 8;
  double interval = 2;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--size")) size = std::strtoul(argv[i + 1], nullptr, 0);
    else if (!std::strcmp(argv[i], "--baud")) baud = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--printers")) count = std::max(1, std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--interval")) interval = std::atof(argv[i + 1]);
  }
  char folderTemplate[] = "/tmp/zerviko-bench-XXXXXX";
  if (!::mkdtemp(folderTemplate)) return 1;
  const std::string folder = folderTemplate;
  const std::string imagePath = folder + "/image.bin";
  const std::vector<std::uint8_t> image = zerviko::bench::BenchImage(size);
  std::ofstream(imagePath, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  double loads[3] = {};
  ::getloadavg(loads, 3);
  std::printf("%zu bytes to each printer at %d bps; load average %.2f %.2f %.2f\n", size, baud, loads[0],
              loads[1], loads[2]);

  const Session alone = RunSession(1, interval, 0, imagePath, folder + "/sysfs", baud);
  const Session station = RunSession(count, interval, 5, imagePath, folder + "/sysfs", baud);
  std::filesystem::remove_all(folder);
  if (alone.printers.empty() || station.printers.empty()) {
    std::printf("FAILED: no printer finished\n");
    return 1;
  }
  const double single = alone.printers[0].plugToDone;
  std::printf("one printer alone: plug to done %.2f s (detection %.3f s)\n", single, alone.printers[0].detection);
  std::printf("%d printers plugged %g s apart:\nprinter  plug to done s  / alone  / (alone - its detection + own)  detection s\n",
              count, interval);
  std::vector<double> delays;
  for (std::size_t i = 0; i < station.printers.size(); ++i) {
    const Printer& p = station.printers[i];
    delays.push_back(p.detection);
    // The goal: the time alone, plus this printer's own detection delay.
    const double goal = single - alone.printers[0].detection + p.detection;
    std::printf("%7zu %15.2f %8.3f %34.3f %12.3f%s\n", i + 1, p.plugToDone, p.plugToDone / single,
                p.plugToDone / goal, p.detection, p.ok ? "" : ("  FAILED: " + p.message).c_str());
  }
  std::sort(delays.begin(), delays.end());
  const double median = (delays[(delays.size() - 1) / 2] + delays[delays.size() / 2]) / 2;
  std::printf("detection delay: median %.3f s, worst %.3f s\n", median, delays.back());
  std::printf("station CPU: %.2f %% of one core while waiting, %.2f %% while programming %d\n",
              100 * station.cpuWaiting, 100 * station.cpuProgramming, count);
  std::printf("station peak memory: %.1f MiB (%d printers), %.1f MiB (one)\n", station.peakKiB / 1024.0, count,
              alone.peakKiB / 1024.0);
  return alone.ok && station.ok ? 0 : 1;
}
