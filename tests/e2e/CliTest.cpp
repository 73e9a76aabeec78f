// zerviko-flash program as a user runs it, against a virtual printer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "package/FirmwarePackage.h"

#include "sim/PtyServer.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const std::string kFlash = ZERVIKO_FLASH;

class Printer {
 public:
  explicit Printer(sim::TargetConfig config = {}) : m_server(std::move(config)) {
    std::string error;
    EXPECT_TRUE(m_server.Start(&error)) << error;
  }
  ~Printer() { m_server.Stop(); }
  const std::string& Device() const { return m_server.DevicePath(); }
  Bytes Flash() {
    return m_server.Inspect([](const sim::Target& t) { return t.Flash(); });
  }
  std::size_t BytesReceived() {
    return m_server.Inspect([](const sim::Target& t) { return t.BytesReceived(); });
  }

 private:
  sim::PtyServer m_server;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

TEST(CliTest, JsonLinesAndTheStatusLogToTheByte) {
  Printer printer;
  TempDir dir;
  const Bytes image = TestImage(3000);
  WriteFile(dir.File("image.bin"), image);
  const std::string log = dir.File("Status.log");
  std::string expectedLog;
  for (int run = 0; run < 2; ++run) {
    Child child({kFlash, "program", "--port", printer.Device(), "--image", dir.File("image.bin"),
                 "--json", "--log", log});
    ASSERT_EQ(child.Run(30s), 0) << child.err;
    const auto lines = Lines(child.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), R"({"result":"ok"})");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind(R"({"percent":)", 0), 0u) << lines[i];
      const auto message = nlohmann::json::parse(lines[i]);
      ASSERT_TRUE(message.contains("level") && message.contains("block") && message.contains("text"));
      expectedLog += std::to_string(message["level"].get<int>()) + ": " +
                     message["text"].get<std::string>() + "\r\n";
    }
    const auto last = nlohmann::json::parse(lines[lines.size() - 2]);
    EXPECT_EQ(last["text"], "Programming complete, please reset target");
    EXPECT_EQ(last["percent"], 100);
    expectedLog += "****** END OF CURRENT UPDATE ******\r\n\r\n";
  }
  const Bytes written = ReadFile(log);
  EXPECT_EQ(std::string(written.begin(), written.end()), expectedLog) << "two runs, appended";
  const Bytes flash = printer.Flash();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
}

TEST(CliTest, PlainOutputShowsTheStagesAndTheResult) {
  Printer printer;
  TempDir dir;
  WriteFile(dir.File("image.bin"), TestImage(500));
  Child child({kFlash, "program", "--port", printer.Device(), "--image", dir.File("image.bin"),
               "--no-device", "--erase-blocks", "1", "--start-address", "0x1000"});
  ASSERT_EQ(child.Run(30s), 0) << child.err;
  EXPECT_NE(child.out.find("Erasing target EEPROM\n"), std::string::npos) << child.out;
  EXPECT_EQ(child.out.find("Selecting device"), std::string::npos);
  EXPECT_EQ(child.out.find("Writing block"), std::string::npos) << "block lines only with -v";
  EXPECT_NE(child.out.find("Programming complete, please reset target\n"
                           "Firmware has been successfully loaded.\n"),
            std::string::npos);

  Child verbose({kFlash, "program", "--port", printer.Device(), "--image", dir.File("image.bin"),
                 "-v", "--erase-blocks", "0,1"});
  ASSERT_EQ(verbose.Run(30s), 0) << verbose.err;
  EXPECT_NE(verbose.out.find("1: Writing block 0000..007F\n"), std::string::npos);
  EXPECT_NE(verbose.out.find("3: Device ZV2329F 512K flash, code 2329\n"), std::string::npos);
}

