// The language of the interface, chosen at start-up from the name of a language pack
// ("FRA.rcc" for the Qt wizard, "FRA.dll" for the Windows one) in a "Resources" folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zerviko::wizard {

// The language index a pack's file name stands for: its last seven characters (the
// whole name when shorter), letter case ignored, compared in this order with
// "FRA" + extension, "DEU" + extension, "PTB" + extension, "ESP" + extension; the
// first equal one gives 1, 2, 3 or 4; any other name 0. extension is ".rcc" or ".dll".
int LanguageFromPackName(std::string_view fileName, std::string_view extension);

// The pack to use: in the first of folders (LanguagePackFolders of files/UserFolders.h:
// the user's own "Resources", then the one beside the program) that holds any, the first file matching
// "*" + extension (letter case ignored) in the order of the names' bytes, so that the
// choice depends neither on the file system nor on the user's locale. Full path;
// empty when there is none.
std::string FindLanguagePack(const std::vector<std::string>& folders, std::string_view extension);

}  // namespace zerviko::wizard
