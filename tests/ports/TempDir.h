// A folder of its own for one test, removed with everything in it at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace zerviko::ports::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zerviko-ports-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

  // Writes text to a file below the folder, making the folders on the way.
  void Write(const std::filesystem::path& relative, const std::string& text) const {
    const std::filesystem::path file = m_path / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  void MakeDir(const std::filesystem::path& relative) const {
    std::filesystem::create_directories(m_path / relative);
  }
  // A symlink at link (below the folder) holding target as given, relative as sysfs's are.
  void Link(const std::filesystem::path& target, const std::filesystem::path& link) const {
    std::filesystem::create_directories((m_path / link).parent_path());
    std::filesystem::create_symlink(target, m_path / link);
  }

 private:
  std::filesystem::path m_path;
};

}  // namespace zerviko::ports::test
