// zerviko-flash program --station over virtual printers that come and go in a sysfs
// tree of the test's own, as the kernel shows USB bridges plugged into a hub.
#include <functional>
#include <map>
#include <regex>

#include "cli/Sha256.h"
#include "sim/SysfsBridge.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

using Json = nlohmann::json;

// A bridge's serial text in Windows-1252, as some bridges give it, and as it is shown.
const std::string CP1252_SERIAL = "ZV\xe9\xff" "01", CP1252_SHOWN = "ZV\u00e9\u00ff01";

// The printers of the test, plugged and unplugged as a technician would.
class Hub {
 public:
  explicit Hub(std::string root) : m_root(std::move(root)) {}
  ~Hub() {
    for (auto& [serial, printer] : m_plugged) sim::UnplugBridge(printer.bridge);
  }
  enum class Node { PRINTER, NONE, LATE };
  // Printer serial on hub port number, writing each block in writeTime. Node NONE: the
  // bridge alone, without a port; LATE: the port's node is a plain file for a second
  // (a node that does not open yet), then the printer's.
  void Plug(const std::string& serial, int number, std::chrono::milliseconds writeTime, Node node = Node::PRINTER) {
    Plugged& plugged = m_plugged[serial];
    if (node != Node::NONE) plugged.printer = std::make_unique<Printer>(Config(writeTime));
    const std::string late = Path("late-" + serial);
    const std::string device = node == Node::NONE   ? ""
                               : node == Node::LATE ? File("late-" + serial, "")
                                                    : plugged.printer->Device();
    plugged.bridge = {m_root, number, serial == CP1252_SHOWN ? CP1252_SERIAL : serial, device};
    std::string error;
    EXPECT_TRUE(sim::PlugBridge(plugged.bridge, &error)) << error;
    if (node != Node::LATE) return;
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(ReadFile(late), "") << "nothing written before the port opens";
    std::filesystem::create_symlink(plugged.printer->Device(), late + ".pty");
    std::filesystem::rename(late + ".pty", late);
  }
  // The bridge goes, and with it the printer's line.
  void Unplug(const std::string& serial) {
    Plugged& plugged = m_plugged.at(serial);
    sim::UnplugBridge(plugged.bridge);
    if (plugged.printer) plugged.printer->Server().HangUp();
  }
  Printer& operator[](const std::string& serial) { return *m_plugged.at(serial).printer; }
  std::string Port(const std::string& serial) const {
    const sim::SysfsBridge& bridge = m_plugged.at(serial).bridge;
    return bridge.devicePath.empty() ? "usb 1-" + std::to_string(bridge.number + 1) : bridge.PortPath();
  }

 private:
  struct Plugged {
    std::unique_ptr<Printer> printer;
    sim::SysfsBridge bridge;
  };
  std::string m_root;
  std::map<std::string, Plugged> m_plugged;
};

enum class Act { PLUG, PLUG_WITHOUT_PORT, PLUG_LATE_NODE, UNPLUG, INTERRUPT, ROTATE_RECORD, DELETE_RECORD };
enum class Until { RUNNING, BLOCKS_WRITTEN, FINISHED, PROGRAMMED, IDLE, GAP, NOW };

// One step of the technician's session: what is done to which printer, then what the
// station must have done before the next step.
struct Step {
  Act act;
  std::string serial;
  int number;  // its hub port
  std::chrono::milliseconds writeTime;
  Until until;
};

