// The sample packages the build puts in "Firmware Files": every language reads, the
// texts are the ones they were made from, and the image looks like firmware.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "package/FirmwarePackage.h"
#include "tests/package/SampleTexts.h"
#include "tools/SamplePackages.h"

namespace zerviko::test {
namespace {

using samples::SAMPLE_PACKAGES;

std::filesystem::path SamplePath(const samples::SamplePackage& sample) {
  return std::filesystem::path(samples::FIRMWARE_DIR) / sample.name;
}

TEST(SamplePackagesTest, BothModelsAreThere) {
  bool abc = false;
  bool keyboard = false;
  for (const auto& sample : SAMPLE_PACKAGES) {
    const std::string name = sample.name;
    EXPECT_EQ(name.rfind("ZERVIKO", 0), 0u) << name;
    abc = abc || name.ends_with(".avk");
    keyboard = keyboard || name.ends_with(".qvk");
    EXPECT_TRUE(std::filesystem::is_regular_file(SamplePath(sample))) << name;
  }
  EXPECT_TRUE(abc);
  EXPECT_TRUE(keyboard);
}

TEST(SamplePackagesTest, EveryLanguageReadsItsTexts) {
  for (const auto& sample : SAMPLE_PACKAGES) {
    for (int index : {0, 1, 2, 3, 4}) {
      SCOPED_TRACE(std::string(sample.name) + " language " + std::to_string(index));
      const std::filesystem::path texts = sample.textDir;
      const std::string language = SampleLanguage(index);
      ASSERT_EQ(ReadFirmwarePackage(SamplePath(sample).string(), false, index), PACKAGE_OK);
      const std::string revision = GetPackageRevisionText();
      const std::string setup = GetPackageDeviceSetupText();
      EXPECT_EQ(revision, ExpectedSampleText(texts / ("revision-" + language + ".txt")));
      EXPECT_EQ(setup, ExpectedSampleText(texts / ("setup-" + language + ".txt")));
      EXPECT_NE(revision.find("V2.14"), std::string::npos);
      EXPECT_GE(std::count(setup.begin(), setup.end(), '\n'), 5);  // multi-line instructions
      std::uint32_t length = 0;
      GetPackageImage(nullptr, &length);
      EXPECT_EQ(length, sample.imageSize);
    }
  }
  ClearPackage();
}

TEST(SamplePackagesTest, ImagesHoldCodeAndEmptyBlocks) {
  for (const auto& sample : SAMPLE_PACKAGES) {
    SCOPED_TRACE(sample.name);
    ASSERT_EQ(ReadFirmwarePackage(SamplePath(sample).string(), false, 0), PACKAGE_OK);
    std::uint32_t length = 0;
    GetPackageImage(nullptr, &length);
    std::vector<std::uint8_t> image(length);
    GetPackageImage(image.data(), &length);
    ClearPackage();

    constexpr std::size_t block = 128;
    std::size_t empty = 0;
    std::size_t blocks = 0;
    for (std::size_t at = 0; at < image.size(); at += block, ++blocks) {
      const auto end = image.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), at + block));
      if (std::all_of(image.begin() + static_cast<std::ptrdiff_t>(at), end, [](std::uint8_t b) { return b == 0xFF; })) {
        ++empty;
      }
    }
    const double share = static_cast<double>(empty) / static_cast<double>(blocks);
    EXPECT_GT(share, 0.15);
    EXPECT_LT(share, 0.35);
    // Bytes a text-mode read would mangle must come through the load untouched.
    for (std::uint8_t b : {0x0D, 0x0A, 0x1A, 0x00}) {
      EXPECT_NE(std::find(image.begin(), image.end(), b), image.end()) << int(b);
    }
  }
}

}  // namespace
}  // namespace zerviko::test
