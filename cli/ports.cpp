// Placeholder: the ports subcommand is not built yet.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/Commands.h"

namespace zerviko::cli {

void AddPortsCommand(CLI::App& app, Action& action) {
  CLI::App* sub = app.add_subcommand("ports", "not available yet");
  sub->allow_extras();
  sub->callback([&action] {
    action = [] {
      std::cerr << "zerviko-flash: ports is not available yet\n";
      return EXIT_USAGE;
    };
  });
}

}  // namespace zerviko::cli
