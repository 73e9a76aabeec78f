// zerviko-mkpackage, run as a program: the packages it writes read back as given,
// its synthetic images are deterministic, and it refuses texts that would break a package.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "package/FirmwarePackage.h"
#include "tests/cli/RunProgram.h"
#include "tools/SamplePackages.h"

namespace zerviko::test {
namespace {

const std::string MKPACKAGE = samples::MKPACKAGE;

class MkPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zerviko-mkpackage-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    ClearPackage();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const auto path = m_dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }
  static std::string Content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  static std::string Image() {
    std::uint32_t length = 0;
    GetPackageImage(nullptr, &length);
    std::string image(length, '\0');
    GetPackageImage(reinterpret_cast<std::uint8_t*>(image.data()), &length);
    return image;
  }
  std::filesystem::path m_dir;
};

TEST_F(MkPackageTest, WritesTextsAndImageThatReadBack) {
  const std::string image("\r\n\x1A\0<CODE>\r\n\xFF", 12);
  const ProgramRun run = RunProgram(
      {MKPACKAGE, "-o", Path("out/ZERVIKO_X.avk"), "--revision", "english=" + Write("r.txt", "  V3.0\n\nnote\n\n"),
       "--setup", "english=" + Write("s.txt", "step 1\r\nstep 2"), "--revision", "german=" + Write("rd.txt", "V3.0 de"),
       "--setup", "german=" + Write("sd.txt", "Schritt"), "--image", Write("image.bin", image), "--comment", "test"});
  ASSERT_EQ(run.status, 0) << run.err;

  ASSERT_EQ(ReadFirmwarePackage(Path("out/ZERVIKO_X.avk"), false, 0), PACKAGE_OK);
  EXPECT_EQ(GetPackageRevisionText(), "V3.0\r\n\r\nnote");
  EXPECT_EQ(GetPackageDeviceSetupText(), "step 1\r\nstep 2");
  EXPECT_EQ(Image(), image);
  ASSERT_EQ(ReadFirmwarePackage(Path("out/ZERVIKO_X.avk"), true, 2), PACKAGE_OK);
  EXPECT_EQ(GetPackageDeviceSetupText(), "Schritt");
  EXPECT_EQ(ReadFirmwarePackage(Path("out/ZERVIKO_X.avk"), true, 3), PACKAGE_UNUSABLE);  // no Portuguese
  EXPECT_EQ(Content(Path("out/ZERVIKO_X.avk")).rfind("test\r\n<LANG_ENGLISH>\r\n<REVISION>\r\n", 0), 0u);
}

TEST_F(MkPackageTest, SyntheticImagesAreDeterministic) {
  const std::string texts = samples::SAMPLE_PACKAGES[0].textDir;
  auto make = [&](const std::string& name, const char* seed) {
    return RunProgram({MKPACKAGE, "-o", Path(name), "--texts", texts, "--synthetic-image", "40KiB", "--seed", seed});
  };
  ASSERT_EQ(make("a.avk", "7").status, 0);
  ASSERT_EQ(make("b.avk", "7").status, 0);
  ASSERT_EQ(make("c.avk", "8").status, 0);
  EXPECT_EQ(Content(Path("a.avk")), Content(Path("b.avk")));
  EXPECT_NE(Content(Path("a.avk")), Content(Path("c.avk")));
  ASSERT_EQ(ReadFirmwarePackage(Path("a.avk"), false, 4), PACKAGE_OK);
  EXPECT_EQ(Image().size(), 40u * 1024u);
}

TEST_F(MkPackageTest, RefusesTextsThatWouldBreakThePackage) {
  const std::string setup = Write("s.txt", "setup");
  const std::string image = Write("i.bin", "img");
  for (const std::string& text : {std::string("V1\n<CODE>\n"), std::string("V1 <END REVISION>"),
                                  std::string("<LANG_GERMAN>"), std::string("V1\x1A"), std::string("V\0 1", 4)}) {
    const ProgramRun run = RunProgram({MKPACKAGE, "-o", Path("bad.avk"), "--revision", "english=" + Write("r.txt", text),
                                       "--setup", "english=" + setup, "--image", image});
    EXPECT_EQ(run.status, 1) << text;
    EXPECT_NE(run.err, "");
    EXPECT_FALSE(std::filesystem::exists(Path("bad.avk")));
  }
}

TEST_F(MkPackageTest, UsageErrors) {
  const std::string text = Write("t.txt", "text");
  const std::string image = Write("i.bin", "img");
  // No image, no texts, a language without its device setup, an unknown language.
  EXPECT_EQ(RunProgram({MKPACKAGE, "-o", Path("x.avk"), "--revision", "english=" + text, "--setup", "english=" + text})
                .status,
            2);
  EXPECT_EQ(RunProgram({MKPACKAGE, "-o", Path("x.avk"), "--image", image}).status, 2);
  EXPECT_EQ(RunProgram({MKPACKAGE, "-o", Path("x.avk"), "--revision", "english=" + text, "--image", image}).status, 1);
  EXPECT_EQ(RunProgram({MKPACKAGE, "-o", Path("x.avk"), "--revision", "french=" + text, "--setup", "french=" + text,
                        "--image", image})
                .status,
            1);
  EXPECT_EQ(RunProgram({MKPACKAGE, "-o", Path("x.avk"), "--revision", "english=" + text, "--setup",
                        "english=" + text, "--image", image, "--synthetic-image", "1KiB"})
                .status,
            2);
  EXPECT_FALSE(std::filesystem::exists(Path("x.avk")));
}

}  // namespace
}  // namespace zerviko::test
