// zerviko-loader.exe end to end under Wine on a virtual X server, driven from this
// program by window messages as a user's clicks would drive it: start-up, the port
// page, the file chooser, whole runs into the virtual printer through a COM port, the
// language libraries, and the ways out.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <cstdint>
#include <cstring>

#include <shlobj.h>

#include <algorithm>

#include "tests/package/PackageTestSupport.h"
#include "tools/win32-driver/RemoteWizard.h"

namespace zerviko::remote {
namespace {

namespace fs = std::filesystem;
using test::PackageImage;

const std::wstring kTitle = L"Tarno ZERVIKO Firmware Loader";
constexpr const char* kAbcSample = "ZERVIKO_ABC_V2.14.avk";
constexpr const char* kKeyboardSample = "ZERVIKO_KBD_V2.14.qvk";
// The printer's bridge as the stand-in bridge library reports it; the registry gives
// its COM port. Serial 9001 and COM4, which is in the spooler's list already: the
// command line's Wine test, in the same prefix, has bridges 0001 and 0002 (the second
// without a port) and expects the spooler's list as Wine makes it.
constexpr const char* kBridge = "ZERVIKO_FAKE_BRIDGE=10c4|ea60|9001|Tarno Corp. Zerviko / Talvrine USB";
constexpr const char* kPrinterCom = "COM4";

enum : int { IDC_NEXT = 1000, IDC_EXIT = 1001, IDC_BACK = 1002, IDC_INFO = 1031 };

// This program's paths are UTF-8 (its manifest makes them so for the system's calls);
// std::filesystem takes them as such only from char8_t.
fs::path U8(const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); }

// The samples' texts are UTF-8.
std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                           wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

class Wizard : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The printer's COM port as its bridge's port.
    const char* key = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60&Mi_00\\9001_00\\Device Parameters";
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, "PortName", REG_SZ, kPrinterCom, std::strlen(kPrinterCom) + 1),
              ERROR_SUCCESS);
  }

  void SetUp() override {
    for (const char* name : {"WINEPREFIX", "ZERVIKO_TARGET", "ZERVIKO_TEST_TMP", "ZERVIKO_WINDOWS_PROGRAM_DIR",
                             "ZERVIKO_FAKE_BRIDGE_DLL"}) {
      ASSERT_FALSE(Setting(name).empty()) << name << " is not set: run from the windows preset's tests";
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // A folder no ANSI code page spells, as a user's profile may be.
    m_folder = WindowsPath(Setting("ZERVIKO_TEST_TMP")) + "\\Zażółć 测试\\" + test->name() + "\\";
    fs::remove_all(U8(m_folder));
    const fs::path from = Setting("ZERVIKO_WINDOWS_PROGRAM_DIR");
    fs::create_directories(U8(m_folder) / "Firmware Files");
    fs::create_directories(U8(m_folder) / "Resources");
    for (const char* file : {"zerviko-loader.exe", "Genm2329.cde", "Gene2329.cde", "Genw2329.cde"}) {
      fs::copy_file(from / file, U8(m_folder) / file);
    }
    for (const char* sample : {kAbcSample, kKeyboardSample}) {
      fs::copy_file(from / "Firmware Files" / sample, U8(m_folder) / "Firmware Files" / sample);
    }
    fs::copy_file(Setting("ZERVIKO_FAKE_BRIDGE_DLL"), U8(m_folder) / "CP210xManufacturing.dll");
  }

  void TearDown() override { fs::remove_all(U8(m_folder)); }

  // Starts the wizard in the staged folder and waits for page 0.
  void Start(CRemoteWizard& wizard, const std::wstring& title = kTitle) {
    const auto took = wizard.Start(m_folder, title, {kBridge});
    ASSERT_GE(took.count(), 0) << "the wizard did not show its first page";
    std::printf("[ figure ] start to the first page: %lld ms\n", static_cast<long long>(took.count()));
  }

  std::string Sample(const char* name) const { return m_folder + "Firmware Files\\" + name; }

  // The message box the wizard shows next, checked and closed.
  static void ExpectMessage(CRemoteWizard& wizard, const std::wstring& caption, const std::wstring& text) {
    MessageBoxSeen box;
    ASSERT_TRUE(wizard.WaitForMessageBox(&box)) << "no message box";
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    CRemoteWizard::Dismiss(box);
    WaitFor([&] { return !IsWindow(box.window); });
  }

  // A second wizard from the same folder (two printers on one bench) leaves the first
  // one's log alone and says so.
  void ExpectASecondWizardKeepsNoLog(const std::wstring& title, const std::wstring& notice) {
    CRemoteWizard second;
    ASSERT_GE(second.Start(m_folder, title, {kBridge}).count(), 0);
    ExpectMessage(second, title, notice);
    PostMessageW(second.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(second.WaitForExit(), 0);
  }

  static std::wstring RevisionText(const std::string& path, int language) {
    EXPECT_EQ(ReadFirmwarePackage(path, true, language), PACKAGE_OK) << path;
    return Wide(GetPackageRevisionText());
  }

  std::string m_folder;  // the staged program folder, ending in "\"
};

TEST_F(Wizard, StartsOnTheModelAndPortPageWithThePrintersBridgeChosen) {
  CRemoteWizard wizard;
  Start(wizard);
  EXPECT_EQ(CRemoteWizard::Text(wizard.Main()), kTitle);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wizard.Main(), IDC_BACK)));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(wizard.Main(), IDC_NEXT)));
  EXPECT_EQ(CRemoteWizard::Send(wizard.Main(), DM_GETDEFID, 0, 0), MAKELRESULT(IDC_NEXT, DC_HASDEFID));
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(0, 1002)), L"Select the model and port to program");
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(0, 1004)), L"Select a port");
  EXPECT_EQ(CRemoteWizard::Text(GetDlgItem(wizard.Main(), IDC_INFO)),
            L"ZERVIKO Firmware Loader\nVersion " ZERVIKO_VERSION_W L"\nTarno Corp.");
  EXPECT_EQ(CRemoteWizard::Send(wizard.Control(0, 1008), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(CRemoteWizard::Send(wizard.Control(0, 1007), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  const std::vector<std::wstring> ports = CRemoteWizard::Lines(wizard.Control(0, 1003));
  EXPECT_NE(std::find(ports.begin(), ports.end(), L"COM1:"), ports.end());
  EXPECT_EQ(CRemoteWizard::SelectedLine(wizard.Control(0, 1003)), L"COM4:");
  // Back, off, shows its picture for off.
  const CRemoteWizard::Pixels off = CRemoteWizard::Picture(m_folder + "zerviko-loader.exe", "BACKX");
  ASSERT_FALSE(off.rgb.empty());
  EXPECT_TRUE(WaitFor([&] { return CRemoteWizard::OnScreen(GetDlgItem(wizard.Main(), IDC_BACK)) == off; }, 5s));

  ExpectASecondWizardKeepsNoLog(kTitle, L"\"" + Wide(m_folder) +
                                            L"Status.log\" is held by another loader: this one keeps no status log.");

  // Enter on a page's control presses nothing; Escape ends the wizard.
  PostMessageW(wizard.Control(0, 1003), WM_KEYDOWN, VK_RETURN, 0);
  Sleep(300);
  EXPECT_EQ(wizard.ShownPage(), 0);
  PostMessageW(wizard.Control(0, 1003), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(wizard.WaitForExit(), 0);
}

TEST_F(Wizard, FileChooserOpensFirmwareFilesWithTheModelsMaskAndRefusesWhatItCannotUse) {
  std::ofstream(Sample("ZERVIKO_ZZ.qvk"), std::ios::binary) << "not a package";
  // A package written on Windows, its texts in Windows-1252, by the Linux package writer.
  const std::string texts = m_folder + "w1252-";
  std::ofstream(texts + "revision.txt", std::ios::binary) << "R\xE9vision \x80 2.15";
  std::ofstream(texts + "setup.txt", std::ios::binary) << "Param\xE8tres";
  const std::string made = UnixPath(Sample("ZERVIKO_W1252.qvk"));
  ASSERT_TRUE(RunOnLinux("'" + Setting("ZERVIKO_HOST_TOOLS_DIR") + "/zerviko-mkpackage' --output '" + made +
                         ".tmp' --revision 'english=" + UnixPath(texts) + "revision.txt' --setup 'english=" +
                         UnixPath(texts) + "setup.txt' --synthetic-image 4096 && mv '" + made + ".tmp' '" + made + "'"));
  ASSERT_TRUE(WaitFor([&] { return fs::exists(U8(Sample("ZERVIKO_W1252.qvk"))); }, 60s));
  CRemoteWizard wizard;
  Start(wizard);
  wizard.Next();
  ASSERT_TRUE(WaitFor([&] { return wizard.ShownPage() == 1; }));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(wizard.Main(), IDC_BACK)));
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(1, 1009)), L"Programming the ZERVIKO - ABC Layout");
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(1, 1010)), L"Select the file to download");
  EXPECT_EQ(wizard.SelectedDrive(), L"Z:");
  const std::vector<std::wstring> drives = wizard.Drives();
  EXPECT_NE(std::find(drives.begin(), drives.end(), L"C:"), drives.end());
  std::vector<std::wstring> walk = wizard.SelectedFolderPath();
  ASSERT_FALSE(walk.empty());
  EXPECT_EQ(walk.front(), L"Z:\\");
  EXPECT_EQ(walk.back(), L"Firmware Files");
  EXPECT_EQ(CRemoteWizard::Lines(wizard.Control(1, 1015)), std::vector<std::wstring>{Wide(kAbcSample)});
  EXPECT_EQ(CRemoteWizard::SelectedLine(wizard.Control(1, 1015)), Wide(kAbcSample));
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(1, 1016)), RevisionText(Sample(kAbcSample), 0));
  // The walk opened the start folder's picture; a folder without subfolders toggles it
  // with each double click.
  EXPECT_EQ(wizard.SelectedFolderPicture(), 1);
  wizard.DoubleClickSelectedFolder();
  EXPECT_TRUE(WaitFor([&] { return wizard.SelectedFolderPicture() == 0; }, 5s));
  wizard.DoubleClickSelectedFolder();
  EXPECT_TRUE(WaitFor([&] { return wizard.SelectedFolderPicture() == 1; }, 5s));

  // The Keyboard model: its title and its files, the unusable one among them.
  wizard.Back();
  ASSERT_TRUE(WaitFor([&] { return wizard.ShownPage() == 0; }));
  CRemoteWizard::Send(wizard.Control(0, 1008), BM_SETCHECK, BST_UNCHECKED, 0);
  CRemoteWizard::Send(wizard.Control(0, 1007), BM_SETCHECK, BST_CHECKED, 0);
  wizard.Next();
  ASSERT_TRUE(WaitFor([&] { return wizard.ShownPage() == 1; }));
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(1, 1009)), L"Programming the ZERVIKO - Keyboard Layout");
  EXPECT_EQ(CRemoteWizard::Lines(wizard.Control(1, 1015)),
            (std::vector<std::wstring>{Wide(kKeyboardSample), L"ZERVIKO_W1252.qvk", L"ZERVIKO_ZZ.qvk"}));
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(1, 1016)), RevisionText(Sample(kKeyboardSample), 0));
  wizard.SelectLine(wizard.Control(1, 1015), L"ZERVIKO_W1252.qvk");
  const std::wstring written = L"R\u00e9vision \u20ac 2.15";
  EXPECT_TRUE(WaitFor([&] { return CRemoteWizard::Text(wizard.Control(1, 1016)).compare(0, written.size(), written) == 0; }))
      << CRemoteWizard::Text(wizard.Control(1, 1016)).c_str();
  wizard.SelectLine(wizard.Control(1, 1015), L"ZERVIKO_ZZ.qvk");
  ExpectMessage(wizard, L"Error", L"The selected file is unusable.\n\nPlease select another file.");
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(1, 1016)), L"");

  // A file gone since it was chosen.
  wizard.SelectLine(wizard.Control(1, 1015), Wide(kKeyboardSample));
  ASSERT_TRUE(WaitFor([&] { return !CRemoteWizard::Text(wizard.Control(1, 1016)).empty(); }));
  fs::remove(U8(Sample(kKeyboardSample)));
  wizard.Next();
  ExpectMessage(wizard, L"Error", L"The selected file is unavailable.\n\nPlease select another file.");
  EXPECT_EQ(wizard.ShownPage(), 1);

  // An empty floppy drive, then a folder without packages.
  wizard.SelectDrive(L"A:");
  ExpectMessage(wizard, L"Error", L"The selected drive is unavailable.\n\nPlease select another drive.");
  EXPECT_EQ(wizard.SelectedDrive(), L"Z:");
  HWND tree = wizard.Control(1, 1014);
  CRemoteWizard::Send(tree, TVM_SELECTITEM, TVGN_CARET, CRemoteWizard::Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  ASSERT_TRUE(WaitFor([&] { return CRemoteWizard::Lines(wizard.Control(1, 1015)).empty(); }));
  wizard.Next();
  ExpectMessage(wizard, L"Error", L"No file selected.\n\nPlease select a file.");
  EXPECT_EQ(wizard.ShownPage(), 1);
  wizard.Click(wizard.Main(), IDC_EXIT);
  EXPECT_EQ(wizard.WaitForExit(), 0);
}

