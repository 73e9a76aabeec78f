// The user's own folders for the loader. An installed program folder cannot be written
// by the user, so what the user keeps (the status log) and chooses (a language pack)
// goes to the user's folders instead. The build chooses the system's file
// (LinuxUserFolders.cpp, Win32UserFolders.cpp).
#pragma once

#include <string>
#include <vector>

namespace zerviko {

// "$XDG_STATE_HOME/zerviko-loader/", by default "~/.local/state/zerviko-loader/": where
// the status log goes when the program folder cannot be written. Ends in "/"; empty on
// Windows (the program folder is used as it always was) or when the home is unknown.
std::string UserStateFolder();

// "$XDG_CONFIG_HOME/zerviko-loader/", by default "~/.config/zerviko-loader/". Ends in
// "/"; empty on Windows or when the home is unknown.
std::string UserConfigFolder();

// Makes the folder (a path ending in "/") and every missing folder above it, each new
// one for its owner only: a user's state is the user's own. True when the folder is
// there at the end. Never needed on Windows, where the user folders are empty.
bool MakeUserFolder(const std::string& folder);

// The folders searched for language packs, in order: "Resources" in the user's config
// folder (where there is one), then "Resources" beside the program. The first folder
// that holds a pack decides; programFolder ends in the system's separator.
std::vector<std::string> LanguagePackFolders(const std::string& programFolder);

}  // namespace zerviko
