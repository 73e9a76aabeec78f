// The wizard's core over views that only record, on a built program folder: what a user
// meets on each page, in order, from the start to a written printer (the virtual
// printer in this process), with the system's own paths, log file and folder listing.
// The same program runs on Linux and, under Wine, on Windows.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/FolderListing.h"
#include "files/StatusLog.h"
#include "sim/InProcessPort.h"
#include "tests/package/PackageTestSupport.h"
#include "wizard/Language.h"
#include "wizard/NullViews.h"
#include "wizard/Wizard.h"

namespace {

namespace fs = std::filesystem;
using namespace zerviko;
using namespace zerviko::wizard;

const std::string kSep(1, PATH_SEPARATOR);

std::string Package(const std::string& revision, const std::string& image) {
  return "Test\r\n" + test::Section("ENGLISH", revision, revision + " setup") + "<CODE>\r\n" + image;
}

// The lines of log from the last that begins with from.
std::vector<std::string> From(const CallLog& log, const std::string& from) {
  auto it = std::find_if(log.rbegin(), log.rend(), [&](const std::string& line) { return line.rfind(from, 0) == 0; });
  return {it == log.rend() ? log.end() : std::prev(it.base()), log.end()};
}

// A drive list of the test's own: the built folder as a fixed disk, behind a card
// reader whose card has gone.
struct TestVolumes : Volumes {
  std::vector<Volume> volumes;
  std::vector<Volume> List() const override { return volumes; }
};

class Wizard : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path files = m_root / "Program" / "Firmware Files";
    fs::create_directories(files / "ZERVIKO_dir.avk");
    fs::create_directories(m_root / "Program" / "Other");
    const std::pair<const char*, std::string> written[] = {
        {"ZERVIKO_1.AVK", Package("Rev 1", m_image)}, {"zerviko_2.avk", Package("Rev 2", m_image)},
        {"ZERVIKO_broken.avk", "<LANG_ENGLISH>\r\nno code\r\n"}, {"Zerviko.Qvk", Package("Keyboard", m_image)},
        {"OTHER.avk", Package("Other", m_image)}, {"ZERVIKO_1.avkx", Package("Longer", m_image)}};
    for (const auto& [name, bytes] : written) std::ofstream(files / name, std::ios::binary) << bytes;
    const std::pair<const char*, const char*> kernels[] = {{"Genm2329.cde", sim::STAND_IN_MAIN_KERNEL},
                                                          {"Gene2329.cde", sim::STAND_IN_ERASE_MODULE},
                                                          {"Genw2329.cde", sim::STAND_IN_WRITE_MODULE}};
    for (const auto& [name, title] : kernels) std::ofstream(m_root / "Program" / name, std::ios::binary) << title;

    auto volumes = std::make_unique<TestVolumes>();
    // A drive that no system can enter: the card has gone.
    volumes->volumes = {{"gone", VOLUME_REMOVABLE}, {m_root.string(), VOLUME_FIXED}};
    m_wizard = std::make_unique<CWizard>(WizardViews{m_main, m_port, m_file, m_program}, m_ports, std::move(volumes));
    m_wizard->m_strAppDir = (m_root / "Program").string() + kSep;
    m_program.m_pPage = &m_wizard->m_programPage;
    m_program.m_pPort = &m_line;
  }
  void TearDown() override {
    m_wizard.reset();
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  const fs::path m_root = test::MakeTempFolder("zerviko-wizard-");
  const std::string m_image = std::string(128, 'A') + std::string(128, '\xFF') + std::string(100, 'B');
  PortListSource m_ports = [] { return ports::PortList{{{"COM1", "COM1"}, {"COM3:  Label printer", "COM3"}}, 1}; };
  CallLog m_log;
  CNullWizardView m_main{m_log};
  CNullPortPageView m_port{m_log};
  CNullFilePageView m_file{m_log};
  CNullProgramPageView m_program{m_log};
  sim::Target m_target;
  sim::InProcessPort m_line{m_target};
  std::unique_ptr<CWizard> m_wizard;
};

