// zerviko-mkpackage: writes a firmware package from its texts per language and a code
// image, then reads it back with the loader's own reader to prove it usable.
//
// The texts are plain text files (any line ends); the package gets them with CR LF
// line ends, as the maker's packages have. The image is a file, or a deterministic
// synthetic image: random "code" with stretches of 0xFF (whole 128-byte blocks and
// runs of them, about a quarter of the image) such as a linker leaves between
// sections, for samples, tests and benchmarks.
#include <CLI/CLI.hpp>
#include <stdio.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "package/FirmwarePackage.h"

namespace {

namespace fs = std::filesystem;

struct Language {
  std::string_view name;    // as given on the command line and in text file names
  std::string_view marker;  // the section's marker name
  int index;                // a language index that reads this section
};

constexpr std::array<Language, 4> LANGUAGES = {{
    {"english", "ENGLISH", 0},
    {"german", "GERMAN", 2},
    {"portuguese", "PORTUGUESE", 3},
    {"spanish", "SPANISH", 4},
}};

// Anything the reader would take for a marker cannot stand in a text.
constexpr std::array<std::string_view, 8> RESERVED = {
    "<LANG_", "<END LANG_", "<REVISION>", "<END REVISION>", "<DEVICE SETUP>", "<END DEVICE SETUP>",
    "<CODE>", "\x1A"};

constexpr std::size_t BLOCK_SIZE = 128;  // the engine writes, and skips, 128-byte blocks

struct Texts {
  std::optional<std::vector<std::string>> revision;
  std::optional<std::vector<std::string>> deviceSetup;
};

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// SplitMix64: small, fast and the same on every platform, so a seed always gives the
// same image.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }

 private:
  std::uint64_t m_state;
};

std::vector<std::uint8_t> SyntheticImage(std::size_t size, std::uint64_t seed) {
  SplitMix64 random(seed);
  std::vector<std::uint8_t> image(size, 0xFF);
  const std::size_t blocks = (size + BLOCK_SIZE - 1) / BLOCK_SIZE;
  std::size_t block = 0;
  while (block < blocks) {
    // A run of code (4 to 60 blocks), then an empty stretch (1 to 20 blocks): on
    // average about a quarter of the blocks stay empty.
    const std::size_t codeBlocks = 4 + random.Below(57);
    for (std::size_t i = 0; i < codeBlocks && block < blocks; ++i, ++block) {
      const std::size_t begin = block * BLOCK_SIZE;
      const std::size_t end = std::min(size, begin + BLOCK_SIZE);
      for (std::size_t at = begin; at < end; ++at) image[at] = static_cast<std::uint8_t>(random.Next());
      // Now and then padding between routines: 0xFF inside a block that still has code.
      if (random.Below(16) == 0 && end - begin == BLOCK_SIZE) {
        const std::size_t start = begin + 8 + random.Below(64);
        const std::size_t length = 8 + random.Below(48);
        std::fill(image.begin() + static_cast<std::ptrdiff_t>(start),
                  image.begin() + static_cast<std::ptrdiff_t>(start + length), 0xFF);
      }
    }
    block += 1 + random.Below(20);
  }
  return image;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw Failure("cannot read " + path.string());
  return bytes.str();
}

// Splits a text file into lines (LF or CR LF), dropping blank lines at its end.
std::vector<std::string> TextLines(const fs::path& path) {
  const std::string text = ReadFile(path);
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  while (!lines.empty() && lines.back().find_first_not_of(" \t\r\v\f") == std::string::npos) {
    lines.pop_back();
  }
  for (const std::string& line : lines) {
    if (line.find('\0') != std::string::npos) throw Failure(path.string() + ": a text cannot hold a NUL byte");
    for (std::string_view reserved : RESERVED) {
      if (line.find(reserved) != std::string::npos) {
        throw Failure(path.string() + ": the line \"" + line + "\" would be read as a package marker");
      }
    }
  }
  return lines;
}

const Language& FindLanguage(const std::string& name) {
  for (const Language& language : LANGUAGES) {
    if (language.name == name) return language;
  }
  throw Failure("unknown language \"" + name + "\" (english, german, portuguese or spanish)");
}

std::size_t LanguageSlot(const Language& language) {
  return static_cast<std::size_t>(&language - LANGUAGES.data());
}

// "LANG=FILE" options.
void AddTextFiles(const std::vector<std::string>& options, bool revision, std::array<Texts, 4>& texts) {
  for (const std::string& option : options) {
    const auto equals = option.find('=');
    if (equals == std::string::npos) throw Failure("expected LANG=FILE, got \"" + option + "\"");
    Texts& slot = texts[LanguageSlot(FindLanguage(option.substr(0, equals)))];
    (revision ? slot.revision : slot.deviceSetup) = TextLines(option.substr(equals + 1));
  }
}

std::string Joined(const std::vector<std::string>& lines, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += separator;
    text += lines[i];
  }
  return text;
}

// What the reader will hand out for these lines: joined by CR LF, ends trimmed.
std::string StoredText(const std::vector<std::string>& lines) {
  const std::string text = Joined(lines, "\r\n");
  constexpr std::string_view space = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::string Header(const std::vector<std::string>& comments, const std::array<Texts, 4>& texts) {
  const std::string crlf = "\r\n";
  std::string header;
  for (const std::string& comment : comments) header += comment + crlf;
  for (const Language& language : LANGUAGES) {
    const Texts& slot = texts[LanguageSlot(language)];
    if (!slot.revision) continue;
    const std::string name(language.marker);
    header += "<LANG_" + name + ">" + crlf;
    header += "<REVISION>" + crlf;
    for (const std::string& line : *slot.revision) header += line + crlf;
    header += "<END REVISION>" + crlf;
    header += "<DEVICE SETUP>" + crlf;
    for (const std::string& line : *slot.deviceSetup) header += line + crlf;
    header += "<END DEVICE SETUP>" + crlf;
    header += "<END LANG_" + name + ">" + crlf;
  }
  return header + "<CODE>" + crlf;
}

void WritePackage(const fs::path& output, const std::string& header, const std::vector<std::uint8_t>& image) {
  if (output.has_parent_path()) fs::create_directories(output.parent_path());
  // Written beside the target and renamed, so a failed run never leaves half a package.
  const fs::path partial = output.string() + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(partial, ignored);
      throw Failure("cannot write " + output.string());
    }
  }
  fs::rename(partial, output);
}

