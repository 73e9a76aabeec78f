#include "ui/PageProgram.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QFrame>
#include <QHideEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QShowEvent>
#include <QTextDocument>
#include <QStringDecoder>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <thread>

#include "package/FirmwarePackage.h"
#include "ui/BitmapButton.h"
#include "ui/MessageBox.h"
#include "ui/MessageDialog.h"
#include "ui/StringTable.h"

namespace {

// While a run goes on the wizard takes no input at all, yet it keeps painting. Input
// is dropped, not deferred, so that nothing clicked during the run acts after it.
class CInputBlocker : public QObject {
 public:
  CInputBlocker() { qApp->installEventFilter(this); }
  ~CInputBlocker() override { Release(); }
  CInputBlocker(const CInputBlocker&) = delete;
  CInputBlocker& operator=(const CInputBlocker&) = delete;

  // Lets input through again (before a message box the user must answer).
  void Release() {
    if (m_bActive) {
      qApp->removeEventFilter(this);
      m_bActive = false;
    }
  }

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TouchCancel:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::TabletMove:
      case QEvent::NativeGesture:
        return true;
      default:
        return false;
    }
  }

 private:
  bool m_bActive = true;
};

// The wait cursor for as long as it lives; Release gives the normal pointer back
// early, for a message box.
class CWaitCursor {
 public:
  CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~CWaitCursor() { Release(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
  void Release() {
    if (m_bActive) {
      QApplication::restoreOverrideCursor();
      m_bActive = false;
    }
  }

 private:
  bool m_bActive = true;
};

}  // namespace

CPageProgram::CPageProgram(QWidget* parent)
    : CWizardPage(parent), m_pTextFont(std::make_unique<QFont>(PageTextFont())) {
  m_pTitle = new QLabel(tr("Programming the Zerviko"), this);
  m_pTitle->setObjectName(QStringLiteral("title"));
  m_pTitle->setGeometry(DluRect(37, 6, 355, 13));
  m_pTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  m_pRevisionFrame = new QFrame(this);
  m_pRevisionFrame->setGeometry(DluRect(7, 21, 415, 20));
  m_pRevisionFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);  // etched

  m_pRevision = new QLabel(tr("Static"), this);
  m_pRevision->setObjectName(QStringLiteral("revision"));
  m_pRevision->setGeometry(DluRect(25, 26, 378, 14));
  m_pRevision->setTextFormat(Qt::PlainText);

  m_pDeviceSetup = new QPlainTextEdit(this);
  m_pDeviceSetup->setObjectName(QStringLiteral("deviceSetup"));
  m_pDeviceSetup->setGeometry(DluRect(7, 52, 415, 163));
  m_pDeviceSetup->setReadOnly(true);
  m_pDeviceSetup->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  m_pDeviceSetup->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  m_btnProgram = new CBitmapButton(this);
  m_btnProgram->setObjectName(QStringLiteral("program"));
  m_btnProgram->setText(tr("Program"));
  m_btnProgram->setGeometry(DluRect(19, 223, 77, 14));
  m_btnProgram->setAutoDefault(false);  // Enter on a page presses nothing
  connect(m_btnProgram, &QPushButton::clicked, this, [this] { OnProgram(); });

  m_pPercent = new QLabel(QStringLiteral("0 %"), this);
  m_pPercent->setObjectName(QStringLiteral("percent"));
  m_pPercent->setGeometry(DluRect(361, 225, 22, 11));
  m_pPercent->setWordWrap(false);

  for (QWidget* control : std::initializer_list<QWidget*>{m_pTitle, m_pRevision, m_pDeviceSetup,
                                                          m_pPercent}) {
    ColourAsStatic(control);
  }
}

CPageProgram::~CPageProgram() {
  m_logFile.Flush();
  m_logFile.Close();
  zerviko::ClearPackage();
}