TEST(CliTest, FailedRunsAndTheirExitStatus) {
  TempDir dir;
  WriteFile(dir.File("image.bin"), TestImage(500));
  {
    Child child({kFlash, "program", "--port", "/nonexistent/ttyZ", "--image", dir.File("image.bin"),
                 "--json"});
    EXPECT_EQ(child.Run(30s), 1);
    const auto lines = Lines(child.out);
    ASSERT_EQ(lines.size(), 2u) << child.out;
    EXPECT_EQ(nlohmann::json::parse(lines[0])["text"], "Can't open /nonexistent/ttyZ");
    EXPECT_EQ(nlohmann::json::parse(lines[0])["level"], 0);
    EXPECT_EQ(lines[1], R"({"result":"failed"})");
    EXPECT_NE(child.err.find("does not exist"), std::string::npos) << child.err;
  }
  {
    Printer printer;
    Child child({kFlash, "program", "--port", printer.Device(), "--image", dir.File("image.bin"),
                 "--kernel-dir", dir.File("")});
    EXPECT_EQ(child.Run(30s), 1);
    EXPECT_NE(child.err.find("programming failed: Can't open " + dir.File("Genm2329.cde")),
              std::string::npos)
        << child.err;
  }
  {
    Child child({kFlash, "program", "--port", "auto", "--image", dir.File("image.bin")},
                {"ZERVIKO_BRIDGE_PORT", "ZERVIKO_EXTRA_PORTS"});
    EXPECT_EQ(child.Run(30s), 1);
    EXPECT_NE(child.err.find("no ZERVIKO printer bridge found"), std::string::npos) << child.err;
  }
}

TEST(CliTest, PackagesThatCannotBeRead) {
  TempDir dir;
  WriteFile(dir.File("junk.avk"), Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'a', 'c', 'k', '\n'});
  Printer printer;
  const struct {
    std::string path;
    int status;
    const char* result;
  } cases[] = {{dir.File("missing.avk"), 3, R"({"result":"package-unavailable"})"},
               {dir.File("junk.avk"), 4, R"({"result":"package-unusable"})"}};
  for (const auto& c : cases) {
    Child json({kFlash, "program", "--port", printer.Device(), "--package", c.path, "--json",
                "--log", dir.File("Status.log")});
    EXPECT_EQ(json.Run(30s), c.status) << c.path;
    EXPECT_EQ(json.out, std::string(c.result) + "\n");
    Child plain({kFlash, "program", "--port", printer.Device(), "--package", c.path});
    EXPECT_EQ(plain.Run(30s), c.status) << c.path;
    EXPECT_NE(plain.err.find(c.path), std::string::npos);
  }
  EXPECT_TRUE(ReadFile(dir.File("Status.log")).empty()) << "a run that never reached the engine";
  EXPECT_EQ(printer.BytesReceived(), 0u);
}

TEST(CliTest, UsageErrorsComeBeforeThePortIsOpened) {
  Printer printer;
  TempDir dir;
  WriteFile(dir.File("image.bin"), TestImage(100));
  const std::string image = dir.File("image.bin");
  const std::vector<std::vector<std::string>> cases = {
      {"--image", image},
      {"--port", printer.Device()},
      {"--port", printer.Device(), "--image", image, "--package", image},
      {"--port", printer.Device(), "--image", image, "--baud", "0"},
      {"--port", printer.Device(), "--image", image, "--baud", "-9600"},
      {"--port", printer.Device(), "--image", image, "--baud", "6553550"},
      {"--port", printer.Device(), "--image", image, "--baud", "49"},
      {"--port", printer.Device(), "--image", image, "--clock", "655355000"},
      {"--port", printer.Device(), "--image", image, "--clock", "0"},
      {"--port", printer.Device(), "--image", image, "--sync-baud", "0"},
      {"--port", printer.Device(), "--image", image, "--start-address", "0x100000000"},
      {"--port", printer.Device(), "--image", image, "--start-address", "-1"},
      {"--port", printer.Device(), "--image", image, "--erase-blocks", "1,x"},
      {"--port", printer.Device(), "--image", image, "--erase-blocks", "-1"},
      {"--port", printer.Device(), "--image", image, "--device", "2329", "--no-device"},
      {"--port", printer.Device(), "--image", image, "--boot-mode"},
      {"--port", printer.Device(), "--image", image, "--reset", "manual"},
      {"--port", printer.Device(), "--image", image, "--language", "2"},
      {"--port", printer.Device(), "--image", image, "--baud", "fast"},
  };
  for (const auto& extra : cases) {
    std::vector<std::string> arguments{kFlash, "program"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    Child child(arguments);
    std::string shown;
    for (const auto& a : extra) shown += a + " ";
    EXPECT_EQ(child.Run(30s), 2) << shown << child.err;
    EXPECT_FALSE(child.err.empty()) << shown;
  }
  EXPECT_EQ(printer.BytesReceived(), 0u) << "nothing reached the printer";

  // The largest values the frame can carry are accepted.
  Child child({kFlash, "program", "--port", printer.Device(), "--image", image, "--baud",
               "6553549", "--json"});
  EXPECT_EQ(child.Run(30s), 1) << "refused by the kernel, not by the command line";
  EXPECT_NE(child.out.find("BAUD_RATE_ERROR"), std::string::npos) << child.out;
}

TEST(CliTest, CtrlCAbortsBeforeTheNextBlock) {
  sim::TargetConfig config;
  config.writeTime = 5ms;  // slow enough writes that the signal lands mid-image
  Printer printer(config);
  TempDir dir;
  WriteFile(dir.File("image.bin"), TestImage(64 * 128));
  Child child({kFlash, "program", "--port", printer.Device(), "--image", dir.File("image.bin"),
               "--json"});
  bool signalled = false;
  const int status = child.Run(30s, [&](const std::string& line) {
    if (!signalled && line.find("Writing block 0100..017F") != std::string::npos) {
      child.Signal(SIGINT);
      signalled = true;
    }
  });
  EXPECT_EQ(status, 1) << child.err;
  const auto lines = Lines(child.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), R"({"result":"failed"})");
  const auto last = nlohmann::json::parse(lines[lines.size() - 2]);
  EXPECT_EQ(last["text"], "Programming aborted");
  EXPECT_EQ(last["level"], 0);
  EXPECT_EQ(child.out.find("Writing block 1F80..1FFF"), std::string::npos) << "stopped early";
}

}  // namespace
}  // namespace zerviko::e2e

