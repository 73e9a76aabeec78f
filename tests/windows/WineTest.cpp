// zerviko-flash.exe under Wine against the virtual printer, run from Linux: the
// printer's pseudo-terminal is linked into the Wine prefix as a COM port. Every run is
// also made with the Linux zerviko-flash against a printer of its own, and the two
// must say the same (JSON lines, standard error, exit status, status log), but for
// the port's name. Port discovery goes through Wine's spooler and registry and a
// stand-in bridge library. The Windows build's tests run this program and say where
// Wine, the prefix, the exe, the zip and the stand-in library are (SetUp names them).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "sim/PtyServer.h"
#include "tests/e2e/Support.h"
#include "tests/package/PackageTestSupport.h"

namespace zerviko::e2e {
namespace {

using test::PackageImage;

const std::string kLinuxFlash = ZERVIKO_FLASH;
const std::string kLinuxProgramDir = ZERVIKO_PROGRAM_DIR;
const std::string kSample = kLinuxProgramDir + "Firmware Files/ZERVIKO_ABC_V2.14.avk";
constexpr const char* kBridge = "10c4|ea60|0001|Tarno Corp. Zerviko / Talvrine USB";

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class Wine : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"WINEPREFIX", "ZERVIKO_WINE", "ZERVIKO_WINDOWS_FLASH",
                             "ZERVIKO_WINDOWS_ZIP", "ZERVIKO_FAKE_BRIDGE_DIR"}) {
      ASSERT_FALSE(Setting(name).empty()) << name << " is not set: run from the windows preset's tests";
    }
  }
  void TearDown() override {
    for (const std::string& link : m_links) std::filesystem::remove(link);
  }

  // The device linked into the prefix as the COM port named, until the test ends.
  void LinkComPort(const std::string& com, const std::string& device) {
    std::string name = com;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string link = Setting("WINEPREFIX") + "/dosdevices/" + name;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(device, link);
    m_links.push_back(link);
  }

  static int Run(Child& child) { return child.Run(180s); }
  // env: NAME=VALUE settings for the program's environment.
  static Child WineRun(const std::string& exe, std::vector<std::string> arguments,
                       const std::vector<std::string>& env = {}) {
    arguments.insert(arguments.begin(), {Setting("ZERVIKO_WINE"), exe});
    arguments.insert(arguments.begin(), env.begin(), env.end());
    arguments.insert(arguments.begin(), "env");
    return Child(arguments);
  }
  static void RegAdd(const std::string& key, const std::string& value, const std::string& data) {
    Child reg({Setting("ZERVIKO_WINE"), "reg", "add", key, "/v", value, "/d", data, "/f"});
    ASSERT_EQ(reg.Run(60s), 0) << reg.err;
  }

  std::vector<std::string> m_links;
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

bool FlashHolds(Printer& printer, const Bytes& image) {
  const Bytes flash = printer.Flash();
  return flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin());
}

