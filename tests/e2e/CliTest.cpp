// zerviko-flash and zerviko-target as a user runs them: exit statuses, the lines they
// print, the status log, and the virtual printer's own program.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <sstream>

#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

const std::string kFlash = ZERVIKO_FLASH;
const std::string kTarget = ZERVIKO_TARGET;

std::string Image(std::size_t size, unsigned first = 1) {
  const Bytes image = Pattern(size, first);
  return std::string(image.begin(), image.end());
}

// zerviko-flash program with these arguments.
Child Program(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {kFlash, "program"});
  return Child(arguments);
}

TEST(Cli, WhatEachRunShowsAndItsExitStatus) {
  // No printer bridge for --port auto, whatever this machine has attached.
  ::unsetenv("ZERVIKO_BRIDGE_PORT");
  ::unsetenv("ZERVIKO_EXTRA_PORTS");
  ::setenv("ZERVIKO_SYSFS_ROOT", Path("").c_str(), 1);
  sim::TargetConfig config;
  config.devices.push_back({"2330", "ZV\x1b[2J"});  // the printer's texts reach the terminal printable
  Printer printer(config);
  const std::string& port = printer.Device();
  const std::string image = File("image.bin", Image(500)), junk = File("junk.avk", "not a package\n");
  const std::string fifoKernels = Path("fifo/");
  std::filesystem::create_directory(fifoKernels);
  ASSERT_EQ(::mkfifo((fifoKernels + "Genm2329.cde").c_str(), 0600), 0);
  const std::string log = Path("Status.log"), unread = Path("unread.log"), missing = Path("none.avk");
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out;  // pieces of the standard output; "!" before one that must not be there
    std::string err;               // a piece of the standard error
  } rows[] = {
      {{"--port", port, "--image", image, "--no-device", "--erase-blocks", "1", "--start-address", "0x1000",
        "--log", log}, 0,
       {"Erasing target EEPROM\n", "!Selecting device", "!Writing block",
        "Programming complete, please reset target\nFirmware has been successfully loaded.\n"}, ""},
      {{"--port", port, "--image", image, "-v", "--erase-blocks", "0,1", "--log", log}, 0,
       {"1: Writing block 0000..007F\n", "3: Device ZV2329F 512K flash, code 2329\n",
        "3: Device ZV\\x1b[2J, code 2330\n", "!\x1b"}, ""},
      {{"--port", port, "--image", image, "--log", "/dev/full"}, 5, {"Firmware has been successfully loaded.\n"},
       "cannot write the log /dev/full: No space left on device"},
      {{"--port", port, "--image", image, "--json"}, 0,
       {R"({"percent":100,"level":1,"block":0,"text":"Programming complete, please reset target"})"
        "\n{\"result\":\"ok\"}\n"}, ""},
      // The largest rate the frame carries goes to the kernel, which refuses it.
      {{"--port", port, "--image", image, "--baud", "6553549", "--json"}, 1, {"BAUD_RATE_ERROR"}, ""},
      {{"--port", "/nonexistent/ttyZ", "--image", image, "--json"}, 1,
       {R"({"percent":0,"level":0,"block":0,"text":"Can't open /nonexistent/ttyZ"})"
        "\n{\"result\":\"failed\"}\n"},
       "/nonexistent/ttyZ does not exist"},
      // A kernel file that is not a file is refused unopened: the open of a FIFO with no
      // writer would wait for one.
      {{"--port", port, "--image", image, "--kernel-dir", fifoKernels}, 1, {},
       "programming failed: Can't open " + fifoKernels + "Genm2329.cde"},
      {{"--port", "auto", "--image", image}, 1, {}, "no ZERVIKO printer bridge found"},
      {{"--port", port, "--package", missing, "--json", "--log", unread}, 3,
       {"{\"result\":\"package-unavailable\"}\n", "!percent"}, ""},
      {{"--port", port, "--package", missing}, 3, {}, missing},
      {{"--port", port, "--package", junk, "--json", "--log", unread}, 4,
       {"{\"result\":\"package-unusable\"}\n", "!percent"}, ""},
  };
  std::string verbose;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[row.args.size() - 1]);
    Child child = Program(row.args);
    EXPECT_EQ(child.Run(30s), row.status) << child.err;
    for (const std::string& piece : row.out) {
      const bool absent = piece[0] == '!';
      EXPECT_EQ(child.out.find(piece.substr(absent)) == std::string::npos, absent) << child.out;
    }
    EXPECT_TRUE(child.err.find(row.err) != std::string::npos &&
                (row.err.empty() || child.err.find(row.err) == child.err.rfind(row.err))) << "once: " << child.err;
    if (std::find(row.args.begin(), row.args.end(), "-v") != row.args.end())
      verbose = child.out.substr(0, child.out.rfind("Firmware"));
  }
  // The status log: both runs, each message as the verbose output shows it, in text mode.
  const std::string marker = "****** END OF CURRENT UPDATE ******\r\n\r\n", written = ReadFile(log);
  std::string second;
  for (char c : verbose) second += c == '\n' ? std::string("\r\n") : std::string(1, c);
  second.replace(second.find("\\x1b"), 4, "\x1b");  // the log keeps the printer's text exact
  EXPECT_EQ(written.rfind("1: Setting baud rate\r\n", 0), 0u);
  EXPECT_EQ(written.substr(written.find(marker) + marker.size()), second + marker);
  EXPECT_EQ(ReadFile(unread), "") << "no run reached the engine";
}