// The Linux zerviko-flash's status log of the same run into a printer of its own: the
// format and the engine's messages are the wizard's.
std::string LinuxReferenceLog(const std::string& package, const std::string& options) {
  static int count = 0;
  const std::string dir = Setting("ZERVIKO_TEST_TMP") + "/reference-" + std::to_string(GetCurrentProcessId()) +
                          "-" + std::to_string(++count);
  fs::remove_all(WindowsPath(dir));
  fs::create_directories(WindowsPath(dir));
  const std::string bin = Setting("ZERVIKO_HOST_BIN_DIR");
  EXPECT_TRUE(RunOnLinux("'" + bin + "/zerviko-target' --link '" + dir + "/tty' " + options +
                         " >/dev/null 2>&1 & p=$!; while [ ! -e '" + dir + "/tty' ]; do sleep 0.05; done; '" +
                         bin + "/zerviko-flash' program --port '" + dir + "/tty' --package '" + UnixPath(package) +
                         "' --kernel-dir '" + bin + "' --log '" + dir + "/reference.log' >/dev/null 2>&1; kill $p; touch '" +
                         dir + "/done'"));
  EXPECT_TRUE(WaitFor([&] { return fs::exists(WindowsPath(dir + "/done")); }, 120s));
  return ReadWholeFile(WindowsPath(dir + "/reference.log"));
}

