// The texts a sample package should hand out, computed from the text files it was
// made from, independently of the reader: lines joined by CR LF, ends trimmed.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zerviko::test {

inline std::string ExpectedSampleText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  std::string text;
  std::istringstream lines(content.str());
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += line + "\r\n";
  }
  const char* space = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// The section a language index reads, as named in the sample text files.
inline const char* SampleLanguage(int index) {
  switch (index) {
    case 2:
      return "german";
    case 3:
      return "portuguese";
    case 1:
    case 4:
      return "spanish";
    default:
      return "english";
  }
}

}  // namespace zerviko::test
