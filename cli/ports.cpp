// zerviko-flash ports: the port list as the wizard shows it, in its order, with the
// entry it would pre-select marked. Printer descriptions come from outside: the list
// shows them printable, --json exactly.
#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Text.h"
#include "ports/PortList.h"

namespace zerviko::cli {

namespace {

int PrintPorts(bool json) {
  const ports::PortList list = ports::BuildPortList();
  if (json) {
    nlohmann::json entries = nlohmann::json::array();
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
      // JSON holds UTF-8 only; a device path or printer name in another code page
      // would make the writer throw.
      entries.push_back({{"display", Utf8Text(list.entries[i].display)},
                         {"port", Utf8Text(list.entries[i].port)},
                         {"selected", static_cast<int>(i) == list.selected}});
    }
    std::cout << entries.dump(2) << '\n';
    return EXIT_OK;
  }
  if (list.entries.empty()) {
    std::cerr << "zerviko-flash: no serial ports found\n";
    return EXIT_OK;
  }
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    std::cout << (static_cast<int>(i) == list.selected ? "* " : "  ")
              << PrintableText(list.entries[i].display) << '\n';
  }
  return EXIT_OK;
}

}  // namespace

void AddPortsCommand(CLI::App& app, Action& action) {
  CLI::App* sub = app.add_subcommand(
      "ports",
      "List the ports the wizard offers, with the printer installed on each; * marks the "
      "one it pre-selects");
  auto json = std::make_shared<bool>(false);
  sub->add_flag("--json", *json, "print a JSON array of {display, port, selected}");
  sub->callback([&action, json] { action = [json] { return PrintPorts(*json); }; });
}

}  // namespace zerviko::cli