// A log with the kernel files' folder, which differs between the two, as "KERNELS/".
std::string KernelsNamed(std::string log) {
  for (const std::string& folder : {Setting("ZERVIKO_TEST_TMP"), WindowsPath(Setting("ZERVIKO_TEST_TMP")),
                                    Setting("ZERVIKO_HOST_BIN_DIR")}) {
    for (std::size_t at = 0; (at = log.find(folder, at)) != std::string::npos;) {
      std::size_t end = log.find_first_of("\r\n", at);
      const std::size_t name = log.find_last_of("/\\", end);
      log.replace(at, name + 1 - at, "KERNELS/");
      at += 8;
    }
  }
  return log;
}

// Next to the programming page with the sample of the ABC model.
void GoToProgramPage(CRemoteWizard& wizard) {
  wizard.Next();
  ASSERT_TRUE(WaitFor([&] { return wizard.ShownPage() == 1; }));
  ASSERT_TRUE(WaitFor([&] { return !CRemoteWizard::Text(wizard.Control(1, 1016)).empty(); }));
  wizard.Next();
  ASSERT_TRUE(WaitFor([&] { return wizard.ShownPage() == 2; }));
}

TEST_F(Wizard, ProgramsThePrinterThroughItsComPortAndLogsAsTheLinuxLoader) {
  // Slow enough writes that the run can be watched.
  CVirtualPrinter printer(kPrinterCom, "--write-time 2");
  ASSERT_TRUE(printer.Ready());
  CRemoteWizard wizard;
  Start(wizard);
  GoToProgramPage(wizard);
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(2, 1009)), L"Programming the ZERVIKO - ABC Layout");
  // The revision line: the revision's first line, and an ellipsis for the rest.
  const std::wstring revision = RevisionText(Sample(kAbcSample), 0);
  ASSERT_NE(revision.find_first_of(L"\r\n"), std::wstring::npos);
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(2, 1017)),
            revision.substr(0, revision.find_first_of(L"\r\n")) + L" \u2026");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wizard.Main(), IDC_NEXT)));
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(2, 1021)), L"0 %");

  // "100 %" in the pages' 11-point Arial fits the percent label.
  RECT percent{};
  GetWindowRect(wizard.Control(2, 1021), &percent);
  EXPECT_GE(percent.right - percent.left, PageTextWidth(L"100 %"));
  const HCURSOR idle = CRemoteWizard::CursorOver(wizard.Page(2));
  ASSERT_NE(idle, nullptr);

  const auto started = std::chrono::steady_clock::now();
  wizard.Click(wizard.Page(2), 1019);
  ASSERT_TRUE(WaitFor([&] { return wizard.BusyWindow() != nullptr; }));
  EXPECT_EQ(CRemoteWizard::Text(wizard.BusyWindow()), L"Updating Firmware...");
  // During the run: Back, Exit and Program off, and the window refuses to close.
  ASSERT_TRUE(WaitFor([&] { return CRemoteWizard::Text(wizard.Control(2, 1021)) != L"0 %"; }));
  for (HWND control : {GetDlgItem(wizard.Main(), IDC_BACK), GetDlgItem(wizard.Main(), IDC_EXIT), wizard.Control(2, 1019)}) {
    EXPECT_FALSE(IsWindowEnabled(control));
  }
  PostMessageW(wizard.Main(), WM_CLOSE, 0, 0);
  PostMessageW(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(wizard.Main(), WM_COMMAND, IDCANCEL, 0);
  Sleep(300);
  EXPECT_TRUE(IsWindow(wizard.Main()));
  EXPECT_TRUE(wizard.BusyWindow() != nullptr);
  EXPECT_NE(CRemoteWizard::CursorOver(wizard.Page(2)), idle) << "no busy cursor";

  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForMessageBox(&box, 120s));
  std::printf("[ figure ] Program to the success message: %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - started).count()));
  EXPECT_EQ(box.caption, L"Success");
  EXPECT_EQ(box.text, L"Firmware has been successfully loaded.");
  // The warning is gone and the bar back at 0 before the success is told.
  EXPECT_EQ(wizard.BusyWindow(), nullptr);
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(2, 1021)), L"0 %");
  EXPECT_EQ(CRemoteWizard::Send(wizard.Control(2, 1020), PBM_GETPOS, 0, 0), 0);
  CRemoteWizard::Dismiss(box);
  ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(wizard.Main(), IDC_EXIT)) != 0; }));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(wizard.Main(), IDC_BACK)));
  EXPECT_EQ(CRemoteWizard::CursorOver(wizard.Page(2)), idle) << "the busy cursor stayed";

  const std::vector<std::uint8_t> image = PackageImage(Sample(kAbcSample));
  const std::string flash = ReadWholeFile(printer.FlashFile());
  ASSERT_GE(flash.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), reinterpret_cast<const std::uint8_t*>(flash.data())));
  // The log is on the disk at the end of the run, whole, while the wizard still runs.
  EXPECT_EQ(KernelsNamed(ReadWholeFile(m_folder + "Status.log")), KernelsNamed(LinuxReferenceLog(Sample(kAbcSample), "")));
  wizard.Click(wizard.Main(), IDC_EXIT);
  EXPECT_EQ(wizard.WaitForExit(), 0);
}

