// Whole runs through the wizard (model, port, file, Program): the real termios port
// against the virtual printer over a pseudo-terminal. What the printer got is compared
// with a run of the engine's defaults, the log to the byte, and each message box with
// what the screen showed then.
#include <sys/fsuid.h>
#include <sys/resource.h>

#include <csignal>

#include <QProgressBar>
#include <QTextDocument>
#include <QTimer>

#include "UiTestSupport.h"
#include "engine/ProgramTarget.h"

namespace zerviko::sim {
bool operator==(const FrameRecord& a, const FrameRecord& b) { return a.bytes == b.bytes && a.lineRate == b.lineRate; }
}  // namespace zerviko::sim

namespace {

using zerviko::sim::TargetConfig;

const QByteArray kEndMarker = "****** END OF CURRENT UPDATE ******\r\n\r\n";
const QString kIdle = "bar=0 label=0 % back=1 exit=1 program=1";
const QString kLoaded = "Firmware has been successfully loaded.";

// Every frame the printer received, with the line rate it came at.
using Wire = std::vector<zerviko::sim::FrameRecord>;
Wire WireOf(zerviko::sim::PtyServer& printer) { return printer.Inspect([](const auto& t) { return t.Frames(); }); }

// Root may write a read-only folder, a technician may not: while it lives, this thread
// reads and writes files as "nobody" (tests run as another user are a technician already).
struct AsTechnician {
  const bool root = geteuid() == 0;
  AsTechnician() { if (root) setfsgid(65534), setfsuid(65534); }
  ~AsTechnician() { if (root) setfsuid(0), setfsgid(0); }
};
// Files written by this process stop growing at bytes (a full disk, as root too): the
// write that crosses the limit is cut short, the next one refused with EFBIG.
struct FileSizeLimit {
  rlimit before{};
  void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit limit{bytes, before.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &before), std::signal(SIGXFSZ, handler); }
};
struct RestoredVariable {
  const char* name;
  const QByteArray value = qgetenv(name);
  ~RestoredVariable() { value.isNull() ? qunsetenv(name) : qputenv(name, value); }
};

class Run : public uitest::Wizard {
 protected:
  CPageProgram& Page() { return dialog->m_pageProgram; }
  void ToProgramPage() { Open().move(0, 0); Next(); Next(); }  // in a corner: the busy window centres on the screen
  void Program() { QTest::mouseClick(Page().ProgramButton(), Qt::LeftButton); }
  QString Screen() {
    return QStringLiteral("bar=%1 label=%2 back=%3 exit=%4 program=%5")
        .arg(Page().ProgressBar()->value()).arg(Page().PercentLabel()->text()).arg(dialog->m_btnBack.isEnabled())
        .arg(dialog->m_btnExit.isEnabled()).arg(Page().ProgramButton()->isEnabled());
  }
  QByteArray Log() { QFile log(Local("stick/Program/Status.log")); return log.open(QFile::ReadOnly) ? log.readAll() : ""; }
  bool Written() {  // the image is in the printer's flash
    return server->Inspect([](const auto& t) { return QByteArray(reinterpret_cast<const char*>(t.Flash().data()), 1024); }) ==
           uitest::TestImage();
  }

  // The engine's own run with its defaults and the kernels beside the program, against a
  // printer of its own: the log and what the printer got.
  std::pair<QByteArray, Wire> Reference(TargetConfig config = {}) {
    zerviko::sim::PtyServer printer(std::move(config));
    std::string error;
    EXPECT_TRUE(printer.Start(&error)) << error;
    zerviko::ProgrammingOptions options;
    options.portName = printer.DevicePath();
    for (auto [path, kernel] : {std::pair{&options.mainKernelPath, "Genm2329.cde"}, {&options.writeModulePath, "Genw2329.cde"},
                                {&options.eraseModulePath, "Gene2329.cde"}}) {
      *path = Local("stick/Program/").toStdString() + kernel;
    }
    const QByteArray image = uitest::TestImage();
    QByteArray log;
    zerviko::ProgramTarget(options, reinterpret_cast<const std::uint8_t*>(image.constData()), image.size(),
                           [](void* context, int, int level, int, const char* text, std::uint8_t*) {
                             *static_cast<QByteArray*>(context) += QByteArray::number(level) + ": " + text + "\r\n";
                             return 0;
                           }, &log);
    return {log, WireOf(printer)};
  }
};

