#include "wizard/Language.h"

#include <cctype>

#include "files/FolderListing.h"
#include "wizard/WizardState.h"

namespace zerviko::wizard {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

int LanguageFromPackName(std::string_view fileName, std::string_view extension) {
  const std::string_view ending = fileName.size() > 7 ? fileName.substr(fileName.size() - 7) : fileName;
  // Compared in this order; the first equal ending decides.
  constexpr struct {
    const char* code;
    int language;
  } kPacks[] = {{"FRA", LANGUAGE_FRENCH}, {"DEU", LANGUAGE_GERMAN}, {"PTB", LANGUAGE_PORTUGUESE},
                {"ESP", LANGUAGE_SPANISH}};
  for (const auto& pack : kPacks) {
    if (EqualNoCase(ending, std::string(pack.code) + std::string(extension))) return pack.language;
  }
  return LANGUAGE_ENGLISH;
}

std::string FindLanguagePack(const std::vector<std::string>& folders, std::string_view extension) {
  for (const std::string& folder : folders) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, "*" + std::string(extension), entries)) continue;
    const FolderEntry* first = nullptr;
    for (const FolderEntry& entry : entries) {
      if (!entry.isFolder && (first == nullptr || entry.name < first->name)) first = &entry;
    }
    if (first != nullptr) return folder + first->name;
  }
  return {};
}

}  // namespace zerviko::wizard