bool CPageProgram::OnInitDialog() {
  const QString& appDir = State().m_strAppDir;
  m_strMainKernelPath = appDir + QStringLiteral("Genm2329.cde");
  m_strWriteModulePath = appDir + QStringLiteral("Genw2329.cde");
  m_strEraseModulePath = appDir + QStringLiteral("Gene2329.cde");

  for (QWidget* control : std::initializer_list<QWidget*>{m_pTitle, m_pRevision, m_pDeviceSetup,
                                                          m_pPercent}) {
    control->setFont(*m_pTextFont);
  }
  // "100 %" in this font is wider than the label's 22 dialog units: the label grows
  // to the right, into the free margin, so that the figure is never cut.
  const int percentWidth =
      QFontMetrics(*m_pTextFont).horizontalAdvance(QStringLiteral("100 %")) + 2;
  if (m_pPercent->width() < percentWidth) {
    m_pPercent->resize(percentWidth, m_pPercent->height());
  }

  // The log holds the runs of this start of the program only. Without it the runs
  // go on all the same, and nobody is told, unless the log is another loader's: two
  // printers on one bench, two wizards started from one folder. The first keeps its
  // log whole, and the second says why it has none.
  if (m_logFile.Open(appDir) == CStatusLog::OpenResult::LOG_IN_USE) {
    std::fprintf(stderr,
                 "zerviko-loader: \"%s\" is held by another loader; this one keeps no status "
                 "log\n",
                 QFile::encodeName(m_logFile.Path()).constData());
  }

  m_options = zerviko::ProgrammingOptions{};
  m_options.residentKernel = 1;
  m_options.portName.clear();
  m_options.syncBaudRate = 9600;
  m_options.baudRate = 115200;
  m_options.clockHz = 22118400;
  m_options.startAddress = 0;
  m_options.eraseBlocks = nullptr;
  m_options.eraseBlockCount = 0;
  m_options.deviceName = std::string("2329");
  m_options.mainKernelPath = LocalName(m_strMainKernelPath);
  m_options.writeModulePath = LocalName(m_strWriteModulePath);
  m_options.eraseModulePath = LocalName(m_strEraseModulePath);

  m_btnProgram->LoadBitmaps(QStringLiteral("PROGRAM"));

  m_progress = new QProgressBar(this);
  m_progress->setObjectName(QStringLiteral("progress"));
  m_progress->setGeometry(DluRect(100, 223, 258, 14));
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);  // the label beside it carries the figure
  m_progress->show();
  return true;
}

void CPageProgram::showEvent(QShowEvent* event) {
  CWizardPage::showEvent(event);
  // A spontaneous show is the window coming back from the task bar, not the wizard
  // arriving at this page.
  if (!event->spontaneous()) OnShowWindow(true, 0);
}

void CPageProgram::hideEvent(QHideEvent* event) {
  CWizardPage::hideEvent(event);
  if (!event->spontaneous()) OnShowWindow(false, 0);
}

void CPageProgram::OnShowWindow(bool bShow, int /*nStatus*/) {
  if (!bShow || m_bRunning) return;
  CWaitCursor wait;
  // The texts of the package the file page checked last.
  ShowRevision(DecodePackageText(zerviko::GetPackageRevisionText()));
  m_pDeviceSetup->setPlainText(DecodePackageText(zerviko::GetPackageDeviceSetupText()));
  m_pTitle->setText(ModelTitle(State().m_bAbcLayout));
  // Taken on every show, so a port chosen anew after a run is used by the next one.
  m_options.portName = LocalName(State().m_strPort);
}

void CPageProgram::ShowRevision(const QString& text) {
  // The revision line has room for one line of text inside its frame. A longer
  // revision shows its first line, cut with an ellipsis where something is left out,
  // and the whole text as the line's tooltip, rather than lines spilling over the frame.
  const QString firstLine = text.section(QLatin1Char('\n'), 0, 0).trimmed();
  const bool bMoreLines = !text.section(QLatin1Char('\n'), 1).trimmed().isEmpty();
  const QFontMetrics metrics(m_pRevision->font());
  const int room = m_pRevision->contentsRect().width();
  QString shown = bMoreLines ? firstLine + QStringLiteral(" \u2026") : firstLine;
  if (metrics.horizontalAdvance(shown) > room) {
    shown = metrics.elidedText(firstLine, Qt::ElideRight, room);
  }
  m_pRevision->setText(shown);
  // Escaped: the package's text is shown as it is written, never as markup.
  m_pRevision->setToolTip(shown == text ? QString() : Qt::convertFromPlainText(text));
}

void CPageProgram::EnableRunControls(bool bEnable) {
  State().EnableWizardControls(bEnable);
  m_btnProgram->setEnabled(bEnable);
}

