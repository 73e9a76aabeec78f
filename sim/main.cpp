// zerviko-target: the virtual printer. Makes a pseudo-terminal, prints the device
// path to open, and answers the flash kernel's protocol on it until stopped.
#include <CLI/CLI.hpp>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <algorithm>
#include <functional>
#include <map>
#include <thread>

#include "sim/PtyServer.h"
#include "sim/SysfsBridge.h"

namespace {

using namespace zerviko::sim;

// One process serves a bench of printers, each on its own thread and pseudo-terminal.
constexpr int MAX_PRINTERS = 64;
PtyServer* g_servers[MAX_PRINTERS] = {};
volatile sig_atomic_t g_stop = 0;

extern "C" void OnSignal(int) {
  g_stop = 1;
  for (PtyServer* server : g_servers) {
    if (server) server->RequestStop();
  }
}

// A fault for one printer of the bench ("2@silent:0x50"), or for every printer when
// the text names none; the text after the "@" is that of a single printer's fault.
struct PrinterFault {
  int printer = -1;  // -1: every printer
  Fault fault;
};

bool ParsePrinterFault(const std::string& text, int count, PrinterFault* result,
                       std::string* error) {
  std::string spec = text;
  result->printer = -1;
  const std::size_t at = text.find('@');
  if (at != std::string::npos) {
    char* end = nullptr;
    const long index = std::strtol(text.c_str(), &end, 10);
    if (at == 0 || end != text.c_str() + at || index < 0 || index >= count) {
      *error = "bad fault \"" + text + "\": the printer before @ must be 0 to " +
               std::to_string(count - 1);
      return false;
    }
    result->printer = static_cast<int>(index);
    spec = text.substr(at + 1);
  }
  return ParseFault(spec, &result->fault, error);
}

// The file or link of printer index: "%d" in the text becomes the index; a folder
// given for links holds one named ttyZERVIKO and the index. Empty text stays empty.
std::string ForPrinter(const std::string& text, int index, bool folderHoldsLinks) {
  const std::size_t at = text.find("%d");
  if (at != std::string::npos) {
    return text.substr(0, at) + std::to_string(index) + text.substr(at + 2);
  }
  std::error_code ignored;
  if (folderHoldsLinks && !text.empty() && std::filesystem::is_directory(text, ignored)) {
    return (std::filesystem::path(text) / ("ttyZERVIKO" + std::to_string(index))).string();
  }
  return text;
}

bool ParseSize(const std::string& text, std::uint32_t* size) {
  if (text.empty()) return false;
  std::uint64_t multiplier = 1;
  std::string digits = text;
  const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
  if (last == 'K') multiplier = 1024;
  if (last == 'M') multiplier = 1024 * 1024;
  if (multiplier != 1) digits.pop_back();
  char* end = nullptr;
  const unsigned long long value = std::strtoull(digits.c_str(), &end, 0);
  if (digits.empty() || !end || *end != '\0' || value == 0) return false;
  const std::uint64_t bytes = value * multiplier;
  if (bytes > 0x80000000ull) return false;
  *size = static_cast<std::uint32_t>(bytes);
  return true;
}

// "8x4K,32K,7x64K": block sizes from address 0 (or --flash-base), in order.
bool ParseBlocks(const std::string& text, std::uint32_t base, std::vector<EraseBlock>* blocks,
                 std::string* error) {
  blocks->clear();
  std::uint64_t address = base;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    std::uint32_t count = 1;
    const std::size_t x = item.find('x');
    if (x != std::string::npos) {
      // Kept in a variable of its own: end points into it after the call.
      const std::string number = item.substr(0, x);
      char* end = nullptr;
      count = static_cast<std::uint32_t>(std::strtoul(number.c_str(), &end, 10));
      if (x == 0 || !end || *end != '\0' || count == 0 || count > 255) {
        *error = "bad block count in \"" + item + "\"";
        return false;
      }
      item = item.substr(x + 1);
    }
    std::uint32_t size = 0;
    if (!ParseSize(item, &size)) {
      *error = "bad block size \"" + item + "\"";
      return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      if (address + size > 0x100000000ull || blocks->size() >= 255) {
        *error = "the blocks do not fit: at most 255 blocks within 4 GiB";
        return false;
      }
      blocks->push_back({static_cast<std::uint32_t>(address),
                         static_cast<std::uint32_t>(address + size - 1)});
      address += size;
    }
  }
  return true;
}