// zerviko-flash.exe in a console window: its lines reach the console's screen as they
// are, a path no ANSI code page spells among them.
TEST_F(Wizard, FlashWritesItsLinesToAConsoleWindow) {
  const std::wstring screen = RunInConsole(Wide("\"" + Setting("ZERVIKO_WINDOWS_PROGRAM_DIR") +
                                                "\\zerviko-flash.exe\" inspect \"" + Sample(kAbcSample) + "\""));
  EXPECT_NE(screen.find(L"Package:       " + Wide(Sample(kAbcSample))), std::wstring::npos);
  EXPECT_NE(screen.find(L"Language:      0 (English section)"), std::wstring::npos);
}

TEST_F(Wizard, AFailedRunSaysSoWithTheWarningStillUpAndEndsTheLog) {
  CVirtualPrinter printer(kPrinterCom, "--fault error:0x50:0x53:3");
  ASSERT_TRUE(printer.Ready());
  CRemoteWizard wizard;
  Start(wizard);
  GoToProgramPage(wizard);
  wizard.Click(wizard.Page(2), 1019);
  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForMessageBox(&box, 120s));
  EXPECT_EQ(box.caption, L"Error");
  EXPECT_EQ(box.text, L"File transfer error.\n\nProgramming terminated.");
  EXPECT_NE(wizard.BusyWindow(), nullptr);
  CRemoteWizard::Dismiss(box);
  ASSERT_TRUE(WaitFor([&] { return wizard.BusyWindow() == nullptr; }));
  EXPECT_EQ(CRemoteWizard::Text(wizard.Control(2, 1021)), L"0 %");
  EXPECT_EQ(KernelsNamed(ReadWholeFile(m_folder + "Status.log")),
            KernelsNamed(LinuxReferenceLog(Sample(kAbcSample), "--fault error:0x50:0x53:3")));
  // The close box ends the wizard once the run is over.
  PostMessageW(wizard.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(wizard.WaitForExit(), 0);
}

