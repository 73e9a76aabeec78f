// zerviko-flash and zerviko-mkpackage as a user or a script runs them: exit statuses,
// messages on stderr, the JSON a script reads, texts from outside shown so that they
// cannot drive a terminal, and the packages the build's tool writes.
#include <sys/stat.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/package/PackageTestSupport.h"
#include "tools/SamplePackages.h"

namespace zerviko::test {
namespace {

const std::string FLASH = ZERVIKO_FLASH, MKPACKAGE = samples::MKPACKAGE;
// Named as program names them.
std::string Unavailable(const std::string& path) {
  return "zerviko-flash: " + path + ": the file is unavailable (missing or unreadable)\n";
}
std::string Unusable(const std::string& path) { return "zerviko-flash: " + path + ": the file is unusable (not a firmware package)\n"; }

struct ProgramRun {
  int status;  // -1 when the program was killed
  std::string out, err;
};

class ProgramsTest : public PackageTest {
 protected:
  // Runs a program as a script would, killed after 30 s so that no test hangs. The
  // arguments may begin with VARIABLE=value settings of its environment.
  ProgramRun Run(const std::vector<std::string>& arguments) {
    std::string command = "exec timeout -s KILL 30 env";
    for (const std::string& argument : arguments) {
      command += " '";
      for (char c : argument) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
      command += "'";
    }
    const int status = std::system((command + " >'" + Write("", "run.out") + "' 2>'" + Write("", "run.err") + "'").c_str());
    return {WIFEXITED(status) && WEXITSTATUS(status) != 137 ? WEXITSTATUS(status) : -1, Slurp(m_dir / "run.out"),
            Slurp(m_dir / "run.err")};
  }
};

TEST_F(ProgramsTest, StatusesMessagesAndJson) {
  const std::string noCode = Write(Section("ENGLISH", "V1", "setup"), "ZERVIKO_NOCODE.avk");
  const std::string german = Write(Section("GERMAN", "V1", "s") + "<CODE>\r\nAB", "ZERVIKO_DE.qvk");
  // UTF-8 stays as it is; other text is Windows-1252, the euro sign and C1 gaps included.
  const std::string eightBit = Write(Section("ENGLISH", "Vers\xC3\xA3o \xE2\x82\xAC \xE0\xA0\x80\xF0\x90\x80\x80 \x1b[31m",
                                             "Stra\xDF" "e \x80 \x81 \"q\" \\ \t") + "<CODE>\r\n\xFF", "ZERVIKO_8.avk");
  // An image of three blocks: one empty (all 0xFF), one to write, and a short empty one.
  const std::string blocks = Write(Section("ENGLISH", "V1", "s") + "<CODE>\r\n" + std::string(128, '\xFF') +
                                   std::string(127, '\xFF') + "x" + std::string(44, '\xFF'), "ZERVIKO_BLOCKS.avk");
  const std::string gone = (m_dir / "ZERVIKO_GONE.avk").string(), fifo = (m_dir / "image.bin").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string err;  // "?": some message
    const char* out;  // stdout: JSON, or a line the report holds; nullptr: none when the status is not 0
  } rows[] = {
      {{FLASH, "inspect", blocks}, 0, "", "Image length:  300 bytes (3 blocks of 128 bytes, 1 to write, 2 empty)\n"},
      {{FLASH, "inspect", gone}, 3, Unavailable(gone), nullptr},
      {{FLASH, "inspect", m_dir.string()}, 3, Unavailable(m_dir.string()), nullptr},
      {{FLASH, "inspect", gone, "--json"}, 3, Unavailable(gone), R"({"result":1,"revision":"","deviceSetup":"","imageLength":0,"sha256":null})"},
      {{FLASH, "inspect", noCode}, 4, Unusable(noCode), nullptr},
      {{FLASH, "inspect", noCode, "--json"}, 4, Unusable(noCode),
       R"({"result":2,"revision":"V1","deviceSetup":"setup","imageLength":0,"sha256":null})"},
      {{FLASH, "inspect", german}, 4, Unusable(german), nullptr},
      {{FLASH, "inspect", german, "--language=2", "--json"}, 0, "",
       R"({"result":0,"revision":"V1","deviceSetup":"s","imageLength":2,
           "sha256":"38164fbd17603d73f696b8b4d72664d735bb6a7c88577687fd2ae33fd6964153"})"},
      {{FLASH, "inspect", eightBit, "--json"}, 0, "",
       R"({"result":0,"revision":"Vers\u00e3o \u20ac \u0800\ud800\udc00 \u001b[31m",
           "deviceSetup":"Stra\u00dfe \u20ac \u0081 \"q\" \\","imageLength":1,
           "sha256":"a8100ae6aa1940d0b663bb31cd466142ebbdbd5187131b92d93818987832eb89"})"},
      {{FLASH, "inspect"}, 2, "?", nullptr},
      {{FLASH, "inspect", german, "--language", "two"}, 2, "?", nullptr},
      {{FLASH, "inspect", german, "--language"}, 2, "?", nullptr},
      {{FLASH, "inspect", german, "--bogus"}, 2, "?", nullptr},
      {{"ZERVIKO_SYSFS_ROOT=" + m_dir.string(), FLASH, "program", "--port", "auto", "--image", noCode, "--json"}, 1, "?",
       R"({"result":"failed"})"},  // no bridge to be found
      // A raw image is refused unopened too: a FIFO with no writer would hold the open.
      {{FLASH, "program", "--port", "/nonexistent/tty", "--image", fifo}, 3, "?", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments[1] + " " + row.arguments.back());
    const ProgramRun run = Run(row.arguments);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_TRUE(row.err == "?" ? run.err != "" : run.err == row.err) << run.err;
    if (row.out && row.out[0] == '{') {
      EXPECT_EQ(nlohmann::json::parse(run.out), nlohmann::json::parse(row.out));
    } else if (row.out) {
      EXPECT_NE(run.out.find(row.out), std::string::npos) << run.out;
    } else if (row.status != 0) {
      EXPECT_EQ(run.out, "");
    }
  }
}