TEST_F(Wine, ProgramsThroughAComPortAsLinuxDoes) {
  const struct {
    const char* name;
    const char* fault;  // empty: none
    const char* com;    // the Windows run's port; COM12 takes the \\.\ form
    bool linked;
    int status;
  } rows[] = {
      {"the sample package programmed", "", "COM5", true, 0},
      {"a block never acknowledged", "silent:0x50:3", "COM12", true, 1},
      {"a port that does not exist", "", "COM9", false, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<const char*> faults = *row.fault ? std::vector{row.fault} : std::vector<const char*>{};
    Printer linuxPrinter({}, faults), windowsPrinter({}, faults);
    const std::string linuxPort = row.linked ? linuxPrinter.Device() : "/nonexistent/ttyZ";
    if (row.linked) LinkComPort(row.com, windowsPrinter.Device());

    // Not "COM5.log": Windows takes a port's name with any extension for the port.
    const std::string linuxLog = Path(std::string("linux-") + row.com + ".log");
    const std::string windowsLog = Path(std::string("windows-") + row.com + ".log");
    // The same kernel files for both, so that the texts naming them are the same.
    const std::vector<std::string> common = {"--package", kSample, "--json", "--kernel-dir",
                                             kLinuxProgramDir};
    auto arguments = [&](std::vector<std::string> all) { return all.insert(all.end(), common.begin(), common.end()), all; };
    Child linuxRun(arguments({kLinuxFlash, "program", "--port", linuxPort, "--log", linuxLog}));
    Child windowsRun = WineRun(Setting("ZERVIKO_WINDOWS_FLASH"), arguments({"program", "--port", row.com, "--log", windowsLog}));
    EXPECT_EQ(Run(linuxRun), row.status) << linuxRun.err;
    EXPECT_EQ(Run(windowsRun), row.status) << windowsRun.err;

    EXPECT_EQ(Replaced(windowsRun.out, row.com, "PORT"), Replaced(linuxRun.out, linuxPort, "PORT"));
    EXPECT_EQ(Replaced(windowsRun.err, row.com, "PORT"), Replaced(linuxRun.err, linuxPort, "PORT"));
    EXPECT_EQ(Replaced(ReadFile(windowsLog), row.com, "PORT"), Replaced(ReadFile(linuxLog), linuxPort, "PORT"));
    EXPECT_TRUE(row.status != 0 || FlashHolds(windowsPrinter, PackageImage(kSample)));
  }
}

// Wine hands SIGINT to the console's control handlers, as Windows does Ctrl-C.
TEST_F(Wine, CtrlCStopsTheRunBeforeTheNextBlock) {
  Printer printer(Config(5ms));  // slow enough writes that the signal lands mid-image
  LinkComPort("COM5", printer.Device());
  // The port by its spooler name, as the wizard hands it on.
  Child run = WineRun(Setting("ZERVIKO_WINDOWS_FLASH"),
                      {"program", "--port", "COM5:", "--package", kSample, "--json", "--kernel-dir",
                       kLinuxProgramDir});
  // Once a block beyond the first three is in the printer's flash.
  const Bytes image = PackageImage(kSample);
  std::size_t at = 384;
  while (at < image.size() && image[at] == 0xFF) ++at;
  ASSERT_LT(at, image.size());
  std::thread user([&] {
    WaitFor([&] { return printer.Flash()[at] == image[at]; }, 180s);
    run.Signal(SIGINT);
  });
  const int status = Run(run);
  user.join();
  EXPECT_EQ(status, 1) << run.err;
  EXPECT_NE(run.out.find(R"("text":"Programming aborted"})" "\n" R"({"result":"failed"})"), std::string::npos) << run.out;
}

// Boot mode with the default line reset: RTS and DTR go through the settings record,
// which Wine carries over the pseudo-terminal, so a printer waiting in its boot program
// gets the micro-kernel and the image, and is restarted into its firmware at the end.
TEST_F(Wine, BootModeRestartsThePrinterThroughItsLines) {
  Printer printer(Config(0ms, true));
  LinkComPort("COM5", printer.Device());
  const std::string log = Path("boot-mode.txt");
  Child run = WineRun(Setting("ZERVIKO_WINDOWS_FLASH"),
                      {"program", "--port", "COM5", "--package", kSample, "--boot-mode", "--micro-kernel",
                       kLinuxProgramDir + "uKernel2329.cde", "--kernel-dir", kLinuxProgramDir, "--log", log});
  EXPECT_EQ(Run(run), 0) << run.out << run.err;
  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("\r\n2: Resetting target in boot mode\r\n2: Synching at 9600 baud\r\n2: Downloading image\r\n"),
            std::string::npos) << text;
  EXPECT_NE(text.find("\r\n1: Resetting target in user mode\r\n1: Programming complete\r\n****"), std::string::npos)
      << text;
  EXPECT_TRUE(FlashHolds(printer, PackageImage(kSample)));
}