// The end of the session (a logoff, a restart for updates) is refused while a run goes
// on; when it comes all the same, or the message loop ends under the run, the run stops
// before its next block and "Status.log" is whole on the disk before the wizard goes.
TEST_F(Wizard, TheEndOfTheSessionWaitsForTheRunAndWhenForcedStopsItAtABlockWithTheLogWhole) {
  const std::vector<std::uint8_t> image = PackageImage(Sample(kAbcSample));
  auto ask = [](HWND window, UINT message, WPARAM wParam) {
    DWORD_PTR answer = 99;
    EXPECT_NE(SendMessageTimeoutW(window, message, wParam, ENDSESSION_LOGOFF, SMTO_NORMAL, 60000, &answer), 0);
    return answer;
  };
  for (const bool endSession : {true, false}) {
    SCOPED_TRACE(endSession ? "WM_ENDSESSION" : "WM_QUIT");
    std::string flashFile;
    std::string log;
    {
      CVirtualPrinter printer(kPrinterCom, "--write-time 20");
      ASSERT_TRUE(printer.Ready());
      flashFile = printer.FlashFile();
      CRemoteWizard wizard;
      Start(wizard);
      GoToProgramPage(wizard);
      EXPECT_EQ(ask(wizard.Main(), WM_QUERYENDSESSION, 0), 1u) << "idle";
      wizard.Click(wizard.Page(2), 1019);
      ASSERT_TRUE(WaitFor([&] { return CRemoteWizard::Text(wizard.Control(2, 1021)) != L"0 %"; }, 120s));
      if (endSession) {
        EXPECT_EQ(ask(wizard.Main(), WM_QUERYENDSESSION, 0), 0u) << "during a run";
        ask(wizard.Main(), WM_ENDSESSION, TRUE);
        log = ReadWholeFile(m_folder + "Status.log");
      } else {
        PostThreadMessageW(GetWindowThreadProcessId(wizard.Main(), nullptr), WM_QUIT, 0, 0);
      }
      EXPECT_EQ(wizard.WaitForExit(30s), 0);
      if (!endSession) log = ReadWholeFile(m_folder + "Status.log");
    }
    const std::string end = "0: Programming aborted\r\n****** END OF CURRENT UPDATE ******\r\n\r\n";
    EXPECT_TRUE(log.size() > end.size() && log.compare(log.size() - end.size(), end.size(), end) == 0)
        << log.substr(log.size() > 200 ? log.size() - 200 : 0);
    // The printer holds the image's first blocks, whole, and nothing after them.
    const std::string flash = ReadWholeFile(flashFile);
    ASSERT_GE(flash.size(), image.size());
    std::size_t written = 0;
    while (written < image.size() && std::memcmp(flash.data() + written, image.data() + written,
                                                 std::min<std::size_t>(128, image.size() - written)) == 0) {
      written += 128;
    }
    EXPECT_LT(written, image.size()) << "the run was not stopped";
    EXPECT_EQ(flash.find_first_not_of('\xff', written), std::string::npos) << "written after the stop";
  }
}

