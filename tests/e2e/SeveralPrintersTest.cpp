// zerviko-flash program on a bench of virtual printers at once.
#include <sys/stat.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/TermiosSerialPort.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

using Json = nlohmann::json;

Child Bench(const std::vector<std::string>& ports, const std::vector<std::string>& more,
            const std::string& terminal = "") {
  std::vector<std::string> arguments{ZERVIKO_FLASH, "program"};
  for (const std::string& port : ports) arguments.insert(arguments.end(), {"--port", port});
  arguments.insert(arguments.end(), more.begin(), more.end());
  return Child(arguments, terminal);
}

// What --json said of each port: its messages and its result, checked to come in
// that order, and the last line.
struct BenchJson {
  explicit BenchJson(const std::string& out) {
    std::istringstream stream(out);
    std::string line;
    while (std::getline(stream, line)) {
      const Json object = Json::parse(line);
      if (!object.contains("port")) {
        last = object;
        continue;
      }
      EXPECT_EQ(line.rfind(R"({"port":)", 0), 0u) << line;
      const std::string port = object["port"];
      EXPECT_FALSE(results.count(port)) << "after the port's result: " << line;
      if (object.contains("result")) {
        results[port] = object["result"];
      } else {
        messages[port].push_back(object);
      }
    }
  }
  // The lines a port's run reported, as its block in the status log holds them.
  std::string LogLines(const std::string& port) const {
    std::string lines = "****** PORT " + port + " ******\r\n";
    for (const Json& m : messages.at(port))
      lines += std::to_string(m["level"].get<int>()) + ": " + m["text"].get<std::string>() + "\r\n";
    return lines;
  }
  std::map<std::string, std::vector<Json>> messages;
  std::map<std::string, std::string> results;
  Json last;
};

