// zerviko-flash and zerviko-target as a user runs them: exit statuses, the lines they
// print, the status log, and the virtual printer's own program.
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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

TEST(Cli, WhatEachRunShowsAndItsExitStatus) {
  Printer printer;
  const std::string& port = printer.Device();
  const std::string image = File("image.bin", Image(500)), junk = File("junk.avk", "not a package\n");
  const std::string log = Path("unread.log"), missing = Path("none.avk");
  const struct {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out;  // pieces of the standard output; "!" before one that must not be there
    std::string err;               // a piece of the standard error
  } rows[] = {
      {{"--port", port, "--image", image, "--no-device", "--erase-blocks", "1", "--start-address", "0x1000"},
       0,
       {"Erasing target EEPROM\n", "!Selecting device", "!Writing block",
        "Programming complete, please reset target\nFirmware has been successfully loaded.\n"}, ""},
      {{"--port", port, "--image", image, "-v", "--erase-blocks", "0,1"}, 0,
       {"1: Writing block 0000..007F\n", "3: Device ZV2329F 512K flash, code 2329\n"}, ""},
      // The largest rate the frame carries goes to the kernel, which refuses it.
      {{"--port", port, "--image", image, "--baud", "6553549", "--json"}, 1, {"BAUD_RATE_ERROR"}, ""},
      {{"--port", "/nonexistent/ttyZ", "--image", image, "--json"}, 1,
       {R"({"percent":0,"level":0,"block":0,"text":"Can't open /nonexistent/ttyZ"})"
        "\n{\"result\":\"failed\"}\n"},
       "/nonexistent/ttyZ does not exist"},
      {{"--port", port, "--image", image, "--kernel-dir", Path("")}, 1, {},
       "programming failed: Can't open " + Path("Genm2329.cde")},
      {{"--port", port, "--image", image, "--boot-mode", "--micro-kernel", image}, 1, {},
       "Communication port error [296]"},
      {{"--port", port, "--package", missing, "--json", "--log", log}, 3,
       {"{\"result\":\"package-unavailable\"}\n", "!percent"}, ""},
      {{"--port", port, "--package", missing}, 3, {}, missing},
      {{"--port", port, "--package", junk, "--json", "--log", log}, 4,
       {"{\"result\":\"package-unusable\"}\n", "!percent"}, ""},
      {{"--port", port, "--package", junk}, 4, {}, junk},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[row.args.size() - 1]);
    Child child = Program(row.args);
    EXPECT_EQ(child.Run(30s), row.status) << child.err;
    for (const std::string& piece : row.out) {
      const bool absent = piece[0] == '!';
      EXPECT_EQ(child.out.find(piece.substr(absent)) == std::string::npos, absent) << child.out;
    }
    EXPECT_NE(child.err.find(row.err), std::string::npos) << child.err;
  }
  EXPECT_EQ(ReadFile(log), "") << "no run reached the engine";
  Child automatic({"env", "-u", "ZERVIKO_BRIDGE_PORT", "-u", "ZERVIKO_EXTRA_PORTS", kFlash, "program",
                   "--port", "auto", "--image", image});
  EXPECT_EQ(automatic.Run(30s), 1);
  EXPECT_NE(automatic.err.find("no ZERVIKO printer bridge found"), std::string::npos) << automatic.err;
}