// One message ends each run: a success once the busy window has gone and the bar is back
// at 0, a failure while the window is up, the bar as the run left it. The log holds the
// engine's messages and a marker for each run that reached it, on the disk at once.
TEST_F(Run, EachRunEndsInOneMessage) {
  TargetConfig refusing;  // the third block write is refused
  refusing.faults = {{zerviko::sim::FaultKind::ErrorReply, 0x50, 3, zerviko::sim::KERR_WRITE_ADDRESS_ERROR}};
  const QString transferError = "File transfer error.\n\nProgramming terminated.";
  const QString stopped = "bar=0 label=0 % back=0 exit=0 program=0";
  const QString busy = "Updating Firmware... Do not press fixed=1 centred=1 buttons=0 closes=0";
  const struct {
    const char* name;
    bool printer;
    TargetConfig config;
    std::function<void()> onPage;  // before Program
    QString text, screen;
    QByteArray log;  // null: the reference run's messages and the marker
    int peak;        // of the bar
  } rows[] = {
      {"success", true, {}, {}, kLoaded, kIdle, {}, 100},
      {"write refused", true, refusing, {}, transferError, "bar=37 label=37 % back=0 exit=0 program=0", {}, 37},
      {"no such port", false, {}, {}, transferError, stopped, "0: Can't open /dev/zerviko-none\r\n" + kEndMarker, 0},
      {"package unusable", true, {}, [this] { Write(kFiles + "ZERVIKO_1.AVK", "<LANG_ENGLISH>\r\n"); },
       "The selected file is unusable.\n\nPlease select another file.", stopped, "", 0},
      {"package removed", true, {}, [this] { QFile::remove(Local(kFiles + "ZERVIKO_1.AVK")); },
       "The selected file is unavailable.\n\nPlease select another file.", stopped, "", 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    boxes.clear();
    server.reset();
    Write(kFiles + "ZERVIKO_1.AVK", uitest::MakePackage("Firmware 9.99 for testing"));
    if (row.printer) StartPrinter(row.config);
    const auto [reference, wire] = row.log.isNull() ? Reference(row.config) : std::pair<QByteArray, Wire>{};
    ToProgramPage();
    if (row.onPage) row.onPage();
    std::vector<int> bar;
    QObject::connect(Page().ProgressBar(), &QProgressBar::valueChanged, [&bar](int v) { bar.push_back(v); });
    probe = [this] { return Screen(); };
    Program();
    const bool success = row.text == kLoaded;
    ASSERT_EQ(BoxTexts(), QStringList{row.text});
    EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(boxes[0].caption + " " + boxes[0].screen + " " + boxes[0].busyWindow,
              (success ? "Success " : "Error ") + row.screen + " " + (success ? "" : busy));
    EXPECT_EQ(Screen() + uitest::BusyWindow(), kIdle);
    EXPECT_TRUE(bar.size() < 2 || std::is_sorted(bar.begin(), bar.end() - 1));  // up in order, then 0
    EXPECT_EQ(bar.size() < 2 ? 0 : bar.end()[-2], row.peak);
    EXPECT_EQ(Log(), row.log.isNull() ? reference + kEndMarker : row.log);
    EXPECT_EQ(server ? WireOf(*server) : Wire{}, wire);
    EXPECT_EQ(server && Written(), success);
    dialog.reset();
  }
}

// Input during a run is dropped, never acted on after it. Two runs of one start go into
// one log, emptied at the start and left alone by a second wizard from the same folder.
TEST_F(Run, TwoRunsGoIntoOneLogAndTakeNoInput) {
  Write("stick/Program/Status.log", "an earlier start\r\n");
  StartPrinter();
  const QByteArray reference = Reference().first + kEndMarker;
  ToProgramPage();
  EXPECT_EQ(Log(), "");
  QString during;
  QTimer::singleShot(0, [&] {
    const bool busy = !uitest::BusyWindow().isEmpty(), closed = dialog->close();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    dialog->reject();  // what Escape and the close box do, even when it comes by another way
    dialog->m_btnBack.setEnabled(true);  // even an enabled Back is not pressed
    QTest::mouseClick(&dialog->m_btnBack, Qt::LeftButton);
    dialog->m_btnBack.setEnabled(false);
    Program();
    during = QStringLiteral("busy=%1 closed=%2 page=%3 ").arg(busy).arg(closed).arg(dialog->m_nCurPage) + Screen();
  });
  Program();
  EXPECT_TRUE(during.startsWith("busy=1 closed=0 page=2 ") && during.endsWith("back=0 exit=0 program=0"))
      << during.toStdString();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(Log(), reference);
  CMainDlg second(nullptr, [] { return zerviko::ports::PortList{}; });
  second.m_strAppDir = Local("stick/Program/").toStdString();
  second.OnInitDialog();  // its box once its window is up, that is, when events next run
  Program();
  EXPECT_EQ(BoxTexts(), QStringList({kLoaded, "\"" + Local("stick/Program/Status.log") +
                                                  "\" is held by another loader: this one keeps no status log.", kLoaded}));
  EXPECT_EQ(boxes[1].caption, "Tarno ZERVIKO Firmware Loader");
  dialog.reset();
  EXPECT_EQ(Log(), reference + reference);
}

// A log that cannot be written (a full disk) keeps whole lines only, is told once, after
// the run, naming the file and the reason, and the runs go on.
TEST_F(Run, ALogThatCannotBeWrittenIsToldOnceAndTheRunsGoOn) {
  StartPrinter();
  const QByteArray reference = Reference().first;
  ToProgramPage();
  const qsizetype limit = reference.size() / 2;
  {
    const FileSizeLimit full(static_cast<rlim_t>(limit));
    Program();
    Program();
  }
  EXPECT_EQ(BoxTexts(), QStringList({kLoaded, "The status log could not be written:\n\n" + Local("stick/Program/Status.log") +
                                                  "\nFile too large\n\nThe log is incomplete; later runs are not written "
                                                  "to it.", kLoaded}));
  EXPECT_EQ(boxes[1].caption, "Error");
  EXPECT_TRUE(Written());
  EXPECT_EQ(Log(), reference.left(reference.left(limit).lastIndexOf("\r\n") + 2));
}

// A technician may not write an installed program folder: the log goes to the user's
// state folder, made for the user alone where missing, and the main dialog says where;
// the program folder is left as it was.
TEST_F(Run, AReadOnlyProgramFolderKeepsTheLogInTheUsersStateFolder) {
  // As installed: others may go through the folders and read the program folder only.
  for (const auto& [folder, mode] : {std::pair{".", 0755}, {"stick/Program", 0555}, {"home", 0700}, {"xdg", 0700}}) {
    const QByteArray path = QFile::encodeName(Local(folder));
    ASSERT_TRUE(QDir().mkpath(Local(folder)) && chmod(path.constData(), mode) == 0 &&  // the last two the technician's
                (mode != 0700 || geteuid() != 0 || chown(path.constData(), 65534, 65534) == 0));
  }
  StartPrinter();
  const QByteArray reference = Reference().first + kEndMarker;
  const QString deep = Local("xdg/" + QStringLiteral("state-of-this-technician/").repeated(3));
  const struct {
    QByteArray stateHome;
    QString log, shown;  // shown empty: the folder cut in the middle
  } rows[] = {{{}, Local("home/.local/state/zerviko-loader/Status.log"), "~/.local/state/zerviko-loader/"},
              {deep.toUtf8(), deep + "zerviko-loader/Status.log", ""}};
  const RestoredVariable home{"HOME"}, state{"XDG_STATE_HOME"};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.log.toStdString());
    qputenv("HOME", QFile::encodeName(Local("home")));
    row.stateHome.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", row.stateHome);
    {
      const AsTechnician technician;
      Open().move(0, 0);
    }
    const QLabel* info = Find<QLabel>("info");
    const QStringList lines = info->text().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1], "Status.log is kept in");
    EXPECT_TRUE(row.shown.isEmpty() ? lines[2].startsWith('/') && lines[2].contains(QChar(0x2026)) : lines[2] == row.shown)
        << lines[2].toStdString();
    for (const QString& line : lines) EXPECT_LE(info->fontMetrics().horizontalAdvance(line), info->contentsRect().width());
    EXPECT_LT(info->geometry().right(), dialog->m_btnBack.geometry().left());
    EXPECT_EQ(info->toolTip(), row.log);
    Next();
    Next();
    Program();
    dialog.reset();
    QFile log(row.log);
    EXPECT_TRUE(log.open(QFile::ReadOnly) && log.readAll() == reference);
    struct stat made {};  // the technician's alone
    EXPECT_TRUE(stat(QFile::encodeName(QFileInfo(row.log).path()), &made) == 0 && (made.st_mode & 07777) == 0700);
  }
  EXPECT_EQ(BoxTexts(), QStringList(2, kLoaded));
  EXPECT_FALSE(QFileInfo::exists(Local("stick/Program/Status.log")));
}

