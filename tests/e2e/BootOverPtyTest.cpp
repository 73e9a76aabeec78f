// Recovering a printer over a line without modem lines: zerviko-flash's boot-mode flow
// with a hand reset, over the real termios port, against the virtual printer program
// started in its boot program.
#include <functional>
#include <regex>

#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

const std::string kDir = ZERVIKO_PROGRAM_DIR;
const std::string kMicroKernel = kDir + "uKernel2329.cde";

struct Outcome { int status; std::string out, err; Clock::time_point ended; };

// Starts zerviko-target with targetArgs on a link, runs zerviko-flash program against
// it with flashArgs (and user beside it, on a thread), then ends the printer.
Outcome RunAgainstTarget(const std::vector<std::string>& targetArgs, const std::vector<std::string>& flashArgs,
                         const std::function<void(Child&)>& user = {}) {
  const std::string link = Path("ttyZERVIKO");
  std::vector<std::string> target{ZERVIKO_TARGET, "--link", link};
  target.insert(target.end(), targetArgs.begin(), targetArgs.end());
  Child printer(target);
  for (int i = 0; i < 500 && ::access(link.c_str(), F_OK) != 0; ++i) std::this_thread::sleep_for(10ms);
  std::vector<std::string> program{ZERVIKO_FLASH, "program", "--port", link};
  program.insert(program.end(), flashArgs.begin(), flashArgs.end());
  Child flash(program);
  std::thread person;
  if (user) person = std::thread([&] { user(flash); });
  const Outcome outcome{flash.Run(60s), flash.out, flash.err, Clock::now()};  // in this order
  if (person.joinable()) person.join();
  printer.Signal(SIGTERM);
  printer.Run(10s);
  return outcome;
}