// The image's SHA-256, to compare with the maker's published sum before writing: the
// standard test vectors as images, and a sample's image against sha256sum.
TEST_F(ProgramsTest, Sha256OfTheImage) {
  const struct {
    std::string image;
    const char* digest;
  } rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.image.size());
    const ProgramRun run = Run({FLASH, "inspect", Write(Section("ENGLISH", "V1", "s") + "<CODE>\r\n" + row.image), "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out).at("sha256"), row.digest);
  }
  const auto& sample = samples::SAMPLE_PACKAGES[1];
  const std::string path = std::string(samples::FIRMWARE_DIR) + "/" + sample.name;
  const ProgramRun sum = Run({"sh", "-c", "tail -c " + std::to_string(sample.imageSize) + " \"$0\" | sha256sum", path});
  ASSERT_EQ(sum.status, 0) << sum.err;
  const ProgramRun text = Run({FLASH, "inspect", path});
  EXPECT_NE(text.out.find("\nImage SHA-256: " + sum.out.substr(0, 64) + "\n"), std::string::npos) << text.out;
}

// Texts from outside reach the terminal with each control character shown as \xNN: a
// package's revision could otherwise recolour, retitle or rewrite it. Only the CR LF
// between a text's lines still ends a line; C1 controls count whether the text is UTF-8
// or Windows-1252. File names and the port list are shown the same way; JSON is exact.
TEST_F(ProgramsTest, ControlCharactersAreShownEscaped) {
  const auto raw = [](const std::string& out) {
    for (std::size_t at = 0; at < out.size(); ++at) {
      const auto c = static_cast<unsigned char>(out[at]), next = static_cast<unsigned char>(out[at + 1]);
      if ((c < 0x20 && c != '\n') || c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) return at;
    }
    return std::string::npos;
  };
  for (auto [revision, shown] : {std::pair{"V1 \x1b[31mred\x1b]0;title\x07", "  V1 \\x1b[31mred\\x1b]0;title\\x07\n"},
                                 {"one\r\ntwo\rthree\t\x7f", "  one\n  two\\x0dthree\\x09\\x7f\n"},
                                 {"\xC2\x9B" "2J \xC3\xA9", "  \\x9b2J \xC3\xA9\n"},                    // UTF-8
                                 {"\x9B" "2J \x81 \xE9", "  \xE2\x80\xBA" "2J \\x81 \xC3\xA9\n"}}) {  // Windows-1252
    SCOPED_TRACE(shown);
    const std::string path = Write(Section("ENGLISH", revision, "s") + "<CODE>\r\n", "ZERVIKO_\x1b[1m.avk");
    const ProgramRun run = Run({FLASH, "inspect", path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Revision:\n" + std::string(shown) + "Device setup:\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("/ZERVIKO_\\x1b[1m.avk\n"), std::string::npos) << run.out;
    EXPECT_EQ(raw(run.out), std::string::npos) << run.out;
  }
  // program's messages: unavailable files, a missing port and its hint, the log, a usage error.
  const std::string image = Write("x", "image.bin"), gone = (m_dir / "gone\x1b[2J").string(), port = "/nonexistent/tty";
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{port, "--package", gone}, {port, "--image", gone}, {"/nonexistent/\x1b[2J", "--image", image},
        {port, "--image", image, "--log", gone + "/log"}, {port, "--image", image, "--start-address", "\x1b[2J"}}) {
    std::vector<std::string> command = {FLASH, "program", "--port"};
    const ProgramRun run = Run((command.insert(command.end(), arguments.begin(), arguments.end()), command));
    EXPECT_TRUE(run.err.find("\\x1b[2J") != std::string::npos && raw(run.err) == std::string::npos) << run.err;
  }

  // The list in the wizard's order, its pre-selection marked, from a sysfs tree of one
  // serial device and the port variables: the machine's own ports stay out.
  std::filesystem::create_directories(m_dir / "sys/class/tty/ttyACM0/device");
  const auto ports = [&](const std::string& extra, const std::vector<std::string>& json) {
    std::vector<std::string> arguments = {"ZERVIKO_SYSFS_ROOT=" + m_dir.string(), "ZERVIKO_EXTRA_PORTS=" + extra,
                                          "ZERVIKO_BRIDGE_PORT=/nonexistent/bridge", "CUPS_SERVER=/nonexistent/cups",
                                          FLASH, "ports"};
    arguments.insert(arguments.end(), json.begin(), json.end());
    return Run(arguments);
  };
  EXPECT_EQ(ports("/nonexistent/\x1b[2Jtty;/nonexistent/bridge", {}).out,
            "  /dev/ttyACM0\n  /nonexistent/\\x1b[2Jtty\n* /nonexistent/bridge\n");
  const ProgramRun json = ports("/nonexistent/\x1b\xe9", {"--json"});  // not UTF-8: Windows-1252
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(nlohmann::json::parse(json.out), nlohmann::json::parse(R"([
      {"display": "/dev/ttyACM0", "port": "/dev/ttyACM0", "selected": false},
      {"display": "/nonexistent/\u001b\u00e9", "port": "/nonexistent/\u001b\u00e9", "selected": false},
      {"display": "/nonexistent/bridge", "port": "/nonexistent/bridge", "selected": true}])"));
}