void Verify(const fs::path& output, const std::array<Texts, 4>& texts, const std::vector<std::uint8_t>& image) {
  for (const Language& language : LANGUAGES) {
    const Texts& slot = texts[LanguageSlot(language)];
    if (!slot.revision) continue;
    const int result = zerviko::ReadFirmwarePackage(output.string(), false, language.index);
    std::uint32_t length = 0;
    zerviko::GetPackageImage(nullptr, &length);
    std::vector<std::uint8_t> stored(length);
    zerviko::GetPackageImage(stored.data(), &length);
    if (result != zerviko::PACKAGE_OK || zerviko::GetPackageRevisionText() != StoredText(*slot.revision) ||
        zerviko::GetPackageDeviceSetupText() != StoredText(*slot.deviceSetup) || stored != image) {
      zerviko::ClearPackage();
      std::error_code ignored;
      fs::remove(output, ignored);
      throw Failure(output.string() + ": the package does not read back as written (" +
                    std::string(language.name) + ", result " + std::to_string(result) + ")");
    }
  }
  zerviko::ClearPackage();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "zerviko-mkpackage: writes a ZERVIKO firmware package from its texts per language and a code image"};

  std::string output;
  std::string textDir;
  std::vector<std::string> revisionFiles;
  std::vector<std::string> setupFiles;
  std::vector<std::string> comments;
  std::string imageFile;
  std::uint64_t syntheticSize = 0;
  std::uint64_t seed = 1;

  app.add_option("-o,--output", output, "the package file to write")->required();
  app.add_option("--texts", textDir,
                 "a folder with revision-LANG.txt and setup-LANG.txt for each language to include "
                 "(LANG: english, german, portuguese, spanish)")
      ->check(CLI::ExistingDirectory);
  app.add_option("--revision", revisionFiles, "LANG=FILE: the revision text of one language");
  app.add_option("--setup", setupFiles, "LANG=FILE: the device setup text of one language");
  app.add_option("--comment", comments, "a comment line before the language sections");
  auto* image = app.add_option("--image", imageFile, "the code image file")->check(CLI::ExistingFile);
  auto* synthetic = app.add_option("--synthetic-image", syntheticSize,
                                   "instead of --image, a synthetic image of this size (e.g. 384KiB)")
                        ->transform(CLI::AsSizeValue(false));
  app.add_option("--seed", seed, "the seed of the synthetic image")->capture_default_str();
  image->excludes(synthetic);
  synthetic->excludes(image);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (imageFile.empty() && synthetic->count() == 0) {
    std::cerr << "zerviko-mkpackage: give --image or --synthetic-image\n";
    return 2;
  }
  if (textDir.empty() && revisionFiles.empty() && setupFiles.empty()) {
    std::cerr << "zerviko-mkpackage: give the texts (--texts, --revision, --setup)\n";
    return 2;
  }

  try {
    if (syntheticSize > 0xFFFFFFFFULL) throw Failure("an image holds at most 4 GiB - 1 bytes");

    std::array<Texts, 4> texts;
    if (!textDir.empty()) {
      for (const Language& language : LANGUAGES) {
        const fs::path revision = fs::path(textDir) / ("revision-" + std::string(language.name) + ".txt");
        const fs::path setup = fs::path(textDir) / ("setup-" + std::string(language.name) + ".txt");
        Texts& slot = texts[LanguageSlot(language)];
        if (fs::exists(revision)) slot.revision = TextLines(revision);
        if (fs::exists(setup)) slot.deviceSetup = TextLines(setup);
      }
    }
    AddTextFiles(revisionFiles, true, texts);
    AddTextFiles(setupFiles, false, texts);

    bool anyLanguage = false;
    for (const Language& language : LANGUAGES) {
      const Texts& slot = texts[LanguageSlot(language)];
      if (slot.revision.has_value() != slot.deviceSetup.has_value()) {
        throw Failure(std::string(language.name) + " needs both a revision and a device setup text");
      }
      anyLanguage = anyLanguage || slot.revision.has_value();
    }
    if (!anyLanguage) throw Failure("no language texts found");
    for (const std::string& comment : comments) {
      for (std::string_view reserved : RESERVED) {
        if (comment.find(reserved) != std::string::npos || comment.find_first_of("\r\n") != std::string::npos) {
          throw Failure("the comment \"" + comment + "\" would break the package");
        }
      }
    }

    std::vector<std::uint8_t> bytes;
    if (!imageFile.empty()) {
      const std::string content = ReadFile(imageFile);
      bytes.assign(content.begin(), content.end());
      if (bytes.size() > 0xFFFFFFFFULL) throw Failure("an image holds at most 4 GiB - 1 bytes");
    } else {
      bytes = SyntheticImage(static_cast<std::size_t>(syntheticSize), seed);
    }

    WritePackage(output, Header(comments, texts), bytes);
    Verify(output, texts, bytes);
  } catch (const std::exception& e) {
    std::cerr << "zerviko-mkpackage: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