TEST_F(Wizard, FromTheStartToAWrittenPrinter) {
  CWizard& w = *m_wizard;
  w.OnInitDialog();
  EXPECT_EQ(m_log, (CallLog{"window title 138", "prompts 132 133", "ports COM1,COM3:  Label printer selected 1",
                            "prompt 137", "show page 0"}));
  EXPECT_TRUE(w.m_nCurPage == 0 && !m_main.m_bBack && m_main.m_bNext && w.m_bAbcLayout == 1);
  EXPECT_EQ(test::Slurp(m_root / "Program" / "Status.log"), "");  // emptied at the start

  // Next: the port, never its text; the file page opens the start folder on its drive.
  w.OnNext();
  const std::string program = m_root.string() + kSep + "Program", files = program + kSep + "Firmware Files";
  EXPECT_EQ(w.m_strPort, "COM3");
  EXPECT_EQ(From(m_log, "show page 1"),
            (CallLog{"show page 1", "title 139", "drives gone:0," + m_root.string() + ":2",
                     "select drive 1", "clear tree", "add " + m_root.string(), "add " + program, "expand " + m_root.string(),
                     "picture " + m_root.string() + " 1", "select folder " + m_root.string(), "files  selected -1",
                     "status ", "select folder " + program, "files  selected -1", "status ",
                     "picture Program 1", "add " + files, "add " + program + kSep + "Other",
                     "expand Program", "picture Program 1", "select folder " + files,
                     // the mask without regard to case; no folder, no longer extension
                     "files ZERVIKO_1.AVK,zerviko_2.avk,ZERVIKO_broken.avk selected 0", "status Rev 1",
                     "picture Firmware Files 1", "add " + files + kSep + "ZERVIKO_dir.avk", "hide page 0"}));

  m_log.clear();
  w.OnNext();
  EXPECT_EQ(w.m_strPackagePath, files + kSep + "ZERVIKO_1.AVK");
  EXPECT_EQ(From(m_log, "show page 2"), (CallLog{"show page 2", "texts Rev 1 / Rev 1 setup", "title 139", "hide page 1"}));
  EXPECT_TRUE(!m_main.m_bNext && m_main.m_bBack);

  // A run that cannot open its port, then one that writes the printer: one log, the
  // failure told while the busy window is up, the success after it has gone.
  m_line.RefuseOpen(true);
  m_log.clear();
  w.m_programPage.OnProgram();
  m_line.RefuseOpen(false);
  w.m_programPage.OnProgram();
  EXPECT_EQ(m_log, (CallLog{"wizard controls off", "busy window up", "run on COM3", "message 144 135 exclamation busy",
                            "wizard controls on", "busy window down", "wizard controls off", "busy window up",
                            "run on COM3", "wizard controls on", "busy window down", "message 136 145 exclamation"}));
  EXPECT_TRUE(m_program.m_nProgress == 0 && m_program.m_strLabel == "0 %" && !m_program.m_bInputBlocked &&
              m_program.m_nWaitCursor == 0);
  EXPECT_EQ(std::string(m_target.Flash().begin(), m_target.Flash().begin() + 356), m_image);
  const std::string log = test::Slurp(m_root / "Program" / "Status.log");
  const std::string marker = "****** END OF CURRENT UPDATE ******\r\n\r\n";
  EXPECT_EQ(log.substr(0, log.find(marker) + marker.size()), "0: Can't open COM3\r\n" + marker);
  EXPECT_EQ(log.rfind(marker), log.size() - marker.size());
  EXPECT_NE(log.find("\r\n1: "), std::string::npos);
  std::size_t crlf = 0;
  for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 1)) ++crlf;
  EXPECT_EQ(static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')), crlf);  // every LF as CR LF
}

// A run stopped from outside, as at the end of the session, ends before its next block
// with the engine's message.
TEST_F(Wizard, AnAbortedRunStopsBeforeItsNextBlock) {
  m_wizard->OnInitDialog();
  CProgramRun run(m_wizard->m_programPage.Options(), std::vector<std::uint8_t>(m_image.begin(), m_image.end()));
  struct AbortAtFirstBlock : IRunSink {
    CProgramRun* run = nullptr;
    std::vector<std::string> texts;
    void OnEngineMessage(int /*percent*/, int /*level*/, const std::string& text) override {
      texts.push_back(text);
      if (text.rfind("Writing block", 0) == 0) run->Abort();
    }
  } sink;
  sink.run = &run;
  EXPECT_FALSE(run.Execute(sink, m_line));
  ASSERT_GE(sink.texts.size(), 2u);
  EXPECT_EQ(sink.texts.back(), "Programming aborted");
  EXPECT_EQ(sink.texts[sink.texts.size() - 2].rfind("Writing block 0000", 0), 0u);
  EXPECT_EQ(std::string(m_target.Flash().begin(), m_target.Flash().begin() + 356),
            m_image.substr(0, 128) + std::string(228, '\xFF'));
}

