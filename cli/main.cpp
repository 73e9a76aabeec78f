// zerviko-flash: the command-line loader, over the same engine and package reader
// as the wizard.
#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/Platform.h"

#ifndef ZERVIKO_VERSION
#define ZERVIKO_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  using namespace zerviko::cli;
  PrepareConsole();

  CLI::App app{"zerviko-flash: programs the firmware of ZERVIKO printers"};
  app.set_version_flag("--version", ZERVIKO_VERSION);
  app.require_subcommand(1);
  // Options are written the same way on every system ("--port"): on Windows too, an
  // argument that starts with "/" is a path (an MSYS shell's, Wine's), not an option.
  app.allow_windows_style_options(false);

  Action action;
  AddInspectCommand(app, action);
  AddProgramCommand(app, action);
  AddPortsCommand(app, action);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end here with status 0; anything else is a usage error.
    return app.exit(e) == 0 ? EXIT_OK : EXIT_USAGE;
  }
  return action ? action() : EXIT_USAGE;
}