// zerviko-mkpackage refuses what would break a package, and writes what reads back.
TEST_F(ProgramsTest, MkPackage) {
  const std::string image("\r\n\x1A\0<CODE>\r\n\xFF", 12), imageFile = Write(image, "i");
  const std::string out = (m_dir / "ZERVIKO_X.avk").string();
  const auto make = [&](const std::string& revision, const std::vector<std::string>& more) {
    std::vector<std::string> arguments = {MKPACKAGE, "-o", out, "--revision", "english=" + Write(revision, "r"),
                                          "--setup", "english=" + Write("step 1\r\nstep 2", "s")};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Run(arguments);
  };
  for (const char* revision : {"V1\n<CODE>\n", "V1 <END REVISION>", "<LANG_GERMAN>", "V1\x1A"}) {
    EXPECT_EQ(make(revision, {"--image", imageFile}).status, 1) << revision;
  }
  EXPECT_EQ(make("V1", {}).status, 2);  // no image
  EXPECT_FALSE(std::filesystem::exists(out));
  ASSERT_EQ(make("  V3.0\n\nnote\n\n", {"--image", imageFile, "--comment", "test"}).status, 0);
  ASSERT_EQ(ReadFirmwarePackage(out, false, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText() + "|" + GetPackageDeviceSetupText(), "V3.0\r\n\r\nnote|step 1\r\nstep 2");
  EXPECT_EQ(StoredImage(), image);
  EXPECT_EQ(Slurp(out).rfind("test\r\n<LANG_ENGLISH>\r\n<REVISION>\r\n", 0), 0u);
}

}  // namespace
}  // namespace zerviko::test
