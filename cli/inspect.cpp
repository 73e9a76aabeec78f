// zerviko-flash inspect: reads a firmware package the way a programming run does (texts
// of one language and the code image) and shows what the run would use.
//
// Package texts are 8-bit text. For --json they must become Unicode: a text that is
// valid UTF-8 (the code page of a Linux system, and of our sample packages) is passed
// through unchanged; any other text is read as Windows-1252, the Western European
// code page packages written on Windows use, byte for byte, so nothing is lost and
// the output is always valid JSON.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "package/FirmwarePackage.h"

namespace zerviko::cli {
namespace {

constexpr const char* MESSAGE_FILE_UNAVAILABLE = "The selected file is unavailable.\n\nPlease select another file.";
constexpr const char* MESSAGE_FILE_UNUSABLE = "The selected file is unusable.\n\nPlease select another file.";
constexpr std::size_t BLOCK_SIZE = 128;  // the engine writes the image in these, skipping empty ones

struct InspectOptions {
  std::string path;
  int language = 0;
  bool json = false;
};

const char* SectionName(int languageIndex) {
  switch (languageIndex) {
    case 2:
      return "German";
    case 3:
      return "Portuguese";
    case 1:
    case 4:
      return "Spanish";
    default:
      return "English";
  }
}

bool IsUtf8(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t follow = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++at;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      follow = 1;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      follow = 2;
      code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      follow = 3;
      code = lead & 0x07u;
    } else {
      return false;
    }
    if (at + follow >= text.size()) return false;  // cut short by the end of the text
    for (std::size_t i = 1; i <= follow; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms, UTF-16 surrogates and code points beyond Unicode are not UTF-8.
    if ((follow == 2 && code < 0x800) || (follow == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    at += follow + 1;
  }
  return true;
}

// Windows-1252 bytes 0x80 to 0x9F; the five the code page leaves undefined keep their
// C1 control code points, as Windows itself converts them.
constexpr char16_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Cp1252ToUtf8(const std::string& text) {
  std::string utf8;
  utf8.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const std::uint32_t code = byte >= 0x80 && byte <= 0x9F ? CP1252_HIGH[byte - 0x80] : byte;
    if (code < 0x80) {
      utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
      utf8 += static_cast<char>(0xC0 | (code >> 6));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | (code >> 12));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}

std::string JsonText(const std::string& text) { return IsUtf8(text) ? text : Cp1252ToUtf8(text); }

// A stored text for the terminal: its CR LF line ends as the terminal's, each line
// indented under its heading.
void PrintText(const std::string& text) {
  std::string line;
  auto flush = [&line] {
    std::cout << (line.empty() ? "" : "  ") << line << '\n';
    line.clear();
  };
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
      flush();
      ++at;
    } else {
      line += text[at];
    }
  }
  if (!text.empty()) flush();
}

int RunInspect(const InspectOptions& options) {
  const int result = ReadFirmwarePackage(options.path, false, options.language);
  std::uint32_t length = 0;
  GetPackageImage(nullptr, &length);

  if (options.json) {
    const nlohmann::ordered_json report = {{"result", result},
                                   {"revision", JsonText(GetPackageRevisionText())},
                                   {"deviceSetup", JsonText(GetPackageDeviceSetupText())},
                                   {"imageLength", length}};
    std::cout << report.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  } else if (result == PACKAGE_OK) {
    std::vector<std::uint8_t> image(length);
    GetPackageImage(image.data(), &length);
    std::size_t blocks = 0;
    std::size_t empty = 0;
    for (std::size_t at = 0; at < image.size(); at += BLOCK_SIZE, ++blocks) {
      const std::size_t end = std::min(image.size(), at + BLOCK_SIZE);
      bool blank = true;
      for (std::size_t i = at; i < end && blank; ++i) blank = image[i] == 0xFF;
      if (blank) ++empty;
    }
    std::cout << "Package:       " << options.path << '\n'
              << "Language:      " << options.language << " (" << SectionName(options.language)
              << " section)\n"
              << "Revision:\n";
    PrintText(GetPackageRevisionText());
    std::cout << "Device setup:\n";
    PrintText(GetPackageDeviceSetupText());
    std::cout << "Image length:  " << length << " bytes (" << blocks << " blocks of " << BLOCK_SIZE
              << " bytes, " << (blocks - empty) << " to write, " << empty << " empty)\n";
  }
  ClearPackage();
  std::cout.flush();

  if (result == PACKAGE_OK) return EXIT_OK;
  std::cerr << (result == PACKAGE_FILE_UNAVAILABLE ? MESSAGE_FILE_UNAVAILABLE : MESSAGE_FILE_UNUSABLE) << '\n';
  return result == PACKAGE_FILE_UNAVAILABLE ? EXIT_PACKAGE_UNAVAILABLE : EXIT_PACKAGE_UNUSABLE;
}

}  // namespace

void AddInspectCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<InspectOptions>();
  CLI::App* sub = app.add_subcommand(
      "inspect", "Read a firmware package as a programming run does: its texts in one language and its image");
  sub->add_option("package", options->path, "the firmware package (ZERVIKO*.avk or ZERVIKO*.qvk)")->required();
  sub->add_option("-l,--language", options->language,
                  "language index: 0 English, 1 French (reads the Spanish texts), 2 German, 3 Portuguese, "
                  "4 Spanish; any other reads English")
      ->capture_default_str();
  sub->add_flag("--json", options->json,
                "print one JSON object: result, revision, deviceSetup (texts with their CR LF), imageLength");
  sub->footer(
      "Exit status: 0 the package is usable, 3 it is unavailable (missing, not a file, locked or "
      "unreadable), 4 it is unusable (a marker is missing), 2 usage error.");
  sub->callback([&action, options] { action = [options] { return RunInspect(*options); }; });
}

}  // namespace zerviko::cli