// Told to quit in the middle of a run (the opt-in quit timer does it), the page serves its
// window until the run is over, then the wizard closes.
TEST_F(Run, AQuitDuringARunClosesTheWizardOnceTheRunIsOver) {
  TargetConfig slow;
  slow.writeTime = std::chrono::milliseconds(80);  // the run outlasts the quit by far
  StartPrinter(slow);
  const QByteArray reference = Reference(slow).first;
  ToProgramPage();
  bool quit = false;
  QString afterQuit;
  QObject::connect(Page().ProgressBar(), &QProgressBar::valueChanged, dialog.get(), [&] {
    if (std::exchange(quit, true)) return;
    QCoreApplication::exit(0);
    QTimer::singleShot(0, dialog.get(), [&] { afterQuit = Screen() + QStringLiteral(" written=%1").arg(Written()); });
  });
  Program();  // the queued call above ran while the engine was still writing
  EXPECT_TRUE(afterQuit.endsWith("program=0 written=0")) << afterQuit.toStdString();
  EXPECT_TRUE(Written());
  EXPECT_EQ(Log(), reference + kEndMarker);
  EXPECT_TRUE(boxes.empty());  // nobody is left to answer one
  EXPECT_FALSE(dialog->isVisible());
  // After exit() no event loop starts until the application's own has run: run it once.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

// The revision line shows one line, cut with an ellipsis, and the whole text (markup as
// written) as the tooltip; "100 %" fits. Without a log to write, runs go on all the same,
// and a program folder that can be written keeps the log nowhere else.
TEST_F(Run, TheRevisionLineAndARunWithoutALog) {
  ASSERT_TRUE(QDir().mkpath(Local("stick/Program/Status.log")));  // a folder in its place
  const RestoredVariable state{"XDG_STATE_HOME"};
  qputenv("XDG_STATE_HOME", QFile::encodeName(Local("state")));  // not used for it
  StartPrinter();
  for (const auto& [revision, shown] : {std::pair{QStringLiteral("Firmware 9.99\nReleased 1 May 2026\nBuild <b>42</b>"),
                                                  QStringLiteral("Firmware 9.99 \u2026")},
                                        {QString(200, 'W'), QString()}, {QStringLiteral("V1"), QStringLiteral("V1")}}) {
    Write(kFiles + "ZERVIKO_1.AVK", uitest::MakePackage(revision.toLatin1().replace("\n", "\r\n")));
    ToProgramPage();
    const QLabel* label = Page().RevisionLabel();
    EXPECT_EQ(shown.isEmpty() ? label->text().left(3) + label->text().right(1) : label->text(),
              shown.isEmpty() ? QStringLiteral("WWW\u2026") : shown);
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
    QTextDocument tooltip;
    tooltip.setHtml(label->toolTip());
    EXPECT_EQ(tooltip.toPlainText(), revision == "V1" ? "" : revision);
  }
  EXPECT_GE(Page().PercentLabel()->width(), Page().PercentLabel()->fontMetrics().horizontalAdvance("100 %"));
  Program();
  EXPECT_EQ(BoxTexts(), QStringList{kLoaded});
  EXPECT_TRUE(Written());
  EXPECT_FALSE(QFileInfo::exists(Local("state")));
}

}  // namespace
