// zerviko-target: the virtual printer. Makes a pseudo-terminal, prints the device
// path to open, and answers the flash kernel's protocol on it until stopped.
#include <CLI/CLI.hpp>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "sim/PtyServer.h"

namespace {

using namespace zerviko::sim;

PtyServer* g_server = nullptr;

extern "C" void OnSignal(int) {
  if (g_server) g_server->RequestStop();
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "zerviko-target: a virtual ZERVIKO printer on a pseudo-terminal.\n"
      "Prints the device path to open on its first output line, then answers the\n"
      "flash kernel's protocol (resident-kernel flow), or with --boot its boot program\n"
      "first (boot-mode flow), until interrupted. It accepts only the stand-in kernel\n"
      "files built beside it."};
  std::string link, flashOut, statsPath, blocksText;
  std::vector<std::string> deviceTexts, faultTexts;
  std::vector<int> stuck;
  bool pace = false, noDevices = false, blank = false, once = false, verbose = false;
  bool boot = false;
  double eraseMs = -1, writeMs = -1;
  std::uint32_t flashBase = 0;
  app.add_option("--link", link, "also make a symbolic link PATH to the device");
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
                 "bad-echo:INDEX (that echo inverted)");
  app.add_option("--flash-out", flashOut,
                 "write the flash content to FILE after each end of write and on exit");
  app.add_option("--stats", statsPath,
                 "on exit write line_seconds, processing_seconds, late_seconds (timer "
                 "lateness of paced replies), bytes_received and bytes_sent to FILE");
  app.add_flag("--once", once, "exit when the host closes the port after a completed write");
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
  for (const std::string& text : faultTexts) {
    Fault fault;
    if (!ParseFault(text, &fault, &error)) {
      std::cerr << "zerviko-target: " << error << "\n";
      return 2;
    }
    config.faults.push_back(fault);
  }
  using std::chrono::microseconds;
  if (eraseMs < 0) eraseMs = pace ? 20 : 0;
  if (writeMs < 0) writeMs = pace ? 2 : 0;
  config.eraseTime = microseconds(static_cast<long long>(eraseMs * 1000));
  config.writeTime = microseconds(static_cast<long long>(writeMs * 1000));

  PtyServerOptions options;
  options.pace = pace;
  options.flashOutPath = flashOut;
  options.releaseAfterWrite = once;
  if (verbose) {
    options.onFrame = [](const FrameRecord& frame) {
      std::fprintf(stderr, "zerviko-target: %6d bps:", frame.lineRate);
      const std::size_t shown = std::min<std::size_t>(frame.bytes.size(), 16);
      for (std::size_t i = 0; i < shown; ++i) std::fprintf(stderr, " %02X", frame.bytes[i]);
      if (shown < frame.bytes.size())
        std::fprintf(stderr, " ... (%zu bytes)", frame.bytes.size());
      std::fputc('\n', stderr);
    };
  }
  PtyServer server(std::move(config), std::move(options));
  if (!server.Open(&error)) {
    std::cerr << "zerviko-target: cannot make a pseudo-terminal: " << error << "\n";
    return 1;
  }
  if (!link.empty()) {
    ::unlink(link.c_str());
    if (::symlink(server.DevicePath().c_str(), link.c_str()) != 0) {
      std::cerr << "zerviko-target: cannot link " << link << ": " << std::strerror(errno) << "\n";
      return 1;
    }
  }
  g_server = &server;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  std::cout << server.DevicePath() << std::endl;
  server.Serve();
  const bool hungUp = server.HungUp();
  server.Stop();
  g_server = nullptr;
  if (!link.empty()) ::unlink(link.c_str());
  if (!statsPath.empty()) {
    std::ofstream stats(statsPath, std::ios::trunc);
    stats << "line_seconds=" << server.LineSeconds() << "\n"
          << "processing_seconds=" << server.ProcessingSeconds() << "\n"
          << "late_seconds=" << server.LateSeconds() << "\n"
          << "bytes_received=" << server.Inspect([](const Target& t) { return t.BytesReceived(); })
          << "\n"
          << "bytes_sent=" << server.Inspect([](const Target& t) { return t.BytesSent(); }) << "\n";
  }
  if (verbose && hungUp) std::cerr << "zerviko-target: the line was dropped (fault)\n";
  return 0;
}
