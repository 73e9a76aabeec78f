#include "files/UserFolders.h"

namespace zerviko {

// On Windows the loader keeps its log and finds its packs beside the program, as it
// always has.
std::string UserStateFolder() { return {}; }

std::string UserConfigFolder() { return {}; }

}  // namespace zerviko