// The status log's writer: a log appended to that ends mid-line goes on on a new line;
// a write lands whole or not at all, and after the first failure, told once with its
// reason, nothing more is written.
TEST(StatusLog, WholeLinesOnly) {
  const fs::path folder = test::MakeTempFolder("zerviko-log-");
  const std::string path = (folder / "bench.log").string();
  for (const auto& [before, after] : {std::pair{"1: cut", "1: cut\r\n2: next\r\n"}, {"1: a\r\n", "1: a\r\n2: next\r\n"}}) {
    std::ofstream(path, std::ios::binary) << before;
    CStatusLog log;
    ASSERT_TRUE(log.Open(path));
    EXPECT_TRUE(log.WriteMessage(2, "next"));
    EXPECT_TRUE(log.Close());
    EXPECT_EQ(test::Slurp(path), after);
  }
#ifndef _WIN32
  CStatusLog log;
  ASSERT_TRUE(log.Open(path, true));
  {
    // Files stop growing at 30 bytes: the second line is cut short there, then refused.
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit limit{30, before.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_TRUE(log.WriteMessage(1, "Setting baud rate"));
    EXPECT_FALSE(log.WriteMessage(1, "Loading the kernel"));
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
  }
  EXPECT_FALSE(log.WriteEndMarker());  // room again, but not written after a failure
  EXPECT_EQ(log.TakeFailure(), "File too large");
  EXPECT_EQ(log.TakeFailure(), "");
  EXPECT_FALSE(log.Close());
  EXPECT_EQ(test::Slurp(path), "1: Setting baud rate\r\n");
#endif
  fs::remove_all(folder);
}

TEST(FolderListing, MasksAndEntries) {
  const struct {
    const char *name, *mask;
    bool match;
  } rows[] = {{"zerviko_2.AVK", "ZERVIKO*.avk", true}, {"ZERVIKO.avk", "ZERVIKO*.avk", true},
              {"ZERVIKO.avk.txt", "ZERVIKO*.avk", false}, {"XZERVIKO.avk", "ZERVIKO*.avk", false},
              {"ZERVIKO_1.avkx", "ZERVIKO*.avk", false}, {"a.b.avk", "*.avk", true}, {"ab", "a?", true},
              {"a", "a?", false}, {"name", "*", true}, {"", "*", true}, {"aXbXc", "a*b*c", true}};
  for (const auto& row : rows) EXPECT_EQ(MatchesMask(row.name, row.mask), row.match) << row.name << " " << row.mask;

  const fs::path folder = test::MakeTempFolder("zerviko-listing-");
  fs::create_directory(folder / "Sub.avk");
  std::ofstream(folder / "b.AVK") << "x";
  std::ofstream(folder / "a.avk") << "x";
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(folder.string(), "*.avk", entries));
  SortByName(entries);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[0].name == "a.avk" && entries[1].name == "b.AVK" && entries[2].name == "Sub.avk" &&
              !entries[0].isFolder && entries[2].isFolder);
  EXPECT_FALSE(ListFolder((folder / "none").string(), "*", entries));
  EXPECT_TRUE(entries.empty());

  // Language packs: the name's last seven characters; the first pack in name order.
  EXPECT_EQ(FindLanguagePack({(folder / "none").string() + kSep, folder.string() + kSep}, ".AVK"),
            folder.string() + kSep + "a.avk");
  fs::remove_all(folder);
  const std::pair<const char*, int> packs[] = {{"FRA.dll", 1}, {"deu.DLL", 2}, {"PTB.dll", 3}, {"LongerWordESP.dll", 4},
                                               {"ESP.rcc", 0}, {"SP.dll", 0}, {"ENG.dll", 0}};
  for (const auto& [name, language] : packs) EXPECT_EQ(LanguageFromPackName(name, ".dll"), language) << name;
}

}  // namespace