// Each language library in "Resources": the interface in its language, the package's
// section its name stands for, and (in German) a second wizard's notice that it keeps no
// log. A DLL without the wizard's resources (here the stand-in bridge library) is passed
// over, said, and the interface stays English.
TEST_F(Wizard, EachLanguageLibraryGivesItsLanguageAndItsPackageSection) {
  const fs::path languages = fs::path(Setting("ZERVIKO_WINDOWS_PROGRAM_DIR")) / "Languages";
  const struct {
    const char* library;
    fs::path from;  // the file copied into "Resources" as library
    std::wstring title;
    std::wstring prompt;
    std::wstring back;
    int packageLanguage;
    std::wstring logInUse = {};  // empty: no second wizard
  } rows[] = {
      {"FRA.dll", languages / "FRA.dll", L"Chargeur de micrologiciel Tarno ZERVIKO", L"Sélectionnez le modèle et le port à programmer", L"Précédent", 1},
      {"DEU.dll", languages / "DEU.dll", L"Tarno ZERVIKO Firmware-Loader", L"Modell und Anschluss zum Programmieren auswählen", L"Zurück", 2,
       L"\u201e" + Wide(m_folder) + L"Status.log\u201c wird von einem anderen Loader verwendet: Dieser führt kein Statusprotokoll."},
      {"PTB.dll", languages / "PTB.dll", L"Carregador de firmware Tarno ZERVIKO", L"Selecione o modelo e a porta para a programação", L"Voltar", 3},
      {"ESP.dll", languages / "ESP.dll", L"Cargador de firmware Tarno ZERVIKO", L"Seleccione el modelo y el puerto que desea programar", L"Atrás", 4},
      {"AAA.dll", fs::path(Setting("ZERVIKO_FAKE_BRIDGE_DLL")), kTitle,
       L"Select the model and port to program", L"Back", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.library);
    fs::remove_all(U8(m_folder) / "Resources");
    fs::create_directories(U8(m_folder) / "Resources");
    fs::copy_file(row.from, U8(m_folder) / "Resources" / row.library);
    CRemoteWizard wizard;
    Start(wizard, row.title);
    if (row.packageLanguage == 0) {  // not a language library
      ExpectMessage(wizard, kTitle,
                    L"\"" + Wide(m_folder) + L"Resources\\AAA.dll\" is not a language library of this program. "
                    L"It was passed over: the program runs in English.");
    }
    EXPECT_EQ(CRemoteWizard::Text(wizard.Control(0, 1002)), row.prompt);
    EXPECT_EQ(CRemoteWizard::Text(GetDlgItem(wizard.Main(), IDC_BACK)), row.back);
    if (!row.logInUse.empty()) ExpectASecondWizardKeepsNoLog(row.title, row.logInUse);
    wizard.Next();
    ASSERT_TRUE(WaitFor([&] { return !CRemoteWizard::Text(wizard.Control(1, 1016)).empty(); }));
    EXPECT_EQ(CRemoteWizard::Text(wizard.Control(1, 1016)), RevisionText(Sample(kAbcSample), row.packageLanguage));
    wizard.Click(wizard.Main(), IDC_EXIT);
    EXPECT_EQ(wizard.WaitForExit(), 0);
  }
}

