// Helpers shared by the package reader's tests: a private temp folder per test and
// builders for package bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/FirmwarePackage.h"
#include "tests/TempFolder.h"

namespace zerviko::test {

inline const std::string CRLF = "\r\n";

// One language section in the layout the maker writes: CR LF line ends, revision
// block first, then device setup.
inline std::string Section(const std::string& language, const std::string& revision,
                           const std::string& deviceSetup) {
  return "<LANG_" + language + ">" + CRLF + "<REVISION>" + CRLF + revision + CRLF +
         "<END REVISION>" + CRLF + "<DEVICE SETUP>" + CRLF + deviceSetup + CRLF +
         "<END DEVICE SETUP>" + CRLF + "<END LANG_" + language + ">" + CRLF;
}

// A well-formed package with four sections whose texts name their language.
inline std::string FullHeader() {
  return "ZERVIKO test package" + CRLF + Section("ENGLISH", "English revision", "English setup") +
         Section("GERMAN", "German revision", "German setup") +
         Section("PORTUGUESE", "Portuguese revision", "Portuguese setup") +
         Section("SPANISH", "Spanish revision", "Spanish setup") + "<CODE>" + CRLF;
}

inline std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

inline std::string StoredImage() {
  std::uint32_t length = 12345;
  GetPackageImage(nullptr, &length);
  std::string image(length, '\0');
  if (length > 0) GetPackageImage(reinterpret_cast<std::uint8_t*>(image.data()), &length);
  return image;
}

// Every test gets its own folder, so the suite runs in parallel safely.
class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = MakeTempFolder("zerviko-package-"); }
  void TearDown() override {
    ClearPackage();
    std::error_code ignored;
    std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_dir, ignored);
  }

  std::string Write(const std::string& bytes, const std::string& name = "ZERVIKO_TEST.avk") {
    const std::filesystem::path path = m_dir / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    EXPECT_TRUE(out) << "cannot write " << path;
    return path.string();
  }

  int Read(const std::string& bytes, bool validateOnly = true, int language = 0) {
    return ReadFirmwarePackage(Write(bytes), validateOnly, language);
  }

  std::filesystem::path m_dir;
};

}  // namespace zerviko::test
