// The package reader's tests: a folder of its own per test, and package bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "package/FirmwarePackage.h"
#include "tests/TempFolder.h"

namespace zerviko::test {

// One language section as the maker writes it: CR LF line ends, revision block first.
inline std::string Section(const std::string& language, const std::string& revision, const std::string& setup) {
  return "<LANG_" + language + ">\r\n<REVISION>\r\n" + revision + "\r\n<END REVISION>\r\n<DEVICE SETUP>\r\n" + setup +
         "\r\n<END DEVICE SETUP>\r\n<END LANG_" + language + ">\r\n";
}

// The four sections, not in the maker's order, each with texts that name its language.
inline std::string FullHeader() {
  std::string header = "ZERVIKO test package\r\n";
  for (std::string language : {"SPANISH", "GERMAN", "ENGLISH", "PORTUGUESE"}) {
    header += Section(language, language + " revision", language + " setup");
  }
  return header + "<CODE>\r\n";
}

inline std::string StoredImage() {
  std::uint32_t length = 99;  // the store sets it, to 0 too
  GetPackageImage(nullptr, &length);
  std::string image(length, '\0');
  GetPackageImage(reinterpret_cast<std::uint8_t*>(image.data()), &length);
  return image;
}

// The image of the package file at path, read and let go again.
inline std::vector<std::uint8_t> PackageImage(const std::string& path) {
  EXPECT_EQ(ReadFirmwarePackage(path, false, 0), PACKAGE_OK) << path;
  const std::string image = StoredImage();
  ClearPackage();
  return {image.begin(), image.end()};
}

inline std::string Slurp(const std::filesystem::path& file) {
  std::ostringstream bytes;
  bytes << std::ifstream(file, std::ios::binary).rdbuf();
  return bytes.str();
}

class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = MakeTempFolder("zerviko-package-"); }
  void TearDown() override {
    ClearPackage();
    std::filesystem::remove_all(m_dir);
  }
  std::string Write(const std::string& bytes, const std::string& name = "ZERVIKO_TEST.avk") {
    std::ofstream(m_dir / name, std::ios::binary) << bytes;
    return (m_dir / name).string();
  }

  std::filesystem::path m_dir;
};

}  // namespace zerviko::test