namespace zerviko::e2e {
namespace {

TEST(CliTest, ASamplePackageIntoTheVirtualPrinterProgram) {
  // The printer as a user starts it: its own program, reached through a link, writing
  // its flash to a file when the host closes the port after the write.
  const std::string package = std::string(ZERVIKO_PROGRAM_DIR) + "Firmware Files/ZERVIKO_ABC_V2.14.avk";
  std::ifstream probe(package);
  if (!probe) GTEST_SKIP() << "no sample package built";
  ASSERT_EQ(ReadFirmwarePackage(package, false, 2), PACKAGE_OK);
  std::uint32_t length = 0;
  GetPackageImage(nullptr, &length);
  Bytes image(length);
  GetPackageImage(image.data(), &length);
  ClearPackage();

  TempDir dir;
  const std::string link = dir.File("ttyZERVIKO");
  Child target({ZERVIKO_TARGET, "--link", link, "--flash-out", dir.File("flash.bin"), "--once"});
  std::thread printer([&] { target.Run(60s); });
  // The link appears once the printer is up.
  for (int i = 0; i < 200 && ::access(link.c_str(), F_OK) != 0; ++i) std::this_thread::sleep_for(10ms);
  Child flash({kFlash, "program", "--port", link, "--package", package, "--language", "2"});
  const int status = flash.Run(60s);
  printer.join();
  ASSERT_EQ(status, 0) << flash.err;
  EXPECT_FALSE(target.timedOut) << "the printer ends when the host closes after the write";
  EXPECT_EQ(target.out.substr(0, 9), "/dev/pts/");
  const Bytes written = ReadFile(dir.File("flash.bin"));
  ASSERT_EQ(written.size(), 512u * 1024);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), written.begin()));
  EXPECT_NE(::access(link.c_str(), F_OK), 0) << "the link is removed at the end";
}

TEST(CliTest, TheVirtualPrinterRefusesBadOptions) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{ZERVIKO_TARGET, "--fault", "bogus:0x50"},
        std::vector<std::string>{ZERVIKO_TARGET, "--fault", "error:0x50"},
        std::vector<std::string>{ZERVIKO_TARGET, "--blocks", "4K,zero"},
        std::vector<std::string>{ZERVIKO_TARGET, "--device", "23:short code"}}) {
    Child child(args);
    EXPECT_EQ(child.Run(10s), 2) << args[2];
    EXPECT_FALSE(child.err.empty());
  }
  Child help({ZERVIKO_TARGET, "--help"});
  EXPECT_EQ(help.Run(10s), 0);
  for (const char* option : {"--link", "--pace", "--erase-time", "--write-time", "--device",
                             "--no-devices", "--blocks", "--flash-base", "--blank",
                             "--stuck-block", "--fault", "--flash-out", "--stats", "--once",
                             "--verbose"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace zerviko::e2e