// The unzipped program folder as a user has it, in a folder no ANSI code page spells
// whose name takes more than MAX_PATH bytes in UTF-8 (though fewer letters): the
// spooler's COM ports with the printers installed on them, the printer's own bridge
// marked, a package shown as on Linux, and --port auto programming the printer through
// the bridge with the kernel files beside the program.
TEST_F(Wine, TheUnzippedFolderAsAUserHasIt) {
  const std::string hklm = "HKLM\\SYSTEM\\CurrentControlSet\\";
  RegAdd("HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "COM5:", "");
  RegAdd(hklm + "Control\\Print\\Printers\\Office Printer", "Port", "COM3:");
  RegAdd(hklm + "Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters", "PortName", "COM5");

  std::string user = "Zażółć 测试/";
  for (int i = 0; i < 80; ++i) user += "测";
  Child unzip({"/usr/bin/python3", "-m", "zipfile", "-e", Setting("ZERVIKO_WINDOWS_ZIP"), Path(user)});
  ASSERT_EQ(unzip.Run(60s), 0) << unzip.err;
  const std::string folder = Path(user + "/zerviko-flash-windows-x64/");
  const std::string exe = folder + "zerviko-flash.exe";
  const std::vector<std::string> bridge = {"WINEPATH=" + Setting("ZERVIKO_FAKE_BRIDGE_DIR"),
                                           std::string("ZERVIKO_FAKE_BRIDGE=") + kBridge};

  Child ports = WineRun(exe, {"ports"}, bridge);
  EXPECT_EQ(Run(ports), 0) << ports.err;
  EXPECT_EQ(ports.out, "  COM1:\n  COM2:\n  COM3:  Office Printer\n  COM4:\n* COM5:\n");
  // Without the bridge maker's library there is no bridge, and no complaint.
  Child noLibrary = WineRun(exe, {"ports"});
  EXPECT_EQ(Run(noLibrary), 0);
  EXPECT_EQ(noLibrary.out, "* COM1:\n  COM2:\n  COM3:  Office Printer\n  COM4:\n  COM5:\n");
  EXPECT_EQ(noLibrary.err, "");

  const std::string keyboard = "Firmware Files/ZERVIKO_KBD_V2.14.qvk";
  Child linuxInspect({kLinuxFlash, "inspect", kLinuxProgramDir + keyboard, "--language", "2"});
  Child windowsInspect = WineRun(exe, {"inspect", folder + keyboard, "--language", "2"});
  EXPECT_EQ(Run(linuxInspect), 0);
  EXPECT_EQ(Run(windowsInspect), 0) << windowsInspect.err;
  EXPECT_EQ(Replaced(windowsInspect.out, folder, "FOLDER/"),
            Replaced(linuxInspect.out, kLinuxProgramDir, "FOLDER/"));

  Printer printer;
  LinkComPort("COM5", printer.Device());
  const std::string package = folder + "Firmware Files/ZERVIKO_ABC_V2.14.avk";
  Child program = WineRun(exe, {"program", "--port", "auto", "--package", package}, bridge);
  EXPECT_EQ(Run(program), 0) << program.out << program.err;
  // The kernel files beside the program, named in a message cut to 255 bytes, before a
  // whole letter.
  const std::string kernel = "Loading main kernel Z:" + Replaced(folder, "/", "\\") + "Genm2329.cde";
  const std::size_t at = program.out.find("Loading main kernel ");
  ASSERT_NE(at, std::string::npos) << program.out;
  const std::string line = program.out.substr(at, program.out.find('\n', at) - at);
  EXPECT_GE(line.size(), 252u) << line;
  EXPECT_EQ(kernel.compare(0, line.size(), line), 0) << line;
  EXPECT_TRUE(FlashHolds(printer, PackageImage(package)));
  // Without the bridge maker's library, --port auto says so, and where it looked.
  Child noBridgeLibrary = WineRun(exe, {"program", "--port", "auto", "--package", package});
  EXPECT_EQ(Run(noBridgeLibrary), 1);
  EXPECT_NE(noBridgeLibrary.err.find("library CP210xManufacturing.dll was not found: it was looked for beside "
                                     "the program (Z:" + Replaced(folder, "/", "\\") + "), then in the system's"),
            std::string::npos) << noBridgeLibrary.err;
  // One port in two spellings is refused untouched; with "all", a bridge that the
  // registry gives no port is a failed entry, named by its serial text.
  for (auto [first, second] : {std::pair{"COM5", "\\\\.\\COM5"}, {"COM5:", "com5"}}) {
    Child twice = WineRun(exe, {"program", "--port", first, "--port", second, "--package", package});
    EXPECT_EQ(Run(twice), 2) << second << twice.err;
  }
  Child all = WineRun(exe, {"program", "--port", "all", "--image", File("wine-bench.bin", "\x01\x02")},
                      {bridge[0], bridge[1] + ";10c4|ea60|0002|Tarno Corp. Zerviko / Talvrine USB"});
  EXPECT_EQ(Run(all), 1) << all.err;
  EXPECT_NE(all.out.find("printer bridge found, no port\n1 of 2 printers programmed; failed: serial 0002.\n"),
            std::string::npos) << all.out;
}

enum class Act { PLUG, UNPLUG, INTERRUPT, REPLUG };
enum class Until { RUNNING, BLOCKS_WRITTEN, FINISHED, IDLE, PROGRAMMED };

// The station on Windows: each bridge a device of the stand-in library (a file the test
// rewrites as bridges come and go), its COM number in the registry, its COM port linked
// to the virtual printer's terminal. Ctrl-C is SIGINT, which Wine hands to the console's
// control handlers as CTRL_C_EVENT.
TEST_F(Wine, StationProgramsEachBridgeOncePerPlugIn) {
  using Json = nlohmann::json;
  const Bytes image = Pattern(24 * 128);
  const std::string imagePath = File("station.bin", std::string(image.begin(), image.end()));
  const std::string bridges = File("bridges.txt", ""), record = Path("station-record.jsonl");
  // D4's bridge has no COM number; the others from COM11 on, named \\.\COMn when opened.
  const std::map<std::string, std::string> coms = {
      {"A1", "COM11"}, {"B2", "COM12"}, {"C3", "COM13"}, {"E5", "COM15"}, {"G7", "COM17"}, {"H8", "COM18"}};
  std::string keys = "REGEDIT4\n";
  for (const auto& [serial, com] : coms)
    keys += "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\" + serial +
            "_00\\Device Parameters]\n\"PortName\"=\"" + com + "\"\n";
  Child reg({Setting("ZERVIKO_WINE"), "reg", "import", File("station.reg", keys)});
  ASSERT_EQ(reg.Run(60s), 0) << reg.err;
  const auto port = [&](const std::string& serial) { return coms.count(serial) ? coms.at(serial) : "serial " + serial; };

  std::vector<std::string> plugged;
  std::map<std::string, std::unique_ptr<Printer>> printers;
  const auto showBridges = [&] {
    std::string text;
    for (const std::string& serial : plugged) text += "10c4|ea60|" + serial + "|Tarno Corp. Zerviko / Talvrine USB;";
    std::filesystem::rename(File("bridges.new", text), bridges);
  };
  const std::vector<std::string> bridgeLibrary = {"WINEPATH=" + Setting("ZERVIKO_FAKE_BRIDGE_DIR"),
                                                  "ZERVIKO_FAKE_BRIDGE_FILE=" + bridges};
  const auto station = [&](std::vector<std::string> arguments, const std::vector<std::string>& env) {
    arguments.insert(arguments.begin(), {"program", "--station", "--image", imagePath, "--kernel-dir",
                                         kLinuxProgramDir, "--record", record});
    return WineRun(Setting("ZERVIKO_WINDOWS_FLASH"), arguments, env);
  };
  Child run = station({"--json"}, bridgeLibrary);

  constexpr auto SLOW = 25ms, FAST = 0ms;
  const struct {
    Act act;
    std::string serial;
    std::chrono::milliseconds writeTime;
    Until until;
  } steps[] = {
      {Act::PLUG, "A1", SLOW, Until::RUNNING},  // one after another while others run
      {Act::PLUG, "B2", SLOW, Until::RUNNING},
      {Act::PLUG, "C3", FAST, Until::FINISHED},
      {Act::PLUG, "D4", FAST, Until::FINISHED},  // no COM number: reported, as failed
      {Act::PLUG, "E5", SLOW, Until::BLOCKS_WRITTEN},
      {Act::UNPLUG, "E5", SLOW, Until::FINISHED},  // fails alone, mid-run
      {Act::UNPLUG, "A1", FAST, Until::IDLE},      // and no printer programmed twice meanwhile
      {Act::PLUG, "A1", FAST, Until::FINISHED},    // the same printer again: programmed again
      {Act::PLUG, "H8", SLOW, Until::BLOCKS_WRITTEN},
      {Act::REPLUG, "H8", FAST, Until::PROGRAMMED},
      {Act::PLUG, "G7", SLOW, Until::RUNNING},
      {Act::INTERRUPT, "G7", SLOW, Until::FINISHED},  // stops before its next block
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.serial + " step " + std::to_string(&step - steps));
    const auto said = [&](const std::string& result) {  // "": not finished; "*": any result
      int count = 0;
      for (const Json& line : JsonLines(run.OutSoFar())) {
        const std::string got = line.value("result", "");
        count += line.value("serial", "") == step.serial && (result == "*" ? !got.empty() : got == result);
      }
      return count;
    };
    const int before = said("*"), programmedBefore = said("ok");
    if (step.serial == "H8" && step.act != Act::UNPLUG) {
      const std::string key = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\H8_00\\Control]";
      Child arrival({Setting("ZERVIKO_WINE"), "reg", "import", File("arrival.reg", "REGEDIT4\n\n[-" + key + "\n\n[" + key + "\n\"ActiveService\"=\"silabser\"\n")});
      ASSERT_EQ(arrival.Run(60s), 0);
    }
    if (step.act == Act::REPLUG) printers.at(step.serial)->Server().HangUp();
    if ((step.act == Act::PLUG && coms.count(step.serial)) || step.act == Act::REPLUG) {
      printers[step.serial] = std::make_unique<Printer>(Config(step.writeTime));
      LinkComPort(port(step.serial), printers[step.serial]->Device());
    }
    if (step.act == Act::PLUG) plugged.push_back(step.serial), showBridges();
    if (step.act == Act::UNPLUG) {
      std::erase(plugged, step.serial);
      showBridges();
      printers.at(step.serial)->Server().HangUp();
    }
    if (step.act == Act::INTERRUPT) run.Signal(SIGINT);
    bool reached = false;
    for (const auto deadline = Clock::now() + 60s; !reached && Clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
      switch (step.until) {
        case Until::RUNNING: reached = said("") > 0; break;
        case Until::BLOCKS_WRITTEN: reached = printers.at(step.serial)->Flash()[3 * 128] == image[3 * 128]; break;
        case Until::FINISHED: reached = said("*") > before; break;
        case Until::PROGRAMMED: reached = said("ok") > programmedBefore; break;
        case Until::IDLE: std::this_thread::sleep_for(1500ms), reached = true; break;
      }
    }
    ASSERT_TRUE(reached) << run.OutSoFar() << run.ErrSoFar();
  }
  EXPECT_EQ(Run(run), 1) << run.err;
  EXPECT_EQ(run.err, "");

  // Every message names its printer; a finished printer is said once per plug-in, and
  // recorded in the order they finished.
  std::map<std::string, std::vector<std::string>> results;
  std::vector<Json> finished;
  const std::vector<Json> said = JsonLines(run.out);
  for (const Json& line : said) {
    if (!line.contains("serial")) continue;
    const std::string serial = line["serial"];
    EXPECT_EQ(line["port"], port(serial)) << line;
    if (line.contains("result")) results[serial].push_back(line["result"].get<std::string>()), finished.push_back(line);
  }
  EXPECT_EQ(results, (std::map<std::string, std::vector<std::string>>{
                         {"A1", {"ok", "ok"}}, {"B2", {"ok"}}, {"C3", {"ok"}}, {"D4", {"failed"}},
                         {"E5", {"failed"}}, {"G7", {"failed"}}, {"H8", {"failed", "ok"}}}));
  for (const char* serial : {"A1", "B2", "C3"}) EXPECT_TRUE(FlashHolds(*printers.at(serial), image)) << serial;
  std::vector<Json> recorded = JsonLines(ReadFile(record));
  ASSERT_EQ(recorded.size(), finished.size());
  for (std::size_t i = 0; i < finished.size(); ++i) {
    EXPECT_EQ(recorded[i]["serial"], finished[i]["serial"]);
    EXPECT_EQ(recorded[i]["port"], finished[i]["port"]);
    EXPECT_EQ(recorded[i]["result"], finished[i]["result"]);
  }
  EXPECT_EQ(recorded.back()["message"], "Programming aborted");

  // In plain lines, with the table at Ctrl-C; and without the bridge maker's library
  // the station says so once, and waits.
  plugged = {"D4"};
  showBridges();
  Child table = station({}, bridgeLibrary);
  Child noLibrary = station({}, {});
  WaitFor([&] { return table.OutSoFar().find("D4 serial D4: FAILED") != std::string::npos &&
                       !noLibrary.ErrSoFar().empty(); }, 60s);
  std::this_thread::sleep_for(1s);  // polls that must not say it again
  table.Signal(SIGINT), noLibrary.Signal(SIGINT);
  EXPECT_EQ(Run(table), 1) << table.err;
  EXPECT_NE(table.out.find("D4 serial D4: FAILED in 0.0 s: printer bridge found, no port\n"
                           "SERIAL  PORT       RESULT  SECONDS  KiB/s  LAST MESSAGE\n"
                           "D4      serial D4  failed      0.0         printer bridge found, no port\n"),
            std::string::npos) << table.out;
  EXPECT_EQ(Run(noLibrary), 0) << noLibrary.err;
  const std::string notFound = "library CP210xManufacturing.dll was not found";
  const std::size_t at = noLibrary.err.find(notFound);
  EXPECT_NE(at, std::string::npos) << noLibrary.err;
  EXPECT_EQ(noLibrary.err.find(notFound, at + 1), std::string::npos) << noLibrary.err;
}

}  // namespace
}  // namespace zerviko::e2e
