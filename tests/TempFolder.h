// A fresh, empty folder below the system's temporary folder, made the same way on
// every system the tests are built for.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace zerviko::test {

inline std::filesystem::path MakeTempFolder(const std::string& prefix) {
  static std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = base / (prefix + std::to_string(random()));
    // Only the maker of a folder sees it made, so two tests never share one.
    if (std::filesystem::create_directory(folder)) return folder;
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

}  // namespace zerviko::test