// A plug or unplug of printer P at T seconds from the start ("3@4.5").
struct PlugEvent {
  double seconds = 0;
  int printer = 0;
  bool plug = true;
};

bool ParsePlugEvent(const std::string& text, int count, bool plug, PlugEvent* event,
                    std::string* error) {
  const std::size_t at = text.find('@');
  char* end = nullptr;
  const long printer = std::strtol(text.c_str(), &end, 10);
  const bool printerOk = at != std::string::npos && at > 0 && end == text.c_str() + at &&
                         printer >= 0 && printer < count;
  double seconds = -1;
  if (printerOk) {
    const std::string when = text.substr(at + 1);
    seconds = std::strtod(when.c_str(), &end);
    if (when.empty() || *end != '\0') seconds = -1;
  }
  if (!printerOk || !(seconds >= 0 && seconds <= 86400)) {
    *error = std::string(plug ? "--plug" : "--unplug") + " \"" + text +
             "\": expected P@SECONDS, P a printer from 0 to " + std::to_string(count - 1);
    return false;
  }
  *event = {seconds, static_cast<int>(printer), plug};
  return true;
}

// When a plug line is printed: UTC to the millisecond, as the station's record gives a
// run's time, so that the two can be laid side by side.
std::string PlugTime() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  char text[40] = "";
  const std::size_t length = ::gmtime_r(&seconds, &utc) ? std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc) : 0;
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
  return text;
}

