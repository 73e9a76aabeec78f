// zerviko-flash program --station over virtual printers that come and go in a sysfs
// tree of the test's own, as the kernel shows USB bridges plugged into a hub.
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/Sha256.h"
#include "sim/SysfsBridge.h"
#include "tests/e2e/Support.h"

namespace zerviko::e2e {
namespace {

using Json = nlohmann::json;

// What the station has said so far, line by line.
std::vector<Json> JsonLines(const std::string& out) {
  std::vector<Json> lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(Json::parse(line));
  return lines;
}

// The printers of the test, plugged and unplugged as a technician would.
class Hub {
 public:
  explicit Hub(std::string root) : m_root(std::move(root)) {}
  ~Hub() {
    for (auto& [serial, printer] : m_plugged) sim::UnplugBridge(printer.bridge);
  }
  // Printer serial on hub port number, writing each block in writeTime; without a
  // port, the bridge alone.
  void Plug(const std::string& serial, int number, std::chrono::milliseconds writeTime, bool withPort = true) {
    Plugged& plugged = m_plugged[serial];
    if (withPort) {
      sim::TargetConfig config;
      config.writeTime = writeTime;
      plugged.printer = std::make_unique<Printer>(config);
    }
    plugged.bridge = {m_root, number, serial, withPort ? plugged.printer->Device() : std::string()};
    std::string error;
    EXPECT_TRUE(sim::PlugBridge(plugged.bridge, &error)) << error;
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

enum class Act { PLUG, PLUG_WITHOUT_PORT, UNPLUG, INTERRUPT };
enum class Until { RUNNING, BLOCKS_WRITTEN, FINISHED, PROGRAMMED, IDLE, GAP };

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
  const std::string imagePath = File("station.bin", std::string(image.begin(), image.end()));
  const std::string root = Path("station-sysfs"), record = Path("station-record.jsonl");
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
      {Act::PLUG, "F6", 5, FAST, Until::FINISHED},
      {Act::UNPLUG, "A1", 0, FAST, Until::IDLE},      // and no printer programmed twice meanwhile
      {Act::PLUG, "A1", 0, FAST, Until::FINISHED},    // the same printer again: programmed again
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
    if (step.act == Act::PLUG || step.act == Act::PLUG_WITHOUT_PORT)
      hub.Plug(step.serial, step.number, step.writeTime, step.act == Act::PLUG);
    if (step.act == Act::UNPLUG) hub.Unplug(step.serial);
    if (step.act == Act::INTERRUPT) station.Signal(SIGINT);
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
      }
    }
    ASSERT_TRUE(reached) << station.OutSoFar();
    // A printer is in the record, flushed, before the station says it has finished.
    int saidFinished = 0;
    for (const Json& line : JsonLines(station.OutSoFar())) saidFinished += line.contains("serial") && line.contains("result");
    EXPECT_GE(JsonLines(ReadFile(record)).size(), static_cast<std::size_t>(saidFinished));
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
      {"E5", {"failed"}}, {"F6", {"ok"}}, {"G7", {"failed"}}, {"J10", {"failed", "ok"}}};
  for (const auto& [serial, wanted] : results) {
    std::vector<std::string> got;
    for (auto [it, end] = finished.equal_range(serial); it != end; ++it) got.push_back(it->second["result"]);
    EXPECT_EQ(got, wanted) << serial;
  }
  for (const char* serial : {"A1", "B2", "C3", "F6", "J10"}) {
    const Bytes flash = hub[serial].Flash();
    EXPECT_EQ(Bytes(flash.begin(), flash.begin() + static_cast<long>(image.size())), image) << serial;
  }
  EXPECT_EQ(lines.back(), Json::parse(R"({"result":"failed","programmed":6,"failed":[)"
                                      R"({"port":")" + hub.Port("D4") + R"(","serial":"D4"},)"
                                      R"({"port":")" + hub.Port("E5") + R"(","serial":"E5"},)"
                                      R"({"port":")" + hub.Port("J10") + R"(","serial":"J10"},)"
                                      R"({"port":")" + hub.Port("G7") + R"(","serial":"G7"}]})"));

  // The record: a line per finished printer, in the order they finished, with its last
  // message. A second station appends to it, and says it all in plain lines.
  for (const char* serial : {"A1", "B2", "C3", "F6", "G7", "J10"}) hub.Unplug(serial);
  Child again({ZERVIKO_FLASH, "program", "--station", "--image", imagePath, "--record", record});
  for (int i = 0; i < 2000 && again.OutSoFar().find("D4 usb 1-4: FAILED") == std::string::npos; ++i)
    std::this_thread::sleep_for(10ms);
  again.Signal(SIGINT);
  EXPECT_EQ(again.Run(30s), 1) << again.err;
  ::unsetenv("ZERVIKO_SYSFS_ROOT");
  EXPECT_NE(again.out.find("D4 usb 1-4: printer found, programming\n"
                           "D4 usb 1-4: FAILED in 0.0 s: printer bridge found, no port\n"
                           "SERIAL  PORT     RESULT  SECONDS  KiB/s  LAST MESSAGE\n"
                           "D4      usb 1-4  failed      0.0         printer bridge found, no port\n"
                           "0 of 1 printers programmed; failed: D4 usb 1-4.\n"),
            std::string::npos) << again.out;

  std::vector<Json> recorded = JsonLines(ReadFile(record));
  ASSERT_EQ(recorded.size(), finished.size() + 1);
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
    Json& entry = recorded[i++];
    EXPECT_TRUE(std::regex_match(entry["time"].get<std::string>(), utc)) << entry;
    entry.erase("time");
    EXPECT_EQ(entry, (Json{{"serial", line["serial"]}, {"port", line["port"]}, {"package", "station.bin"},
                           {"sha256", sha256}, {"result", line["result"]}, {"seconds", line["seconds"]},
                           {"message", lastText[line["serial"]]}}));
  }
  EXPECT_EQ(lastText["G7"], "Programming aborted");
  EXPECT_EQ(recorded.back()["serial"], "D4");
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