// The installer as IT departments run it: silent, into a folder of their choosing, in a
// language; its uninstaller takes away what it put there, and neither the packages the
// user added nor "Status.log".
TEST_F(Wizard, InstallerInstallsSilentlyInTheChosenLanguageAndUninstalls) {
  const std::string installer = Setting("ZERVIKO_WINDOWS_INSTALLER");
  ASSERT_FALSE(installer.empty()) << "no installer built (makensis missing?)";
  const std::string folder = m_folder + "Installed Loader\\";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  auto install = [&](std::string command) {
    DWORD status = 99;
    EXPECT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return status;
  };
  // A folder that is not a full path is refused, never swapped for the default folder.
  char local[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, local, CSIDL_LOCAL_APPDATA, FALSE));
  EXPECT_EQ(install("\"" + installer + "\" /S /D=Installed Loader"), 2u);
  EXPECT_FALSE(fs::exists(std::string(local) + "\\Programs\\ZERVIKO Firmware Loader"));

  EXPECT_EQ(install("\"" + installer + "\" /S /LANGUAGE=DEU /D=" + folder.substr(0, folder.size() - 1)), 0u);
  for (const char* file : {"zerviko-loader.exe", "zerviko-flash.exe", "Genm2329.cde", "Gene2329.cde", "Genw2329.cde",
                           "Languages\\FRA.dll", "Languages\\DEU.dll", "Languages\\PTB.dll", "Languages\\ESP.dll",
                           "Firmware Files\\ZERVIKO_ABC_V2.14.avk", "Uninstall.exe"}) {
    EXPECT_TRUE(fs::is_regular_file(U8(folder + file))) << file;
  }
  // Only what a user runs: no test, benchmark or build tool.
  std::vector<std::string> exes;
  for (const auto& entry : fs::recursive_directory_iterator(U8(folder)))
    if (entry.path().extension() == ".exe") exes.push_back(fs::relative(entry.path(), U8(folder)).string());
  std::sort(exes.begin(), exes.end());
  EXPECT_EQ(exes, (std::vector<std::string>{"Uninstall.exe", "zerviko-flash.exe", "zerviko-loader.exe"}));
  std::vector<std::string> chosen;
  for (const auto& entry : fs::directory_iterator(U8(folder + "Resources"))) chosen.push_back(entry.path().filename().string());
  EXPECT_EQ(chosen, std::vector<std::string>{"DEU.dll"});
  char programs[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE));
  const std::string menu = std::string(programs) + "\\ZERVIKO Firmware Loader\\";
  EXPECT_TRUE(fs::is_regular_file(menu + "ZERVIKO Firmware Loader.lnk"));
  EXPECT_TRUE(fs::is_regular_file(menu + "ZERVIKO command prompt.lnk"));

  {
    CRemoteWizard wizard;
    ASSERT_GE(wizard.Start(folder, L"Tarno ZERVIKO Firmware-Loader").count(), 0) << "not in German";
    wizard.Click(wizard.Main(), IDC_EXIT);
    EXPECT_EQ(wizard.WaitForExit(), 0);
  }
  EXPECT_TRUE(fs::is_regular_file(U8(folder + "Status.log")));

  std::ofstream(folder + "Firmware Files\\ZERVIKO_MINE.avk") << "the user's own package";
  // The uninstaller runs on from a copy of itself, so the folder is watched.
  install("\"" + folder + "Uninstall.exe\" /S");
  EXPECT_TRUE(WaitFor([&] { return !fs::exists(U8(folder + "Uninstall.exe")); }, 60s));
  // The technician's record of the runs stays with the user's packages. (The uninstaller
  // may still be trying to remove the folder when its last file has gone.)
  const std::vector<std::string> kept = {"Firmware Files", "Firmware Files\\ZERVIKO_MINE.avk", "Status.log"};
  std::vector<std::string> left;
  WaitFor([&] {
    left.clear();
    std::error_code error;
    for (fs::recursive_directory_iterator it(U8(folder), error), end; !error && it != end; it.increment(error))
      left.push_back(fs::relative(it->path(), U8(folder)).string());
    std::sort(left.begin(), left.end());
    return !error && left == kept;
  }, 30s);
  EXPECT_EQ(left, kept);
  EXPECT_FALSE(fs::exists(menu));
}