TEST(Cli, UsageErrorsComeBeforeThePortIsOpened) {
  Printer printer;
  const std::string image = File("image.bin", Image(100));
  const std::vector<std::string> run = {"--port", printer.Device(), "--image", image};
  for (std::vector<std::string> extra : std::vector<std::vector<std::string>>{
           {"--baud", "0"}, {"--baud", "-9600"}, {"--baud", "6553550"}, {"--baud", "49"}, {"--baud", "fast"},
           {"--clock", "655355000"}, {"--clock", "0"}, {"--sync-baud", "0"}, {"--start-address", "-1"},
           {"--start-address", "0x100000000"}, {"--erase-blocks", "1,x"}, {"--erase-blocks", "-1"},
           {"--boot-mode"}, {"--reset", "manual"}, {"--device", "2329", "--no-device"}, {"--language", "2"},
           {"--package", image}}) {
    extra.insert(extra.begin(), run.begin(), run.end());
    Child child = Program(extra);
    EXPECT_EQ(child.Run(30s), 2) << extra[4];
    EXPECT_FALSE(child.err.empty()) << extra[4];
  }
  for (auto arguments : {std::vector<std::string>{"--image", image}, {"--port", printer.Device()},
                         {kTarget, "--fault", "bogus:0x50"}, {kTarget, "--fault", "error:0x50"},
                         {kTarget, "--blocks", "4K,zero"}, {kTarget, "--blocks", "255x1K,1K"},
                         {kTarget, "--count", "2", "--flash-out", Path("")}, {kTarget, "--device", "23:short code"}}) {
    Child child = arguments[0] == kTarget ? Child(arguments) : Program(arguments);
    EXPECT_EQ(child.Run(30s), 2) << arguments[1];
    EXPECT_FALSE(child.err.empty()) << arguments[1];
  }
  EXPECT_EQ(printer.BytesReceived(), 0u) << "nothing reached the printer";
}

TEST(Cli, CtrlCStopsTheRunBeforeTheNextBlock) {
  Printer printer(Config(5ms));  // slow enough writes that the signal lands mid-image
  const std::string image = Image(64 * 128);
  Child child = Program({"--port", printer.Device(), "--image", File("big.bin", image), "--json"});
  std::thread user([&] {  // once the fourth block is written
    WaitFor([&] { return printer.Flash()[384] == std::uint8_t(image[384]); }, 30s);
    child.Signal(SIGINT);
  });
  EXPECT_EQ(child.Run(30s), 1) << child.err;
  user.join();
  const std::string end = R"("level":0,"block":0,"text":"Programming aborted"})"
                          "\n{\"result\":\"failed\"}\n";
  EXPECT_NE(child.out.find(end), std::string::npos) << child.out;
  EXPECT_EQ(child.out.find("Writing block 1F80..1FFF"), std::string::npos) << "stopped early";
}

TEST(Cli, APackageIntoTheVirtualPrintersProgram) {
  // The printer as a user starts it, reached through a link, writing its flash to a
  // file and ending when the host closes the port after the write.
  const std::string image = Image(3000, 5);
  const std::string package = File("ZERVIKO_TEST.avk",
                                   "<LANG_ENGLISH>\r\n<REVISION>\r\nR\r\n<END REVISION>\r\n<DEVICE SETUP>\r\n"
                                   "S\r\n<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n" + image);
  const std::string link = Path("ttyZERVIKO");
  Child target({kTarget, "--link", link, "--flash-out", Path("flash.bin"), "--once", "--blocks", "2x4K",
                "--blank"});
  for (int i = 0; i < 3000 && ::access(link.c_str(), F_OK) != 0; ++i) std::this_thread::sleep_for(10ms);
  Child flash = Program({"--port", link, "--package", package});
  ASSERT_EQ(flash.Run(60s), 0) << flash.err;
  EXPECT_EQ(target.Run(10s), 0);
  EXPECT_FALSE(target.timedOut) << "the printer ends when the host closes after the write";
  EXPECT_EQ(target.out.substr(0, 9), "/dev/pts/");
  EXPECT_EQ(ReadFile(Path("flash.bin")), image + std::string(8192 - 3000, '\xFF'));
  EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the link is removed at the end";
}

// Each plug line of a bench of bridges begins with when it happened, UTC to the
// millisecond as the station's record has it, in the order of the schedule.
TEST(Cli, TheVirtualPrintersPlugLinesSayWhen) {
  const std::time_t before = std::time(nullptr);
  Child target({kTarget, "--count", "2", "--sysfs", Path("plug-sysfs"), "--unplug", "1@0.2"});
  for (int i = 0; i < 3000; ++i, std::this_thread::sleep_for(10ms)) {
    const std::string said = target.OutSoFar();
    if (std::count(said.begin(), said.end(), '\n') >= 3) break;
  }
  target.Signal(SIGINT);
  EXPECT_EQ(target.Run(30s), 0) << target.err;
  const std::time_t after = std::time(nullptr);
  std::istringstream lines(target.out);
  std::string line, last;
  for (const char* said : {" printer 0 plugged in: ", " printer 1 plugged in: ", " printer 1 unplugged", " printer 0 unplugged"}) {
    ASSERT_TRUE(std::getline(lines, line)) << target.out;
    ASSERT_TRUE(line.size() > 24 && line.compare(23, 1, "Z") == 0 && line.compare(24, std::strlen(said), said) == 0) << line;
    std::tm utc{};
    std::istringstream(line.substr(0, 19)) >> std::get_time(&utc, "%Y-%m-%dT%H:%M:%S");
    const std::time_t when = ::timegm(&utc);
    EXPECT_TRUE(when >= before && when <= after && line[19] == '.' && std::isdigit(line[22])) << line;
    EXPECT_LE(last, line.substr(0, 23));
    last = line.substr(0, 23);
  }
}

}  // namespace
}  // namespace zerviko::e2e