TEST(Cli, UsageErrorsComeBeforeThePortIsOpened) {
  Printer printer;
  const std::string image = File("image.bin", Image(100));
  const std::vector<std::string> run = {"--port", printer.Device(), "--image", image};
  for (std::vector<std::string> extra : std::vector<std::vector<std::string>>{
           {"--baud", "0"}, {"--baud", "-9600"}, {"--baud", "6553550"}, {"--baud", "49"}, {"--baud", "fast"},
           {"--clock", "655355000"}, {"--clock", "0"}, {"--sync-baud", "0"}, {"--start-address", "-1"},
           {"--start-address", "0x100000000"}, {"--erase-blocks", "1,x"}, {"--erase-blocks", "-1"},
           {"--boot-mode"}, {"--device", "2329", "--no-device"}, {"--language", "2"}, {"--package", image}}) {
    extra.insert(extra.begin(), run.begin(), run.end());
    Child child = Program(extra);
    EXPECT_EQ(child.Run(30s), 2) << extra[4];
    EXPECT_FALSE(child.err.empty()) << extra[4];
  }
  for (auto arguments : {std::vector<std::string>{"--image", image}, {"--port", printer.Device()},
                         {kTarget, "--fault", "bogus:0x50"}, {kTarget, "--fault", "error:0x50"},
                         {kTarget, "--blocks", "4K,zero"}, {kTarget, "--device", "23:short code"}}) {
    Child child = arguments[0] == kTarget ? Child(arguments) : Program(arguments);
    EXPECT_EQ(child.Run(30s), 2) << arguments[1];
    EXPECT_FALSE(child.err.empty()) << arguments[1];
  }
  EXPECT_EQ(printer.BytesReceived(), 0u) << "nothing reached the printer";
}

TEST(Cli, JsonLinesAndTheStatusLogOfTwoRuns) {
  Printer printer;
  const std::string image = File("image.bin", Image(3000)), log = Path("Status.log");
  std::string expected;
  for (int run = 0; run < 2; ++run) {
    Child child = Program({"--port", printer.Device(), "--image", image, "--json", "--log", log});
    ASSERT_EQ(child.Run(30s), 0) << child.err;
    const auto lines = Lines(child.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), R"({"result":"ok"})");
    EXPECT_EQ(lines.end()[-2],
              R"({"percent":100,"level":1,"block":0,"text":"Programming complete, please reset target"})");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      // {"percent":P,"level":L,"block":B,"text":"T"} is the log's line "L: T".
      const std::size_t level = lines[i].find("\"level\":") + 8, text = lines[i].find("\"text\":\"") + 8;
      expected += lines[i].substr(level, lines[i].find(',', level) - level) + ": " +
                  lines[i].substr(text, lines[i].size() - 2 - text) + "\r\n";
    }
    expected += "****** END OF CURRENT UPDATE ******\r\n\r\n";
  }
  EXPECT_EQ(ReadFile(log), expected) << "two runs, appended";
  const Bytes flash = printer.Flash();
  EXPECT_EQ(std::string(flash.begin(), flash.begin() + 3000), Image(3000));
}

TEST(Cli, CtrlCStopsTheRunBeforeTheNextBlock) {
  sim::TargetConfig config;
  config.writeTime = 5ms;  // slow enough writes that the signal lands mid-image
  Printer printer(config);
  Child child = Program({"--port", printer.Device(), "--image", File("big.bin", Image(64 * 128)), "--json"});
  std::thread user([&] {
    auto blocks = [&] {
      const auto frames = printer.Frames();
      return std::count_if(frames.begin(), frames.end(), [](auto& f) { return f.bytes[0] == 0x50; });
    };
    for (int i = 0; i < 3000 && blocks() < 3; ++i) std::this_thread::sleep_for(10ms);
    child.Signal(SIGINT);
  });
  const int status = child.Run(30s);
  user.join();
  EXPECT_EQ(status, 1) << child.err;
  const auto lines = Lines(child.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines.end()[-2].find(R"(,"level":0,"block":0,"text":"Programming aborted"})"), std::string::npos);
  EXPECT_EQ(lines.back(), R"({"result":"failed"})");
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
  for (int i = 0; i < 500 && ::access(link.c_str(), F_OK) != 0; ++i) std::this_thread::sleep_for(10ms);
  Child flash = Program({"--port", link, "--package", package});
  ASSERT_EQ(flash.Run(60s), 0) << flash.err;
  EXPECT_EQ(target.Run(10s), 0);
  EXPECT_FALSE(target.timedOut) << "the printer ends when the host closes after the write";
  EXPECT_EQ(target.out.substr(0, 9), "/dev/pts/");
  EXPECT_EQ(ReadFile(Path("flash.bin")), image + std::string(8192 - 3000, '\xFF'));
  EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the link is removed at the end";
}

}  // namespace
}  // namespace zerviko::e2e