void CPageProgram::OnProgram() {
  if (m_bRunning) return;
  m_bRunning = true;
  EnableRunControls(false);
  CInputBlocker blocker;

  // The warning goes up and is drawn before anything is sent to the printer.
  auto busy = std::make_unique<CMessageDialog>(this);
  busy->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

  CWaitCursor wait;
  bool bSuccess = false;
  const int result = zerviko::ReadFirmwarePackage(LocalName(State().m_strPackagePath), false,
                                                  State().m_nLanguage);
  if (result != zerviko::PACKAGE_OK) {
    // Nothing reached the printer, and nothing goes into the log.
    blocker.Release();
    wait.Release();
    ShowMessageBox(this,
                   TableString(result == zerviko::PACKAGE_FILE_UNAVAILABLE ? IDS_FILE_UNAVAILABLE
                                                                           : IDS_FILE_UNUSABLE),
                   TableString(IDS_CAPTION_ERROR), MessageIcon::Exclamation);
  } else {
    std::uint32_t length = 0;
    zerviko::GetPackageImage(nullptr, &length);
    std::vector<std::uint8_t> image;
    bool bImageReady = length <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    if (bImageReady) {
      try {
        image.resize(length);
        zerviko::GetPackageImage(image.data(), &length);
      } catch (const std::bad_alloc&) {
        bImageReady = false;
      }
    }
    if (!bImageReady) {
      // An image this program cannot hold is an image it cannot use.
      blocker.Release();
      wait.Release();
      ShowMessageBox(this, TableString(IDS_FILE_UNUSABLE), TableString(IDS_CAPTION_ERROR),
                     MessageIcon::Exclamation);
    } else {
      bSuccess = RunEngine(image);
      if (!bSuccess && !m_bQuitPending) {
        // Shown while the warning is still up and the bar shows where the run stopped.
        blocker.Release();
        wait.Release();
        ShowMessageBox(this, TableString(IDS_TRANSFER_ERROR), TableString(IDS_CAPTION_ERROR),
                       MessageIcon::Exclamation);
      }
      std::vector<std::uint8_t>().swap(image);
      if (m_logFile.IsOpen()) {
        m_logFile.WriteEndMarker();
        // On the disk at the end of every run, so the log can be read (or the
        // machine switched off) without leaving the program first.
        m_logFile.Flush();
      }
    }
  }

  EnableRunControls(true);
  m_progress->setValue(0);
  m_pPercent->setText(QStringLiteral("0 %"));
  wait.Release();
  busy.reset();
  blocker.Release();
  m_bRunning = false;

  if (m_bQuitPending) {
    m_bQuitPending = false;
    window()->close();
    return;
  }
  if (bSuccess) {
    ShowMessageBox(this, TableString(IDS_FIRMWARE_LOADED), TableString(IDS_CAPTION_SUCCESS),
                   MessageIcon::Exclamation);
  }
}

bool CPageProgram::RunEngine(const std::vector<std::uint8_t>& image) {
  // The engine blocks for minutes, so it runs on a thread of its own while this one
  // waits in a local event loop that keeps the windows painted and answering the
  // desktop; the blocker keeps the user's input out.
  QEventLoop loop;
  m_pRunLoop = &loop;
  m_bRunDone = false;
  m_bRunResult = false;
  const zerviko::ProgrammingOptions options = m_options;
  std::thread worker([this, options, &image] {
    const bool ok = zerviko::ProgramTarget(options, image.data(),
                                           static_cast<std::int32_t>(image.size()),
                                           &CPageProgram::OnProgress, this);
    // Queued behind the run's last message, so every message is in first.
    QMetaObject::invokeMethod(
        this,
        [this, ok] {
          m_bRunResult = ok;
          m_bRunDone = true;
          if (m_pRunLoop != nullptr) m_pRunLoop->quit();
        },
        Qt::QueuedConnection);
  });
  loop.exec();
  // Only the end of the run ends the wait. The loop ends early when the application
  // is told to quit, and from then on no event loop of this thread starts at all; a
  // run cannot be cut short, so the wait goes on here, the windows still served and
  // every message still logged in order, and the quit is kept for after the run.
  while (!m_bRunDone) {
    m_bQuitPending = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  worker.join();
  m_pRunLoop = nullptr;
  return m_bRunResult;
}

int CPageProgram::OnProgress(void* context, int percent, int level, int /*blockMessage*/,
                             const char* text, std::uint8_t* /*abortFlag*/) {
  auto* page = static_cast<CPageProgram*>(context);
  if (page == nullptr) return 0;
  QByteArray message(text != nullptr ? text : "");
  QMetaObject::invokeMethod(
      page, [page, percent, level, message] { page->ShowProgress(percent, level, message); },
      Qt::QueuedConnection);
  return 0;
}

void CPageProgram::ShowProgress(int percent, int level, const QByteArray& text) {
  if (m_logFile.IsOpen()) {
    m_logFile.WriteMessage(level, std::string_view(text.constData(), std::strlen(text.constData())));
  }
  m_progress->setValue(std::clamp(percent, 0, 100));
  m_pPercent->setText(QString::asprintf("%d %%", percent));
}
