// The folder of the running program: the kernel files, the status log, the language
// packs and the file chooser's start folder are all found beside the program. The
// build chooses the system's file (LinuxProgramFolder.cpp, Win32ProgramFolder.cpp).
#pragma once

#include <string>

namespace zerviko {

// The folder of the program's own executable file, ending in the system's separator
// ("/" on Linux, "\" on Windows); empty when the system cannot tell.
std::string ProgramFolder();

}  // namespace zerviko
