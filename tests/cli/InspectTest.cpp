// zerviko-flash inspect, run as a program: exit statuses, messages, and the JSON a
// script reads, on the sample packages and on files that cannot be used.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/cli/RunProgram.h"
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
  EXPECT_EQ(object.size(), 4u) << out;
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
  // UTF-8 stays as it is; other bytes are Windows-1252, the euro sign and C1 gaps included.
  const std::string path = Write(
      "<LANG_ENGLISH>\r\n<REVISION>\r\nVers\xC3\xA3o \xE2\x82\xAC\r\n<END REVISION>\r\n<DEVICE SETUP>\r\n"
      "Stra\xDF" "e \x80 \x81 \"q\" \\ \t\r\n<END DEVICE SETUP>\r\n<END LANG_ENGLISH>\r\n<CODE>\r\n\xFF");
  const ProgramRun run = RunProgram({FLASH, "inspect", path, "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json report = OneJsonObject(run.out);
  EXPECT_EQ(report.at("revision"), "Vers\xC3\xA3o \xE2\x82\xAC");
  EXPECT_EQ(report.at("deviceSetup"), "Stra\xC3\x9F" "e \xE2\x82\xAC \xC2\x81 \"q\" \\");
  EXPECT_EQ(report.at("imageLength"), 1);
}

}  // namespace
}  // namespace zerviko::test