TEST(Station, EachPrinterOncePerPlugInRecordedAndTheTableAtCtrlC) {
  const Bytes image = Pattern(24 * 128);
  // An ANSI file name, as the record names it.
  const std::string imagePath = File("station\xe4.bin", std::string(image.begin(), image.end()));
  const std::string root = Path("station-sysfs"), record = Path("station-record.jsonl");
  const std::string rotated = record + ".1";
  std::vector<Json> deleted;
  // Every line recorded, wherever it went.
  const auto recorded = [&] {
    std::vector<Json> lines = JsonLines(ReadFile(rotated));
    lines.insert(lines.end(), deleted.begin(), deleted.end());
    for (Json& line : JsonLines(ReadFile(record))) lines.push_back(line);
    return lines;
  };
  Hub hub(root);
  ::setenv("ZERVIKO_SYSFS_ROOT", root.c_str(), 1);
  Child station({ZERVIKO_FLASH, "program", "--station", "--image", imagePath, "--json", "--record", record});

  constexpr auto SLOW = 25ms, FAST = 0ms;
  const Step steps[] = {
      {Act::PLUG, "A1", 0, SLOW, Until::RUNNING},  // three, one after another while others run
      {Act::PLUG, "B2", 1, SLOW, Until::RUNNING},
      {Act::PLUG, "C3", 2, FAST, Until::FINISHED},
      {Act::PLUG_WITHOUT_PORT, "D4", 3, FAST, Until::FINISHED},  // no tty at all: reported, as failed
      {Act::PLUG, "E5", 4, SLOW, Until::BLOCKS_WRITTEN},
      {Act::UNPLUG, "E5", 4, SLOW, Until::FINISHED},  // fails alone, mid-run
      {Act::PLUG, CP1252_SHOWN, 5, FAST, Until::FINISHED},
      {Act::UNPLUG, "A1", 0, FAST, Until::IDLE},      // and no printer programmed twice meanwhile
      {Act::ROTATE_RECORD, "", 0, FAST, Until::NOW},  // the next line starts a new file
      {Act::PLUG, "A1", 0, FAST, Until::FINISHED},    // the same printer again: programmed again
      {Act::PLUG, "E5", 4, FAST, Until::FINISHED},    // a failed printer, programmed on its second plug-in
      {Act::PLUG_LATE_NODE, "H8", 7, FAST, Until::FINISHED},  // programmed once its port opens
      {Act::DELETE_RECORD, "", 0, FAST, Until::NOW},
      {Act::PLUG, "J10", 9, SLOW, Until::BLOCKS_WRITTEN},
      {Act::UNPLUG, "J10", 9, SLOW, Until::GAP},      // plugged back within two polls' time:
      {Act::PLUG, "J10", 9, FAST, Until::PROGRAMMED},  // a new plug-in all the same
      {Act::PLUG, "G7", 6, SLOW, Until::RUNNING},
      {Act::INTERRUPT, "G7", 6, SLOW, Until::FINISHED},  // stops before its next block
  };
  std::map<std::string, int> finishedBefore;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.serial + " step " + std::to_string(&step - steps));
    const auto said = [&](const std::string& result) {  // "": not finished; "*": any result
      int count = 0;
      for (const Json& line : JsonLines(station.OutSoFar())) {
        const std::string got = line.value("result", "");
        count += line.value("serial", "") == step.serial && (result == "*" ? !got.empty() : got == result);
      }
      return count;
    };
    // Counted before the act: an unplugged printer's run may end before the next look.
    const int before = said("*"), programmedBefore = said("ok");
    const std::map<Act, Hub::Node> plugs = {
        {Act::PLUG, Hub::Node::PRINTER}, {Act::PLUG_WITHOUT_PORT, Hub::Node::NONE}, {Act::PLUG_LATE_NODE, Hub::Node::LATE}};
    if (plugs.count(step.act)) hub.Plug(step.serial, step.number, step.writeTime, plugs.at(step.act));
    if (step.act == Act::UNPLUG) hub.Unplug(step.serial);
    if (step.act == Act::INTERRUPT) station.Signal(SIGINT);
    if (step.act == Act::ROTATE_RECORD) std::filesystem::rename(record, rotated);
    if (step.act == Act::DELETE_RECORD) deleted = JsonLines(ReadFile(record)), std::filesystem::remove(record);
    bool reached = false;
    for (const auto deadline = Clock::now() + 20s; !reached && Clock::now() < deadline; std::this_thread::sleep_for(10ms)) {
      switch (step.until) {
        case Until::RUNNING: reached = said("") > 0; break;
        case Until::BLOCKS_WRITTEN: reached = hub[step.serial].Flash()[3 * 128] == image[3 * 128]; break;
        case Until::FINISHED: reached = said("*") > before; break;
        case Until::PROGRAMMED: reached = said("ok") > programmedBefore; break;
        // Some polls' time: the station sees the printer gone.
        case Until::IDLE: std::this_thread::sleep_for(1200ms), reached = true; break;
        case Until::GAP: std::this_thread::sleep_for(300ms), reached = true; break;
        case Until::NOW: reached = true; break;
      }
    }
    ASSERT_TRUE(reached) << station.OutSoFar();
    // A printer is in the record, flushed, before the station says it has finished.
    int saidFinished = 0;
    for (const Json& line : JsonLines(station.OutSoFar())) saidFinished += line.contains("serial") && line.contains("result");
    EXPECT_GE(recorded().size(), static_cast<std::size_t>(saidFinished));
  }
  EXPECT_EQ(station.Run(30s), 1) << station.err;

  // Every message names its printer; a finished printer is said once per plug-in.
  std::multimap<std::string, Json> finished;
  const std::vector<Json> lines = JsonLines(station.out);
  ASSERT_FALSE(lines.empty());
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const Json& line = lines[i];
    EXPECT_EQ(hub.Port(line["serial"]), line["port"]) << line;
    if (line.contains("result")) finished.emplace(line["serial"], line);
  }
  const std::map<std::string, std::vector<std::string>> results = {
      {"A1", {"ok", "ok"}}, {"B2", {"ok"}}, {"C3", {"ok"}}, {"D4", {"failed"}},
      {"E5", {"failed", "ok"}}, {CP1252_SHOWN, {"ok"}}, {"G7", {"failed"}}, {"H8", {"ok"}},
      {"J10", {"failed", "ok"}}};
  for (const auto& [serial, wanted] : results) {
    std::vector<std::string> got;
    for (auto [it, end] = finished.equal_range(serial); it != end; ++it) got.push_back(it->second["result"]);
    EXPECT_EQ(got, wanted) << serial;
  }
  for (const std::string& serial : std::vector<std::string>{"A1", "B2", "C3", "E5", CP1252_SHOWN, "H8", "J10"}) {
    const Bytes flash = hub[serial].Flash();
    EXPECT_EQ(Bytes(flash.begin(), flash.begin() + static_cast<long>(image.size())), image) << serial;
  }
  // Printers, by their last plug-in; a printer unplugged and programmed again counts once.
  EXPECT_EQ(lines.back(), Json::parse(R"({"result":"failed","programmed":7,"printers":9,"failed":[)"
                                      R"({"port":")" + hub.Port("D4") + R"(","serial":"D4"},)"
                                      R"({"port":")" + hub.Port("G7") + R"(","serial":"G7"}],"replugged":[)"
                                      R"({"port":")" + hub.Port("A1") + R"(","serial":"A1","plug_ins":2},)"
                                      R"({"port":")" + hub.Port("E5") + R"(","serial":"E5","plug_ins":2},)"
                                      R"({"port":")" + hub.Port("J10") + R"(","serial":"J10","plug_ins":2}]})"));

  // The record: a line per finished printer, in the order they finished, with its last
  // message. A second station appends to it, on a line of its own after a line cut
  // short, and says it all in plain lines.
  const std::string cut = R"({"time":"2026-)";
  std::ofstream(record, std::ios::app) << cut;
  for (const std::string& serial : std::vector<std::string>{"A1", "B2", "C3", "E5", CP1252_SHOWN, "G7", "H8", "J10"})
    hub.Unplug(serial);
  Child again({ZERVIKO_FLASH, "program", "--station", "--image", imagePath, "--record", record});
  WaitFor([&] { return again.OutSoFar().find("D4 usb 1-4: FAILED") != std::string::npos; }, 20s);
  again.Signal(SIGINT);
  EXPECT_EQ(again.Run(30s), 1) << again.err;
  EXPECT_NE(again.out.find("D4 usb 1-4: printer found, programming\n"
                           "D4 usb 1-4: FAILED in 0.0 s: printer bridge found, no port\n"
                           "SERIAL  PORT     RESULT  SECONDS  KiB/s  LAST MESSAGE\n"
                           "D4      usb 1-4  failed      0.0         printer bridge found, no port\n"
                           "0 of 1 printers programmed; failed: D4 usb 1-4.\n"),
            std::string::npos) << again.out;

  std::string text = ReadFile(record);
  const std::size_t at = text.find(cut + '\n');
  ASSERT_NE(at, std::string::npos) << text;
  std::ofstream(record, std::ios::binary) << text.erase(at, cut.size() + 1);
  // Before the rotation, between it and the deletion, and after.
  EXPECT_EQ((std::vector{JsonLines(ReadFile(rotated)).size(), deleted.size(), JsonLines(text).size()}),
            (std::vector<std::size_t>{6, 3, 4}));
  const std::vector<Json> all = recorded();
  ASSERT_EQ(all.size(), finished.size() + 1);
  const std::string sha256 = cli::Sha256Hex(image.data(), image.size());
  const std::regex utc(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  std::size_t i = 0;
  std::map<std::string, Json> lastText;
  for (const Json& line : lines) {
    if (!line.contains("serial")) continue;
    if (!line.contains("result")) {
      lastText[line["serial"]] = line["text"];
      continue;
    }
    Json entry = all[i++];
    EXPECT_TRUE(std::regex_match(entry["time"].get<std::string>(), utc)) << entry;
    entry.erase("time");
    EXPECT_EQ(entry, (Json{{"serial", line["serial"]}, {"port", line["port"]}, {"package", "station\u00e4.bin"},
                           {"sha256", sha256}, {"result", line["result"]}, {"seconds", line["seconds"]},
                           {"message", lastText[line["serial"]]}}));
  }
  EXPECT_EQ(lastText["G7"], "Programming aborted");
  EXPECT_EQ(all.back()["serial"], "D4");

  // A full disk, as a file size limit gives it: the line that did not fit is taken back
  // whole, said once, and the station ends with 5 though its printer was programmed.
  hub.Unplug("D4");
  hub.Plug("I9", 8, FAST);
  // (The limit is on every file the station writes: its output too needs room.)
  std::ofstream(record, std::ios::app) << R"({"note":")" << std::string(16000, '-') << "\"}\n";
  const std::string before = ReadFile(record);
  Child full({"prlimit", "--fsize=" + std::to_string(before.size() + 100), ZERVIKO_FLASH, "program", "--station",
              "--image", imagePath, "--record", record});
  WaitFor([&] { return full.OutSoFar().find(": programmed in") != std::string::npos; }, 20s);
  full.Signal(SIGINT);
  EXPECT_EQ(full.Run(30s), 5) << full.err;
  EXPECT_EQ(ReadFile(record).size(), before.size());  // each line is appended or not
  EXPECT_EQ(full.err, "zerviko-flash: cannot write the record " + record +
                          ": File too large; no more printers are recorded\n");
  ::unsetenv("ZERVIKO_SYSFS_ROOT");
}