TEST(SeveralPrinters, EachRunOnItsOwnWithItsJsonAndItsLogBlock) {
  const Bytes pattern = Pattern(3000);
  const std::string image(pattern.begin(), pattern.end());
  const std::string imagePath = File("bench.bin", image);
  // Five printers of one program; printer 2 refuses its second block, and the test
  // holds printer 4's port as another program would.
  Child target({ZERVIKO_TARGET, "--count", "5", "--link", Path("bench-tty%d"), "--fault",
                "2@error:0x50:0x53:2", "--flash-out", Path("bench-flash%d.bin")});
  std::vector<std::string> ports;
  for (int i = 0; i < 5; ++i) ports.push_back(Path("bench-tty" + std::to_string(i)));
  // The links appear once the printers are up.
  for (int i = 0; i < 1000 && ::access(ports[4].c_str(), F_OK) != 0; ++i) std::this_thread::sleep_for(10ms);
  TermiosSerialPort holder;
  EXPECT_TRUE(holder.Open(ports[4]));

  const std::vector<std::vector<std::string>> namedTwice = {
      {ports[0], ports[0]}, {ports[1], std::filesystem::read_symlink(ports[1]).string()}, {"all", ports[0]},
      {ports[3], std::filesystem::path(ports[3]).lexically_relative(std::filesystem::current_path()).string()}};
  for (const auto& twice : namedTwice) {
    Child usage = Bench(twice, {"--image", imagePath});
    EXPECT_EQ(usage.Run(30s), 2) << twice[1] << usage.err;
  }

  Child bench = Bench(ports, {"--image", imagePath, "--json", "--log", Path("bench.log")});
  EXPECT_EQ(bench.Run(60s), 1) << bench.err;
  const BenchJson json(bench.out);
  EXPECT_EQ(json.last, Json::parse(R"({"result":"failed","failed":[")" + ports[2] + R"(",")" +
                                   ports[4] + R"("]})"));
  const std::string wanted[] = {"ok", "ok", "failed", "ok", "failed"};
  const std::string log = ReadFile(Path("bench.log"));
  std::size_t logSize = 0;
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(ports[i]);
    EXPECT_EQ(json.results.at(ports[i]), wanted[i]) << json.messages.at(ports[i]).back()["text"];
    // Each run's lines, whole, after the line that names its port.
    const std::string block = json.LogLines(ports[i]) + "****** END OF CURRENT UPDATE ******\r\n\r\n";
    EXPECT_NE(log.find(block), std::string::npos);
    logSize += block.size();
  }
  EXPECT_EQ(log.size(), logSize) << "nothing but the five blocks";
  EXPECT_EQ(json.messages.at(ports[2]).back()["text"], "Error, kernel says: WRITE_ERROR");
  EXPECT_EQ(json.messages.at(ports[4]).back()["text"], "Can't open " + ports[4]);
  EXPECT_NE(bench.err.find(ports[4] + " is in use by another program."), std::string::npos) << bench.err;

  // With "all", the stand-in bridge and a printer bridge whose interface 0 has no tty (its
  // driver unbound) are the bench: the output names the port, printable, and the bridge by its USB path.
  const std::string usb = "bench-sysfs/sys/devices/usb1/1-5", tty = Path(usb + "/1-5:1.1/ttyUSB4/tty/ttyUSB4");
  std::filesystem::create_directories(tty);
  std::filesystem::create_directories(Path("bench-sysfs/sys/class/tty"));
  for (auto [file, text] : {std::pair{"/idVendor", "10c4"}, {"/idProduct", "ea60"}, {"/1-5:1.1/bInterfaceNumber", "01"},
                            {"/product", "Tarno Corp. Zerviko / Talvrine USB"}})
    File(usb + file, std::string(text) + "\n");
  std::filesystem::create_directory_symlink(Path(usb + "/1-5:1.1/ttyUSB4"), tty + "/device");
  std::filesystem::create_directory_symlink(tty, Path("bench-sysfs/sys/class/tty/ttyUSB4"));
  std::filesystem::create_symlink(ports[0], Path("bridge\x1b[2J"));
  ::setenv("ZERVIKO_SYSFS_ROOT", Path("bench-sysfs").c_str(), 1);
  ::setenv("ZERVIKO_BRIDGE_PORT", Path("bridge\x1b[2J").c_str(), 1);
  // Without a terminal, plain lines prefixed with the port, then the table; /dev/full said once.
  Child all = Bench({"all"}, {"--image", imagePath, "--log", "/dev/full"});
  ::unsetenv("ZERVIKO_BRIDGE_PORT");
  EXPECT_EQ(all.Run(60s), 1) << all.err;
  EXPECT_NE(all.out.find(Path("bridge\\x1b[2J") + ": Writing image to the EEPROM\n"), std::string::npos) << all.out;
  EXPECT_NE(all.out.find(Path("bridge\\x1b[2J") + ": Firmware has been successfully loaded.\nPORT "), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("\nusb 1-5 "), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("printer bridge found, no port\n1 of 2 printers programmed; failed: usb 1-5.\n"),
            std::string::npos) << all.out;
  const std::string full = "zerviko-flash: cannot write the log /dev/full: No space left on device; the log is incomplete\n";
  EXPECT_TRUE(all.err.find(full) != std::string::npos && all.err.find(full) == all.err.rfind(full)) << all.err;

  target.Signal(SIGTERM);  // the printers write their flash as they stop
  EXPECT_EQ(target.Run(30s), 0);
  for (int i : {0, 1, 3})
    EXPECT_EQ(ReadFile(Path("bench-flash" + std::to_string(i) + ".bin")).substr(0, image.size()), image) << i;
}

TEST(SeveralPrinters, CtrlCStopsEveryRunBeforeItsNextBlock) {
  const sim::TargetConfig config = Config(10ms);  // slow enough writes that the signal lands mid-image
  std::vector<std::unique_ptr<Printer>> printers;
  std::vector<std::string> ports;
  for (int i = 0; i < 4; ++i) ports.push_back(printers.emplace_back(std::make_unique<Printer>(config))->Device());
  const Bytes image = Pattern(256 * 128);
  Child bench = Bench(ports, {"--image", File("bench-big.bin", std::string(image.begin(), image.end())), "--json"});
  std::thread user([&] {  // once a printer has its fourth block
    for (int i = 0; i < 3000 && printers[0]->Flash()[384] != image[384]; ++i) std::this_thread::sleep_for(10ms);
    bench.Signal(SIGINT);
  });
  EXPECT_EQ(bench.Run(60s), 1);
  user.join();
  const BenchJson json(bench.out);
  EXPECT_EQ(json.last["failed"].size(), 4u) << bench.out;
  for (const std::string& port : ports)
    EXPECT_EQ(json.messages.at(port).back()["text"], "Programming aborted") << port;
  EXPECT_EQ(bench.out.find("Writing block 7F80..7FFF"), std::string::npos) << "stopped early";
}

