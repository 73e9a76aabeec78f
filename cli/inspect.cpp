// zerviko-flash inspect: reads a firmware package the way a programming run does (texts
// of one language and the code image) and shows what the run would use.
//
// Package texts are 8-bit text; both outputs show them as UTF-8 (cli/Text.h). --json
// gives them exactly; the readable report shows their control characters escaped.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/ImageBlocks.h"
#include "cli/Sha256.h"
#include "cli/Text.h"
#include "package/FirmwarePackage.h"

namespace zerviko::cli {
namespace {

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

// A stored text for the terminal: its CR LF line ends as the terminal's, each line
// indented under its heading and shown printable. The whole text is read in one code
// page, as --json reads it, before it is cut into lines.
void PrintText(const std::string& stored) {
  const std::string text = Utf8Text(stored);
  std::string line;
  auto flush = [&line] {
    std::cout << (line.empty() ? "" : "  ") << PrintableText(line) << '\n';
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
  std::vector<std::uint8_t> image(length);
  if (length > 0) GetPackageImage(image.data(), &length);
  // Only a package that was read whole has an image to compare with a published sum.
  const std::string sha256 = result == PACKAGE_OK ? Sha256Hex(image.data(), image.size()) : "";

  if (options.json) {
    const nlohmann::ordered_json report = {{"result", result},
                                   {"revision", GetPackageRevisionText()},
                                   {"deviceSetup", GetPackageDeviceSetupText()},
                                   {"imageLength", length},
                                   {"sha256", sha256.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(sha256)}};
    std::cout << JsonLine(report) << '\n';
  } else if (result == PACKAGE_OK) {
    const ImageBlocks blocks(image);
    std::cout << "Package:       " << PrintableText(options.path) << '\n'
              << "Language:      " << options.language << " (" << SectionName(options.language)
              << " section)\n"
              << "Revision:\n";
    PrintText(GetPackageRevisionText());
    std::cout << "Device setup:\n";
    PrintText(GetPackageDeviceSetupText());
    std::cout << "Image length:  " << length << " bytes (" << (blocks.written + blocks.empty)
              << " blocks of " << ImageBlocks::SIZE << " bytes, " << blocks.written
              << " to write, " << blocks.empty << " empty)\n"
              << "Image SHA-256: " << sha256 << '\n';
  }
  ClearPackage();
  std::cout.flush();

  if (result == PACKAGE_OK) return EXIT_OK;
  std::cerr << PackageRefusal(options.path, result);
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
                "print one JSON object: result, revision, deviceSetup (texts with their CR LF), imageLength, "
                "sha256 (of the image, as sha256sum prints it; null when the package is not usable)");
  sub->footer(
      "Exit status: 0 the package is usable, 3 it is unavailable (missing, not a file, locked or "
      "unreadable), 4 it is unusable (a marker is missing), 2 usage error.");
  sub->callback([&action, options] { action = [options] { return RunInspect(*options); }; });
}

}  // namespace zerviko::cli