// On a terminal of six rows, eight printers at once: the live area never outgrows the
// screen, whose last lines say how many more there are; one printer unplugged mid-run
// and programmed on its second plug-in makes every printer programmed.
TEST(Station, OnAShortTerminalTheLiveLinesFitAndEveryPrinterCountsOnce) {
  const Bytes image = Pattern(48 * 128);
  const std::string imagePath = File("rows.bin", std::string(image.begin(), image.end()));
  const std::string root = Path("rows-sysfs"), record = Path("rows-record.jsonl");
  Hub hub(root);
  Terminal terminal(6, 200);
  ::setenv("ZERVIKO_SYSFS_ROOT", root.c_str(), 1);
  Child station({ZERVIKO_FLASH, "program", "--station", "--image", imagePath, "--record", record}, terminal.Name());
  ::unsetenv("ZERVIKO_SYSFS_ROOT");
  terminal.HandOver();
  const auto recorded = [&](const std::string& result) {
    int count = 0;
    for (const Json& line : JsonLines(ReadFile(record))) count += result.empty() || line["result"] == result;
    return count;
  };
  for (int i = 0; i < 8; ++i) hub.Plug("ZV" + std::to_string(i), i, 25ms);
  ASSERT_TRUE(WaitFor([&] { return hub["ZV0"].Flash()[3 * 128] == image[3 * 128]; }, 30s));
  hub.Unplug("ZV0");
  ASSERT_TRUE(WaitFor([&] { return recorded("failed") == 1; }, 30s));
  std::this_thread::sleep_for(1s);  // some polls: the station sees it gone
  hub.Plug("ZV0", 0, 0ms);
  ASSERT_TRUE(WaitFor([&] { return recorded("") == 9; }, 30s)) << ReadFile(record);
  station.Signal(SIGINT);
  EXPECT_EQ(station.Run(30s), 0) << station.err;

  const std::string& screen = terminal.Screen();
  const std::regex up("\033\\[(\\d+)A");
  int highest = 0;  // the most rows the cursor went up
  for (std::sregex_iterator it(screen.begin(), screen.end(), up), end; it != end; ++it)
    highest = std::max(highest, std::stoi((*it)[1]));
  EXPECT_EQ(highest, 5) << "at most the rows above the cursor's";
  EXPECT_TRUE(std::regex_search(screen, std::regex(R"(\.\.\. and [1-5] more being programmed)"))) << screen;
  EXPECT_NE(screen.find("\n8 of 8 printers programmed (ZV0 " + hub.Port("ZV0") + " needed 2 plug-ins).\n"),
            std::string::npos) << screen;
}