TEST(BootOverPtyTest, AHandResetProgramsThePrinter) {
  Bytes bytes = Pattern(1000);
  std::fill(bytes.begin() + 256, bytes.begin() + 384, 0xFF);  // one empty block
  const std::string image(bytes.begin(), bytes.end());
  // The boot program's first answer is noise, as from a printer being switched on.
  const Outcome run = RunAgainstTarget(
      {"--boot", "--fault", "error:sync:0x80", "--flash-out", Path("flash.bin"), "--once"},
      {"--image", File("image.bin", image), "--boot-mode", "--reset", "manual", "--micro-kernel", kMicroKernel,
       "--log", Path("hand-reset.log")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string flash = ReadFile(Path("flash.bin"));
  ASSERT_GE(flash.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));

  // The user is asked at both ends, and the modem lines were never touched (a pty has
  // none: any change of them fails the run).
  const std::string log = ReadFile(Path("hand-reset.log"));
  EXPECT_NE(log.find("1: Loading uKernel " + kMicroKernel + "\r\n2: " + PROMPT_BOOT_MODE + "\r\n2: Synching at 9600 baud\r\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find(std::string("1: ") + PROMPT_USER_MODE + "\r\n1: Programming complete\r\n****"), std::string::npos) << log;
  EXPECT_EQ(log.find("Resetting target"), std::string::npos);

  // Plain output: both requests as lines, then the success text and its summary.
  EXPECT_NE(run.out.find(std::string("\n") + PROMPT_BOOT_MODE + "\n"), std::string::npos) << run.out;
  EXPECT_TRUE(std::regex_search(
      run.out, std::regex("\nProgramming complete\nFirmware has been successfully loaded.\n"
                          "Wrote 872 bytes in 7 blocks \\(1 empty block skipped\\) in "
                          "[0-9]+\\.[0-9] s: [0-9]+\\.[0-9] KiB/s\n$")))
      << run.out;
}

// Ctrl-C while the user is to restart the printer, which still runs its kernel and
// refuses every zero: the run ends at once, without waiting out the 30 s, and the log
// holds the messages of the run and nothing else.
TEST(BootOverPtyTest, CtrlCEndsTheWaitForTheHandReset) {
  const std::string log = Path("interrupted.log");
  Clock::time_point pressed;
  const Outcome run = RunAgainstTarget(
      {}, {"--image", File("five.bin", "image"), "--boot-mode", "--reset", "manual", "--micro-kernel", kMicroKernel,
           "--log", log},
      [&](Child& flash) {
        WaitFor([&] { return ReadFile(log).find("Synching") != std::string::npos; }, 10s);
        std::this_thread::sleep_for(500ms);  // some zeros refused, for the log to stay clean of
        pressed = Clock::now();
        flash.Signal(SIGINT);
      });
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_LT(run.ended - pressed, 10s) << "not the whole window";
  EXPECT_NE(run.err.find("programming failed: Programming aborted\n"), std::string::npos) << run.err;
  const std::string tail = std::string("2: ") + PROMPT_BOOT_MODE +
                           "\r\n2: Synching at 9600 baud\r\n0: Programming aborted\r\n****** END OF CURRENT UPDATE ******\r\n\r\n";
  const std::string text = ReadFile(log);
  EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail) << text;
}

struct BootFailure {
  const char* name;
  std::vector<std::string> targetArgs;
  std::string expected;
  std::string reset = "manual";
  std::string microKernel = kMicroKernel;
};

std::ostream& operator<<(std::ostream& out, const BootFailure& row) { return out << row.name; }

// The echo of download byte 5 (size bytes first) inverted, as the host prints it.
std::string BadEchoText() {
  const std::string micro = ReadFile(kMicroKernel);
  if (micro.size() < 4) return "no stand-in micro-kernel " + kMicroKernel;  // fails the row
  char text[80];
  std::snprintf(text, sizeof text, "Bad echo from target, 0x%02X instead of 0x%02X", static_cast<std::uint8_t>(micro[3]) ^ 0xFF,
                static_cast<std::uint8_t>(micro[3]));
  return text;
}

// The last echo of the download missing: found only while draining.
std::string LastEchoSilent() { return "silent:echo:" + std::to_string(ReadFile(kMicroKernel).size() + 2); }

class BootFailureTest : public ::testing::TestWithParam<BootFailure> {};

TEST_P(BootFailureTest, TheRunEndsWithItsText) {
  const BootFailure& row = GetParam();
  const Bytes image = Pattern(300);
  std::vector<std::string> target{"--boot"};
  target.insert(target.end(), row.targetArgs.begin(), row.targetArgs.end());
  const Outcome run = RunAgainstTarget(target, {"--image", File("image.bin", std::string(image.begin(), image.end())),
                                                "--boot-mode", "--reset", row.reset, "--micro-kernel", row.microKernel});
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.err.find("programming failed: " + row.expected + "\n"), std::string::npos) << run.err;
}

// A silent boot program ("No reply from target") is left to the in-process tests: over a
// pty it would take the whole 30 s window.
INSTANTIATE_TEST_SUITE_P(
    Boot, BootFailureTest,
    ::testing::Values(
        BootFailure{"EraseErrorForTheRequest", {"--fault", "error:proceed:0xFF"}, "Erase error"},
        BootFailure{"WrongAnswerToTheRequest", {"--fault", "error:proceed:0x12"}, "Bad reply from target"},
        BootFailure{"WrongEcho", {"--fault", "bad-echo:5"}, BadEchoText()},
        BootFailure{"NoEcho", {"--fault", "silent:echo"}, "Echo timeout"},
        BootFailure{"NoLastEcho", {"--fault", LastEchoSilent()}, "Communications error [216]"},
        BootFailure{"EraseErrorAfterTheDownload", {"--fault", "error:download:0xFF"}, "Erase error"},
        BootFailure{"DownloadRefused", {"--fault", "error:download:0x12"}, "No download acknowledge from target"},
        // The boot program takes any micro-kernel; the printer cannot run a foreign one.
        BootFailure{"NotTheStandIn", {}, "No acknowledge from target", "manual", kDir + "Genm2329.cde"},
        // A pty has no modem lines to restart the printer with.
        BootFailure{"ResetThroughTheLines", {}, "Communication port error [296]", "lines"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zerviko::e2e