// A reader that goes away (| head -n 3) never stops a run, alone or on a bench, and its
// log is whole. A bench that is killed keeps beside its log every line it had reported.
TEST(SeveralPrinters, AReaderGoingAwayOrAKillLosesNoLogLine) {
  Printer printers[2] = {Printer(Config(5ms)), Printer(Config(5ms))};  // runs that outlast their reader
  const std::vector<std::string> ports = {printers[0].Device(), printers[1].Device()};
  const Bytes image = Pattern(64 * 128);
  const std::string imagePath = File("pipe.bin", std::string(image.begin(), image.end())), fifo = Path("out.fifo"),
                    end = "1: Programming complete, please reset target\r\n****** END OF CURRENT UPDATE ******\r\n\r\n";
  const auto beside = [](const std::string& log, std::string held = "") {  // what the files beside the log hold
    for (const auto& entry : std::filesystem::directory_iterator(Path("")))
      if (entry.path().string().rfind(log + ".", 0) == 0) held += ReadFile(entry.path().string());
    return held;
  };
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::size_t count : {1u, 2u}) {
    const std::string log = Path("pipe" + std::to_string(count) + ".log");
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    Child bench = Bench({ports.begin(), ports.begin() + count}, {"--image", imagePath, "--json", "--log", log}, fifo);
    for (char c = 0, lines = 0; lines < 3 && ::fcntl(reader, F_SETFL, 0) == 0 && ::read(reader, &c, 1) == 1;) lines += c == '\n';
    ::close(reader);
    EXPECT_EQ(bench.Run(60s), 0) << count << bench.err;
    const std::string written = ReadFile(log);
    EXPECT_EQ(written.rfind(end), written.size() - end.size()) << written;
    EXPECT_EQ(written.find(end) != written.rfind(end), count == 2) << written;
    EXPECT_EQ(beside(log), "") << "removed once the blocks are in the log";
  }
  Child bench = Bench(ports, {"--image", imagePath, "--start-address", "0x4000", "--json", "--log", Path("killed.log")});
  for (int i = 0; i < 3000 && printers[0].Flash()[0x4000 + 384] != image[384]; ++i) std::this_thread::sleep_for(10ms);
  bench.Signal(SIGKILL), bench.Run(60s);
  const BenchJson json(bench.out);
  for (const std::string& port : ports) EXPECT_NE(beside(Path("killed.log")).find(json.LogLines(port)), std::string::npos);
}

// On a terminal: a live line per port, redrawn in place, the last drawing each run's
// end, then the table; port names printable.
TEST(SeveralPrinters, OnATerminalALiveLinePerPortThenTheTable) {
  Printer good, refusing({}, {"error:0x50:0x53:2"});
  std::filesystem::create_symlink(refusing.Device(), Path("tty\x1b]0;title\x07"));
  Terminal terminal(24, 200);
  const Bytes image = Pattern(1000);
  Child bench = Bench({good.Device(), Path("tty\x1b]0;title\x07")}, {"--image", File("tty.bin", std::string(image.begin(), image.end()))},
                      terminal.Name());
  terminal.HandOver();
  EXPECT_EQ(bench.Run(60s), 1) << bench.err;
  const std::string screen = terminal.Screen();

  const std::string ports[] = {good.Device(), Path("tty\\x1b]0;title\\x07")};
  const std::size_t width = std::max(ports[0].size(), ports[1].size());
  auto padded = [&](std::string port) { return port + std::string(width - port.size(), ' '); };
  // The last drawing, then the table, and nothing else.
  const std::size_t last = screen.rfind("\033[2A");
  ASSERT_NE(last, std::string::npos) << screen;
  const std::string drawn = "\033[2A\r\033[K" + padded(ports[0]) + "  [####################] 100 % programmed\n"
                            "\r\033[K" + padded(ports[1]) + "  [##..................]  12 % FAILED: Error, kernel says: WRITE_ERROR\n\n";
  EXPECT_EQ(screen.substr(last, drawn.size()), drawn);
  std::istringstream table(screen.substr(last + drawn.size()));
  std::string line[4];
  for (std::string& l : line) std::getline(table, l);
  EXPECT_EQ(line[0].rfind("PORT", 0), 0u) << line[0];
  EXPECT_EQ(line[1].rfind(padded(ports[0]) + "  ok      ", 0), 0u) << line[1];
  EXPECT_EQ(line[2].rfind(padded(ports[1]) + "  failed  ", 0), 0u) << line[2];
  EXPECT_EQ(line[3], "1 of 2 printers programmed; failed: " + ports[1] + ".");
  EXPECT_TRUE(table.peek() == EOF) << screen;
  EXPECT_NE(bench.err.find(ports[1] + ": programming failed: Error, kernel says: WRITE_ERROR"), std::string::npos);
}

}  // namespace
}  // namespace zerviko::e2e