// Not a check: a paced run of the Keyboard layout sample through the wizard and the same
// run with zerviko-flash.exe, timed, when ZERVIKO_PACED_FIGURE is set
// (bench/wizard-vs-flash.sh).
TEST_F(Wizard, PacedRunFigure) {
  if (Setting("ZERVIKO_PACED_FIGURE").empty()) GTEST_SKIP() << "ZERVIKO_PACED_FIGURE is not set";
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  double wizardSeconds = 0;
  {
    CVirtualPrinter printer(kPrinterCom, "--pace");
    ASSERT_TRUE(printer.Ready());
    CRemoteWizard wizard;
    Start(wizard);
    CRemoteWizard::Send(wizard.Control(0, 1008), BM_SETCHECK, BST_UNCHECKED, 0);
    CRemoteWizard::Send(wizard.Control(0, 1007), BM_SETCHECK, BST_CHECKED, 0);
    GoToProgramPage(wizard);
    const auto started = Clock::now();
    wizard.Click(wizard.Page(2), 1019);
    MessageBoxSeen box;
    ASSERT_TRUE(wizard.WaitForMessageBox(&box, 600s));
    wizardSeconds = seconds(Clock::now() - started);
    EXPECT_EQ(box.caption, L"Success");
    CRemoteWizard::Dismiss(box);
  }
  CVirtualPrinter printer(kPrinterCom, "--pace");
  ASSERT_TRUE(printer.Ready());
  std::string command = "\"" + Setting("ZERVIKO_WINDOWS_PROGRAM_DIR") + "\\zerviko-flash.exe\" program --port " +
                        kPrinterCom + " --package \"" + Sample(kKeyboardSample) + "\"";
  // Its output goes nowhere, as the wizard's does.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = nowhere;
  startup.hStdError = nowhere;
  PROCESS_INFORMATION process{};
  const auto started = Clock::now();
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
  CloseHandle(nowhere);
  WaitForSingleObject(process.hProcess, 600000);
  const double flashSeconds = seconds(Clock::now() - started);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  EXPECT_EQ(status, 0u);
  std::printf("[ figure ] paced run of %s: wizard %.2f s, zerviko-flash.exe %.2f s, wizard/flash %.3f\n",
              kKeyboardSample, wizardSeconds, flashSeconds, wizardSeconds / flashSeconds);
}

// Not a check: the README's pictures of the Windows wizard, taken when
// ZERVIKO_SCREENSHOT_DIR names a folder (scripts/screenshots.sh --windows).
TEST_F(Wizard, Screenshots) {
  const std::string out = Setting("ZERVIKO_SCREENSHOT_DIR");
  if (out.empty()) GTEST_SKIP() << "ZERVIKO_SCREENSHOT_DIR is not set";
  CVirtualPrinter printer(kPrinterCom, "--pace");
  ASSERT_TRUE(printer.Ready());
  CRemoteWizard wizard;
  Start(wizard);
  auto shoot = [&](HWND window, const char* name) {
    Sleep(700);  // painted
    RECT rect{};
    GetWindowRect(window, &rect);
    const std::string file = out + "/" + name;
    const std::string geometry = std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top) +
                                 "+" + std::to_string(rect.left) + "+" + std::to_string(rect.top);
    fs::remove(WindowsPath(file));
    ASSERT_TRUE(RunOnLinux("import -window root -crop " + geometry + " +repage '" + file + ".tmp.png' && mv '" +
                           file + ".tmp.png' '" + file + "'"));
    ASSERT_TRUE(WaitFor([&] { return fs::exists(WindowsPath(file)); }));
  };
  shoot(wizard.Main(), "windows-1-model-port.png");
  wizard.Next();
  ASSERT_TRUE(WaitFor([&] { return !CRemoteWizard::Text(wizard.Control(1, 1016)).empty(); }));
  shoot(wizard.Main(), "windows-2-file.png");
  wizard.Next();
  ASSERT_TRUE(WaitFor([&] { return wizard.ShownPage() == 2; }));
  shoot(wizard.Main(), "windows-3-program.png");
  wizard.Click(wizard.Page(2), 1019);
  ASSERT_TRUE(WaitFor([&] { return CRemoteWizard::Send(wizard.Control(2, 1020), PBM_GETPOS, 0, 0) >= 30; }, 120s));
  // The busy window stands over the wizard, inside its rectangle.
  shoot(wizard.Main(), "windows-4-running.png");
}

}  // namespace
}  // namespace zerviko::remote
