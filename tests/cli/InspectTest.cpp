// zerviko-flash inspect, run as a program: exit statuses, messages, the JSON a script
// reads and the report a person reads, on the sample packages and on files that cannot
// be used.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/cli/RunProgram.h"
#include "tests/package/PackageTestSupport.h"
#include "tests/package/SampleTexts.h"
#include "tools/SamplePackages.h"

namespace zerviko::test {
namespace {

const std::string FLASH = ZERVIKO_FLASH;
const std::string MESSAGE_UNAVAILABLE = "The selected file is unavailable.\n\nPlease select another file.\n";
const std::string MESSAGE_UNUSABLE = "The selected file is unusable.\n\nPlease select another file.\n";

std::string SamplePath(const samples::SamplePackage& sample) {
  return (std::filesystem::path(samples::FIRMWARE_DIR) / sample.name).string();
}

// Parses stdout as exactly one JSON object.
nlohmann::json OneJsonObject(const std::string& out) {
  nlohmann::json object = nlohmann::json::parse(out);  // throws on trailing text
  EXPECT_TRUE(object.is_object());
  EXPECT_EQ(object.size(), 5u) << out;
  return object;
}

class InspectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zerviko-inspect-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }
  std::string Write(const std::string& bytes, const std::string& name = "ZERVIKO_T.avk") {
    const auto path = m_dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::filesystem::path m_dir;
};

TEST_F(InspectTest, JsonOfEverySampleInEveryLanguage) {
  for (const auto& sample : samples::SAMPLE_PACKAGES) {
    for (int index : {0, 1, 2, 3, 4}) {
      SCOPED_TRACE(std::string(sample.name) + " language " + std::to_string(index));
      const ProgramRun run = RunProgram({FLASH, "inspect", SamplePath(sample), "--language", std::to_string(index), "--json"});
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      const nlohmann::json report = OneJsonObject(run.out);
      const std::filesystem::path texts = sample.textDir;
      const std::string language = SampleLanguage(index);
      EXPECT_EQ(report.at("result"), 0);
      EXPECT_EQ(report.at("revision"), ExpectedSampleText(texts / ("revision-" + language + ".txt")));
      EXPECT_EQ(report.at("deviceSetup"), ExpectedSampleText(texts / ("setup-" + language + ".txt")));
      EXPECT_EQ(report.at("imageLength"), sample.imageSize);
    }
  }
}

TEST_F(InspectTest, LanguageOutsideTheTableReadsEnglish) {
  const auto& sample = samples::SAMPLE_PACKAGES[0];
  const std::string english = ExpectedSampleText(std::filesystem::path(sample.textDir) / "revision-english.txt");
  for (const char* index : {"-1", "5", "17"}) {
    const ProgramRun run = RunProgram({FLASH, "inspect", SamplePath(sample), "--language", index, "--json"});
    ASSERT_EQ(run.status, 0) << index << run.err;
    EXPECT_EQ(OneJsonObject(run.out).at("revision"), english) << index;
  }
  const ProgramRun byDefault = RunProgram({FLASH, "inspect", SamplePath(sample), "--json"});
  ASSERT_EQ(byDefault.status, 0);
  EXPECT_EQ(OneJsonObject(byDefault.out).at("revision"), english);
}

TEST_F(InspectTest, ReadableReport) {
  const auto& sample = samples::SAMPLE_PACKAGES[0];
  const ProgramRun run = RunProgram({FLASH, "inspect", SamplePath(sample), "-l", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Image length:  " + std::to_string(sample.imageSize) + " bytes"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("German section"), std::string::npos);
  EXPECT_NE(run.out.find("Firmware V2.14"), std::string::npos);
  EXPECT_EQ(run.out.find('\r'), std::string::npos);  // line ends as the terminal's
}

// The image's SHA-256, to compare with the maker's published sum before writing: the
// standard test vectors as images, and a sample's image against sha256sum.
TEST_F(InspectTest, Sha256OfTheImage) {
  const struct {
    const char* name;
    std::string image;
    const char* digest;
  } rows[] = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"a million a", std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ProgramRun run = RunProgram({FLASH, "inspect", Write(Section("ENGLISH", "V1", "s") + "<CODE>\r\n" + row.image), "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(OneJsonObject(run.out).at("sha256"), row.digest);
  }

  const auto& sample = samples::SAMPLE_PACKAGES[1];
  const ProgramRun sum = RunProgram(
      {"/bin/sh", "-c", "tail -c " + std::to_string(sample.imageSize) + " \"$0\" | sha256sum", SamplePath(sample)});
  ASSERT_EQ(sum.status, 0) << sum.err;
  const std::string digest = sum.out.substr(0, 64);
  const ProgramRun json = RunProgram({FLASH, "inspect", SamplePath(sample), "--json"});
  EXPECT_EQ(OneJsonObject(json.out).at("sha256"), digest);
  const ProgramRun text = RunProgram({FLASH, "inspect", SamplePath(sample)});
  EXPECT_NE(text.out.find("\nImage SHA-256: " + digest + "\n"), std::string::npos) << text.out;
}

TEST_F(InspectTest, UnavailableFile) {
  for (const std::string& path : {(m_dir / "ZERVIKO_GONE.avk").string(), m_dir.string()}) {
    const ProgramRun run = RunProgram({FLASH, "inspect", path});
    EXPECT_EQ(run.status, 3) << path;
    EXPECT_EQ(run.err, MESSAGE_UNAVAILABLE);
    EXPECT_EQ(run.out, "");
  }
  const ProgramRun json = RunProgram({FLASH, "inspect", (m_dir / "ZERVIKO_GONE.avk").string(), "--json"});
  EXPECT_EQ(json.status, 3);
  EXPECT_EQ(json.err, MESSAGE_UNAVAILABLE);
  const nlohmann::json report = OneJsonObject(json.out);
  EXPECT_EQ(report.at("result"), 1);
  EXPECT_EQ(report.at("imageLength"), 0);

  // program's raw image is refused unopened too: opening a FIFO with no writer would
  // wait for one, and the bound would kill the program.
  const std::string fifo = (m_dir / "image.bin").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const ProgramRun image = RunProgram({FLASH, "program", "--port", "/nonexistent/tty", "--image", fifo},
                                      std::chrono::seconds(10));
  EXPECT_EQ(image.status, 3) << image.err;
}

TEST_F(InspectTest, UnusableFile) {
  const std::string noCode = Write(
      "<LANG_ENGLISH>\r\n<REVISION>\r\nV1\r\n<END REVISION>\r\n<DEVICE SETUP>\r\nsetup\r\n"
      "<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n");
  const ProgramRun run = RunProgram({FLASH, "inspect", noCode});
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err, MESSAGE_UNUSABLE);

  // The texts read before the failure are still what the store holds.
  const ProgramRun json = RunProgram({FLASH, "inspect", noCode, "--json"});
  EXPECT_EQ(json.status, 4);
  const nlohmann::json report = OneJsonObject(json.out);
  EXPECT_EQ(report.at("result"), 2);
  EXPECT_TRUE(report.at("sha256").is_null()) << "no image to compare";
  EXPECT_EQ(report.at("revision"), "V1");
  EXPECT_EQ(report.at("deviceSetup"), "setup");

  // Usable in German only.
  const std::string german = Write(
      "<LANG_GERMAN>\r\n<REVISION>\r\nV1\r\n<END REVISION>\r\n<DEVICE SETUP>\r\ns\r\n<END DEVICE SETUP>\r\n"
      "<END LANG_GERMAN>\r\n<CODE>\r\nAB",
      "ZERVIKO_DE.qvk");
  EXPECT_EQ(RunProgram({FLASH, "inspect", german}).status, 4);
  const ProgramRun inGerman = RunProgram({FLASH, "inspect", german, "--language=2", "--json"});
  EXPECT_EQ(inGerman.status, 0);
  EXPECT_EQ(OneJsonObject(inGerman.out).at("imageLength"), 2);
}

TEST_F(InspectTest, UsageErrors) {
  const auto sample = SamplePath(samples::SAMPLE_PACKAGES[0]);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{FLASH, "inspect"}, {FLASH, "inspect", sample, "--language", "two"},
        {FLASH, "inspect", sample, "--bogus"}, {FLASH, "inspect", sample, "--language"}}) {
    const ProgramRun run = RunProgram(arguments);
    EXPECT_EQ(run.status, 2) << arguments.size() << " " << arguments.back();
    EXPECT_NE(run.err, "");
  }
}

TEST_F(InspectTest, EightBitTextsBecomeValidJson) {
  // UTF-8 stays as it is; other bytes are Windows-1252, the euro sign and C1 gaps
  // included. Control characters stay exact: JSON escapes them.
  const std::string path = Write(
      "<LANG_ENGLISH>\r\n<REVISION>\r\nVers\xC3\xA3o \xE2\x82\xAC \x1b[31m\r\n<END REVISION>\r\n<DEVICE SETUP>\r\n"
      "Stra\xDF" "e \x80 \x81 \"q\" \\ \t\r\n<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n\xFF");
  const ProgramRun run = RunProgram({FLASH, "inspect", path, "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json report = OneJsonObject(run.out);
  EXPECT_EQ(report.at("revision"), "Vers\xC3\xA3o \xE2\x82\xAC \x1b[31m");
  EXPECT_EQ(report.at("deviceSetup"), "Stra\xC3\x9F" "e \xE2\x82\xAC \xC2\x81 \"q\" \\");
  EXPECT_EQ(report.at("imageLength"), 1);
}

// Texts from outside reach the terminal with every control character shown as \xNN:
// a package's revision could otherwise recolour, retitle or rewrite it. Only the CR LF
// between a text's lines still ends a line; C1 controls count whether the text is
// UTF-8 or Windows-1252. The file name and the port list are shown the same way.
TEST_F(InspectTest, ControlCharactersAreShownEscaped) {
  struct Row {
    const char* name;
    std::string revision;
    std::string shown;
  };
  const Row rows[] = {
      {"escape sequences", "V1 \x1b[31mred\x1b]0;title\x07", "  V1 \\x1b[31mred\\x1b]0;title\\x07\n"},
      {"lines, lone CR, tab, DEL", "one\r\ntwo\rthree\t\x7f", "  one\n  two\\x0dthree\\x09\\x7f\n"},
      {"UTF-8", "\xC2\x9B" "2J \xC3\xA9", "  \\x9b2J \xC3\xA9\n"},
      {"Windows-1252", "\x9B" "2J \x81 \xE9", "  \xE2\x80\xBA" "2J \\x81 \xC3\xA9\n"},
  };
  const auto raw = [](const std::string& out) {
    for (std::size_t at = 0; at < out.size(); ++at) {
      const auto c = static_cast<unsigned char>(out[at]);
      const auto next = at + 1 < out.size() ? static_cast<unsigned char>(out[at + 1]) : 0;
      if ((c < 0x20 && c != '\n') || c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) return at;
    }
    return std::string::npos;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path =
        Write(Section("ENGLISH", row.revision, "setup") + "<CODE>\r\n", "ZERVIKO_\x1b[1m.avk");
    const ProgramRun run = RunProgram({FLASH, "inspect", path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Revision:\n" + row.shown + "Device setup:\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("/ZERVIKO_\\x1b[1m.avk\n"), std::string::npos) << run.out;
    EXPECT_EQ(raw(run.out), std::string::npos) << run.out;
  }

  const ProgramRun ports = RunProgram({"/usr/bin/env", "ZERVIKO_EXTRA_PORTS=/nonexistent/\x1b[2Jtty",
                                       "CUPS_SERVER=/nonexistent/cups.sock", FLASH, "ports"});
  EXPECT_NE(ports.out.find("/nonexistent/\\x1b[2Jtty\n"), std::string::npos) << ports.out;
  EXPECT_EQ(raw(ports.out), std::string::npos) << ports.out;
  // JSON is exact, and a path that is not UTF-8 comes out as Windows-1252 text.
  const ProgramRun json = RunProgram({"/usr/bin/env", "ZERVIKO_EXTRA_PORTS=/nonexistent/\x1b\xe9",
                                      "CUPS_SERVER=/nonexistent/cups.sock", FLASH, "ports", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"/nonexistent/\\u001b\xC3\xA9\""), std::string::npos) << json.out;
}

}  // namespace
}  // namespace zerviko::test
