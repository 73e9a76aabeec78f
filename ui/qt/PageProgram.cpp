#include "ui/qt/PageProgram.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextDocument>
#include <QTimer>
#include <thread>

#include "ui/qt/BitmapButton.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/MessageDialog.h"
#include "ui/qt/StringTable.h"
#include "wizard/Wizard.h"

// While a run goes on the wizard takes no input at all, yet it keeps painting. Input
// is dropped, not deferred, so that nothing clicked during the run acts after it.
class CInputBlocker : public QObject {
 public:
  CInputBlocker() { qApp->installEventFilter(this); }
  ~CInputBlocker() override { qApp->removeEventFilter(this); }
  CInputBlocker(const CInputBlocker&) = delete;
  CInputBlocker& operator=(const CInputBlocker&) = delete;

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

};

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
  connect(m_btnProgram, &QPushButton::clicked, this, [this] { Core().OnProgram(); });

  m_pPercent = new QLabel(QStringLiteral("0 %"), this);
  m_pPercent->setObjectName(QStringLiteral("percent"));
  m_pPercent->setGeometry(DluRect(361, 225, 22, 11));
  m_pPercent->setWordWrap(false);

  for (QWidget* control : std::initializer_list<QWidget*>{m_pTitle, m_pRevision, m_pDeviceSetup,
                                                          m_pPercent}) {
    ColourAsStatic(control);
  }
}

CPageProgram::~CPageProgram() = default;

zerviko::wizard::CProgramPage& CPageProgram::Core() const { return Wizard().m_programPage; }

bool CPageProgram::OnInitDialog() {
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

void CPageProgram::ShowMessage(zerviko::wizard::StringId text, zerviko::wizard::StringId caption,
                               zerviko::wizard::MessageIcon icon) {
  // The box takes the user's answer even while a run keeps all other input out.
  const bool bBlocked = m_pInputBlocker != nullptr;
  m_pInputBlocker.reset();
  ShowPageMessage(text, caption, icon);
  if (bBlocked) m_pInputBlocker = std::make_unique<CInputBlocker>();
}

void CPageProgram::SetTitle(zerviko::wizard::StringId title) { m_pTitle->setText(TableString(title)); }

void CPageProgram::SetPackageTexts(const std::string& revision, const std::string& deviceSetup) {
  ShowRevision(DecodePackageText(revision));
  m_pDeviceSetup->setPlainText(DecodePackageText(deviceSetup));
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

void CPageProgram::EnableProgram(bool bEnable) { m_btnProgram->setEnabled(bEnable); }

void CPageProgram::SetProgress(int position, const std::string& label) {
  if (m_progress != nullptr) m_progress->setValue(position);
  m_pPercent->setText(QString::fromStdString(label));
}

void CPageProgram::BlockInput(bool bBlock) {
  if (bBlock && !m_pInputBlocker) {
    m_pInputBlocker = std::make_unique<CInputBlocker>();
  } else if (!bBlock) {
    m_pInputBlocker.reset();
  }
}

void CPageProgram::ShowBusyWindow(bool bShow) {
  if (!bShow) {
    m_pBusyWindow.reset();
    return;
  }
  // The warning goes up and is drawn before anything is sent to the printer.
  m_pBusyWindow = std::make_unique<CMessageDialog>(this);
  m_pBusyWindow->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CPageProgram::ReportLogInUse(const std::string& path) {
  // Two wizards started from one folder: the first keeps the log whole, and this one
  // says why it has none, once its window is up.
  const QString text = TableString(IDS_LOG_IN_USE).arg(FromLocal(path));
  QTimer::singleShot(0, this, [this, text] { ShowMessageBox(this, text, TableString(IDS_APP_TITLE)); });
}

void CPageProgram::ReportLogWriteFailure(const std::string& path, const std::string& reason) {
  ShowMessageBox(this,
                 TableString(IDS_LOG_WRITE_FAILED).arg(FromLocal(path), QString::fromLocal8Bit(reason.c_str())),
                 TableString(IDS_CAPTION_ERROR));
}

namespace {

// The engine's messages, handed from its thread to the page's in the order they come.
class CQueuedSink : public zerviko::wizard::IRunSink {
 public:
  CQueuedSink(QObject* receiver, zerviko::wizard::CProgramPage& page) : m_pReceiver(receiver), m_page(page) {}
  void OnEngineMessage(int percent, int level, const std::string& text) override {
    QMetaObject::invokeMethod(
        m_pReceiver, [&page = m_page, percent, level, text] { page.OnProgress(percent, level, text); },
        Qt::QueuedConnection);
  }

 private:
  QObject* m_pReceiver;
  zerviko::wizard::CProgramPage& m_page;
};

}  // namespace

void CPageProgram::StartRun(zerviko::wizard::CProgramRun& run) {
  // The engine blocks for minutes, so it runs on a thread of its own while this one
  // waits in a local event loop that keeps the windows painted and answering the
  // desktop; the input blocker keeps the user's input out.
  QEventLoop loop;
  m_pRunLoop = &loop;
  m_bRunDone = false;
  m_bRunResult = false;
  CQueuedSink sink(this, Core());
  std::thread worker([this, &run, &sink] {
    const bool ok = run.Execute(sink);
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
  bool bQuitPending = false;
  while (!m_bRunDone) {
    bQuitPending = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  worker.join();
  m_pRunLoop = nullptr;
  Core().OnRunFinished(m_bRunResult, bQuitPending);
  if (bQuitPending) window()->close();
}
