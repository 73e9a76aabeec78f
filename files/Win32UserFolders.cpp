#include "files/UserFolders.h"

namespace zerviko {

// On Windows the loader keeps its log and finds its packs beside the program, as it
// always has.
std::string UserStateFolder() { return {}; }

std::string UserConfigFolder() { return {}; }

bool MakeUserFolder(const std::string& /*folder*/) { return false; }

}  // namespace zerviko