// The virtual printer's tree is its own: a root whose sys/ it did not make (a machine's)
// is refused, and a device node it did not make is neither replaced nor removed.
TEST(Station, VirtualBridgesTouchOnlyWhatTheyMade) {
  const std::string system = Path("system-root"), own = Path("own-root");
  std::filesystem::create_directories(system + "/sys/devices");
  Child target({ZERVIKO_TARGET, "--sysfs", system});
  EXPECT_EQ(target.Run(10s), 2);
  EXPECT_NE(target.err.find("refusing the sysfs root " + system), std::string::npos) << target.err;
  Printer printer;
  for (const std::string& root : {system, own}) {
    SCOPED_TRACE(root);
    std::filesystem::create_directories(root + "/dev");
    std::ofstream(root + "/dev/ttyUSB0") << "the machine's";
    const sim::SysfsBridge bridge{root, 0, "ZV0", printer.Device()};
    std::string error;
    EXPECT_FALSE(sim::PlugBridge(bridge, &error));
    EXPECT_NE(error.find(root), std::string::npos) << error;
    sim::UnplugBridge(bridge);
    EXPECT_EQ(ReadFile(root + "/dev/ttyUSB0"), "the machine's");
  }
  EXPECT_FALSE(std::filesystem::exists(system + "/sys/class"));
}

}  // namespace
}  // namespace zerviko::e2e
