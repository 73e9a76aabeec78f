// The subcommands of zerviko-flash. Each Add*Command registers its subcommand on the
// application; when that subcommand is the one parsed, it sets action to the code
// that runs it and returns the program's exit status.
#pragma once

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace zerviko::cli {

using Action = std::function<int()>;

// Exit statuses shared by every subcommand.
enum : int {
  EXIT_OK = 0,
  EXIT_FAILED = 1,
  EXIT_USAGE = 2,
  EXIT_PACKAGE_UNAVAILABLE = 3,
  EXIT_PACKAGE_UNUSABLE = 4,
  // every run done, but the --log file (or a station's --record) could not be written whole
  EXIT_LOG_INCOMPLETE = 5,
};

// The line on standard error for a package the reader refused (result: its
// PACKAGE_FILE_UNAVAILABLE or PACKAGE_FILE_UNUSABLE), naming the file and the reason.
std::string PackageRefusal(const std::string& path, int result);

void AddInspectCommand(CLI::App& app, Action& action);
void AddProgramCommand(CLI::App& app, Action& action);
void AddPortsCommand(CLI::App& app, Action& action);

}  // namespace zerviko::cli