// Printers that come and go as bridges in a sysfs tree, on the schedule of events
// (sorted by time), until a signal. Each plug-in is a fresh printer on a new
// pseudo-terminal, as a printer switched on again starts afresh; an unplug takes its
// bridge out of the tree and then drops its line, as pulling the cable does.
int ServeSchedule(const std::vector<PlugEvent>& events, const std::filesystem::path& root,
                  const std::string& serialText, const std::vector<int>& withoutPort,
                  const std::function<std::unique_ptr<PtyServer>(int)>& makeServer) {
  struct Plugged {
    SysfsBridge bridge;
    std::unique_ptr<PtyServer> server;
  };
  std::map<int, Plugged> plugged;
  const auto unplug = [&plugged](int printer) {
    const auto found = plugged.find(printer);
    if (found == plugged.end()) return;
    UnplugBridge(found->second.bridge);
    if (found->second.server) {
      found->second.server->HangUp();
      found->second.server->Stop();
    }
    plugged.erase(found);
    std::cout << PlugTime() << " printer " << printer << " unplugged" << std::endl;
  };
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  for (std::size_t next = 0; !g_stop;) {
    const auto now = std::chrono::steady_clock::now();
    for (; next < events.size() && start + std::chrono::duration<double>(events[next].seconds) <= now; ++next) {
      const PlugEvent& event = events[next];
      if (!event.plug) {
        unplug(event.printer);
        continue;
      }
      if (plugged.count(event.printer)) continue;
      Plugged printer;
      printer.bridge.root = root;
      printer.bridge.number = event.printer;
      printer.bridge.serial = ForPrinter(serialText, event.printer, false);
      std::string error;
      const bool portless = std::count(withoutPort.begin(), withoutPort.end(), event.printer) > 0;
      if (!portless) {
        printer.server = makeServer(event.printer);
        if (!printer.server->Start(&error)) {
          std::cerr << "zerviko-target: cannot make a pseudo-terminal: " << error << "\n";
          status = 1;
          break;
        }
        printer.bridge.devicePath = printer.server->DevicePath();
      }
      if (!PlugBridge(printer.bridge, &error)) {
        std::cerr << "zerviko-target: " << error << "\n";
        status = 1;
        break;
      }
      std::cout << PlugTime() << " printer " << event.printer << " plugged in: "
                << (portless ? std::string("no port") : printer.bridge.PortPath() + " -> " + printer.bridge.devicePath)
                << ", serial " << printer.bridge.serial << std::endl;
      plugged.emplace(event.printer, std::move(printer));
    }
    if (status != 0) break;
    // Polled, so that the signal handler need do no more than set a flag.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  while (!plugged.empty()) unplug(plugged.begin()->first);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "zerviko-target: a virtual ZERVIKO printer on a pseudo-terminal.\n"
      "Prints the device path to open on its first output line (one line per printer\n"
      "with --count), then answers the flash kernel's protocol (resident-kernel flow),\n"
      "or with --boot its boot program first (boot-mode flow), until interrupted. It\n"
      "accepts only the stand-in kernel files built beside it."};
  std::string link, flashOut, statsPath, blocksText;
  std::vector<std::string> deviceTexts, faultTexts;
  std::vector<int> stuck;
  int count = 1;
  bool pace = false, noDevices = false, blank = false, once = false, verbose = false;
  bool boot = false;
  double eraseMs = -1, writeMs = -1;
  std::uint32_t flashBase = 0;
  app.add_option("--count", count,
                 "serve N independent printers, each with its own pseudo-terminal, flash and "
                 "faults; their device paths are printed one per line, printer 0 first")
      ->check(CLI::Range(1, MAX_PRINTERS));
  app.add_option("--link", link,
                 "also make a symbolic link PATH to the device; with --count, a PATH holding "
                 "%d (the printer's number) or a folder, where the links are ttyZERVIKO0, "
                 "ttyZERVIKO1...");
  app.add_flag("--boot", boot,
               "start in the boot program, as a printer put there by hand for the "
               "boot-mode flow (zerviko-flash program --boot-mode --reset manual); after "
               "each completed write it restarts there again");
  app.add_flag("--pace", pace,
               "take the time a real line needs for every byte (11 bits at the host's rate) "
               "and, unless set, 20 ms per erase and 2 ms per block write");
  app.add_option("--erase-time", eraseMs, "milliseconds one block erase takes (default 0)")
      ->check(CLI::Range(0.0, 60000.0));
  app.add_option("--write-time", writeMs, "milliseconds one 128-byte block write takes (default 0)")
      ->check(CLI::Range(0.0, 60000.0));
  app.add_option("--device", deviceTexts,
                 "CODE:NAME of a device in the kernel's list; repeat for more "
                 "(default 2329:\"ZV2329F 512K flash\")");
  app.add_flag("--no-devices", noDevices, "the kernel's device list is empty");
  app.add_option("--blocks", blocksText,
                 "erase blocks as sizes from the flash base, e.g. \"8x4K,32K,7x64K\" "
                 "(the default: 512 KiB)");
  app.add_option("--flash-base", flashBase, "address of the first erase block (default 0)");
  app.add_flag("--blank", blank, "start with an erased flash (default: an older firmware)");
  app.add_option("--stuck-block", stuck,
                 "an erase block that acknowledges its erase but keeps its content; repeatable");
  app.add_option("--fault", faultTexts,
                 "inject a fault; repeatable. silent:CMD[:N] (no answer from the Nth CMD on), "
                 "error:CMD:CODE[:N] (error reply CMD|0x80 CODE), bad-checksum:CMD[:N], "
                 "cut:CMD:BYTES[:N] (answer cut short, then silence), "
                 "hang-up:CMD[:N[:BYTES]] (the line drops after BYTES of the frame). "
                 "CMD is a command byte (0x3F, 0x20, 0x10, 0x26, 0x40, 0x48, 0x4D, 0x43, 0x50); "
                 "N counts every arrival of that byte, module loads included. The boot "
                 "program's answers: CMD sync (to the zeros), proceed (to 0x55), download "
                 "(after the micro-kernel), e.g. silent:sync, error:sync:0x7F, "
                 "error:proceed:0xFF; silent:echo[:N] (no echo from the Nth download byte on), "
                 "bad-echo:INDEX (that echo inverted). With --count, P@SPEC injects it into "
                 "printer P only (from 0)");
  app.add_option("--flash-out", flashOut,
                 "write the flash content to FILE after each end of write and on exit (with "
                 "--count, %d in FILE stands for the printer's number)");
  app.add_option("--stats", statsPath,
                 "on exit write line_seconds, processing_seconds, late_seconds (timer "
                 "lateness of paced replies), bytes_received and bytes_sent to FILE (with "
                 "--count, %d in FILE stands for the printer's number)");
  std::string sysfsRoot, serialText = "ZV%d";
  std::vector<std::string> plugTexts, unplugTexts;
  std::vector<int> noPort;
  double plugEvery = 0;
  auto* sysfs = app.add_option("--sysfs", sysfsRoot,
                               "let the printers come and go as USB bridges in a sysfs tree below "
                               "ROOT (made as needed), as zerviko-flash sees them with "
                               "ZERVIKO_SYSFS_ROOT=ROOT: sys/class/tty/ttyUSB<P> and dev/ttyUSB<P>, "
                               "a link to printer P's pseudo-terminal; printer P is plugged in "
                               "at P times --plug-every seconds unless --plug says when. Each "
                               "plug-in and unplug prints a line that begins with its time (UTC, "
                               "to the millisecond), and each plug-in gets a new USB device "
                               "number; serves until interrupted. ROOT must not hold a sys/ tree "
                               "it did not make (the machine's own is refused), and it removes "
                               "nothing it did not make");
  app.add_option("--serial", serialText,
                 "the bridges' serial text, %d standing for the printer's number (default ZV%d)")
      ->needs(sysfs);
  app.add_option("--plug-every", plugEvery, "seconds between the printers' plug-ins (default 0)")
      ->check(CLI::Range(0.0, 3600.0))
      ->needs(sysfs);
  app.add_option("--plug", plugTexts, "P@SECONDS: plug printer P in at that time; repeatable")->needs(sysfs);
  app.add_option("--unplug", unplugTexts,
                 "P@SECONDS: unplug printer P at that time (its line drops); repeatable, and "
                 "with a later --plug it is plugged in again, a fresh printer")
      ->needs(sysfs);
  app.add_option("--no-port", noPort,
                 "printer P's bridge gives no port (its driver is not bound: it has no tty); repeatable")
      ->needs(sysfs);
  auto* onceFlag = app.add_flag("--once", once, "exit when the host closes the port after a completed write");
  onceFlag->excludes(sysfs);
  app.add_flag("-v,--verbose", verbose, "print every frame received on standard error");
  CLI11_PARSE(app, argc, argv);

  TargetConfig config;
  config.blankAtStart = blank;
  config.startInBootMode = boot;
  config.stuckBlocks = stuck;
  if (noDevices) config.devices.clear();
  if (!deviceTexts.empty()) {
    config.devices.clear();
    for (const std::string& text : deviceTexts) {
      const std::size_t colon = text.find(':');
      if (colon != 4) {
        std::cerr << "zerviko-target: --device wants CODE:NAME with a four-character code\n";
        return 2;
      }
      config.devices.push_back({text.substr(0, 4), text.substr(5)});
    }
  }
  std::string error;
  if (!blocksText.empty() && !ParseBlocks(blocksText, flashBase, &config.eraseBlocks, &error)) {
    std::cerr << "zerviko-target: --blocks: " << error << "\n";
    return 2;
  }
  if (blocksText.empty() && flashBase != 0) {
    for (EraseBlock& block : config.eraseBlocks) {
      block.first += flashBase;
      block.last += flashBase;
    }
  }
  std::vector<PrinterFault> faults;
  for (const std::string& text : faultTexts) {
    PrinterFault fault;
    if (!ParsePrinterFault(text, count, &fault, &error)) {
      std::cerr << "zerviko-target: " << error << "\n";
      return 2;
    }
    faults.push_back(fault);
  }
  if (count > 1) {
    std::error_code ignored;
    const struct {
      const char* option;
      const std::string& text;
      bool folder;
    } named[] = {{"--link", link, true}, {"--flash-out", flashOut, false}, {"--stats", statsPath, false}};
    for (const auto& n : named) {
      if (n.text.empty() || n.text.find("%d") != std::string::npos ||
          (n.folder && std::filesystem::is_directory(n.text, ignored)))
        continue;
      std::cerr << "zerviko-target: " << n.option << " with --count needs %d in its name"
                << (n.folder ? " or a folder" : "") << ", one for each printer\n";
      return 2;
    }
  }
  using std::chrono::microseconds;
  if (eraseMs < 0) eraseMs = pace ? 20 : 0;
  if (writeMs < 0) writeMs = pace ? 2 : 0;
  config.eraseTime = microseconds(static_cast<long long>(eraseMs * 1000));
  config.writeTime = microseconds(static_cast<long long>(writeMs * 1000));

  const std::function<std::unique_ptr<PtyServer>(int)> makeServer = [&](int i) {
    TargetConfig own = config;
    for (const PrinterFault& fault : faults) {
      if (fault.printer < 0 || fault.printer == i) own.faults.push_back(fault.fault);
    }
    PtyServerOptions options;
    options.pace = pace;
    options.flashOutPath = ForPrinter(flashOut, i, false);
    options.releaseAfterWrite = once;
    if (verbose) {
      const std::string who = count > 1 ? "zerviko-target " + std::to_string(i) : "zerviko-target";
      options.onFrame = [who](const FrameRecord& frame) {
        std::string line = who + ": ";
        char field[32];
        std::snprintf(field, sizeof field, "%6d bps:", frame.lineRate);
        line += field;
        const std::size_t shown = std::min<std::size_t>(frame.bytes.size(), 16);
        for (std::size_t b = 0; b < shown; ++b) {
          std::snprintf(field, sizeof field, " %02X", frame.bytes[b]);
          line += field;
        }
        if (shown < frame.bytes.size()) line += " ... (" + std::to_string(frame.bytes.size()) + " bytes)";
        std::fprintf(stderr, "%s\n", line.c_str());  // one call: printers' lines never mix
      };
    }
    return std::make_unique<PtyServer>(std::move(own), std::move(options));
  };
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  if (!sysfsRoot.empty()) {
    std::vector<PlugEvent> events;
    std::vector<bool> scheduled(static_cast<std::size_t>(count), false);
    for (const auto& [texts, plug] : {std::pair{&plugTexts, true}, {&unplugTexts, false}}) {
      for (const std::string& text : *texts) {
        PlugEvent event;
        if (!ParsePlugEvent(text, count, plug, &event, &error)) {
          std::cerr << "zerviko-target: " << error << "\n";
          return 2;
        }
        if (plug) scheduled[static_cast<std::size_t>(event.printer)] = true;
        events.push_back(event);
      }
    }
    for (int i = 0; i < count; ++i) {
      if (!scheduled[static_cast<std::size_t>(i)]) events.push_back({i * plugEvery, i, true});
    }
    // At one moment an unplug goes before a plug, so that P@T for both replugs.
    std::stable_sort(events.begin(), events.end(), [](const PlugEvent& a, const PlugEvent& b) {
      return a.seconds < b.seconds || (a.seconds == b.seconds && !a.plug && b.plug);
    });
    for (int printer : noPort) {
      if (printer < 0 || printer >= count) {
        std::cerr << "zerviko-target: --no-port " << printer << ": no such printer\n";
        return 2;
      }
    }
    if (!ClaimSysfsRoot(sysfsRoot, &error)) {
      std::cerr << "zerviko-target: --sysfs: " << error << "\n";
      return 2;
    }
    return ServeSchedule(events, sysfsRoot, serialText, noPort, makeServer);
  }

  std::vector<std::unique_ptr<PtyServer>> servers;
  std::vector<std::string> links;
  for (int i = 0; i < count; ++i) {
    servers.push_back(makeServer(i));
    if (!servers.back()->Open(&error)) {
      std::cerr << "zerviko-target: cannot make a pseudo-terminal: " << error << "\n";
      return 1;
    }
    links.push_back(ForPrinter(link, i, true));
    const std::string& path = links.back();
    if (path.empty()) continue;
    ::unlink(path.c_str());
    if (::symlink(servers.back()->DevicePath().c_str(), path.c_str()) != 0) {
      std::cerr << "zerviko-target: cannot link " << path << ": " << std::strerror(errno) << "\n";
      for (const std::string& made : links) ::unlink(made.c_str());
      return 1;
    }
  }
  for (int i = 0; i < count; ++i) g_servers[i] = servers[static_cast<std::size_t>(i)].get();
  if (g_stop) return 0;  // a signal before the servers were known to the handler

  for (const auto& server : servers) std::cout << server->DevicePath() << '\n';
  std::cout << std::flush;
  std::vector<std::thread> threads;
  for (const auto& server : servers) threads.emplace_back([s = server.get()] { s->Serve(); });
  for (std::thread& thread : threads) thread.join();

  for (int i = 0; i < count; ++i) {
    PtyServer& server = *servers[static_cast<std::size_t>(i)];
    const bool hungUp = server.HungUp();
    server.Stop();
    g_servers[i] = nullptr;
    if (!links[static_cast<std::size_t>(i)].empty()) ::unlink(links[static_cast<std::size_t>(i)].c_str());
    const std::string stats = ForPrinter(statsPath, i, false);
    if (!stats.empty()) {
      std::ofstream out(stats, std::ios::trunc);
      out << "line_seconds=" << server.LineSeconds() << "\n"
          << "processing_seconds=" << server.ProcessingSeconds() << "\n"
          << "late_seconds=" << server.LateSeconds() << "\n"
          << "bytes_received=" << server.Inspect([](const Target& t) { return t.BytesReceived(); })
          << "\n"
          << "bytes_sent=" << server.Inspect([](const Target& t) { return t.BytesSent(); }) << "\n";
    }
    if (verbose && hungUp) {
      std::cerr << "zerviko-target" << (count > 1 ? " " + std::to_string(i) : std::string())
                << ": the line was dropped (fault)\n";
    }
  }
  return 0;
}
