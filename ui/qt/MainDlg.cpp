#include "ui/qt/MainDlg.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPalette>

#include "ui/qt/Pictures.h"
#include "ui/qt/StringTable.h"

namespace {

// The views are members built after the core, which only keeps them until it is asked to
// do something.
zerviko::wizard::WizardViews ViewsOf(CMainDlg& dialog) {
  return {dialog, dialog.m_pagePort, dialog.m_pageFile, dialog.m_pageProgram};
}

}  // namespace

#ifndef ZERVIKO_VERSION
#define ZERVIKO_VERSION "1.0.0"
#endif

CMainDlg::CMainDlg(QWidget* parent, PortListSource portListSource)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      CWizard(ViewsOf(*this), std::move(portListSource)),
      m_hIcon(LoadPicture(QString::fromLatin1(PICTURE_APP_ICON))),
      m_pagePort(this),
      m_pageFile(this),
      m_pageProgram(this),
      m_btnBack(this),
      m_btnNext(this),
      m_btnExit(this) {
  setFixedSize(DluX(zerviko::wizard::kMainWidthDu), DluY(zerviko::wizard::kMainHeightDu));

  // The pages stay hidden until ShowPage picks one.
  for (QWidget* page : std::initializer_list<QWidget*>{&m_pagePort, &m_pageFile, &m_pageProgram}) {
    page->hide();
  }

  const struct {
    CBitmapButton* button;
    const char* name;
    const char* text;
    int x;
  } buttons[] = {{&m_btnBack, "back", QT_TR_NOOP("Back"), 255},
                 {&m_btnNext, "next", QT_TR_NOOP("Next"), 314},
                 {&m_btnExit, "exit", QT_TR_NOOP("Exit"), 372}};
  for (const auto& b : buttons) {
    b.button->setObjectName(QLatin1String(b.name));
    b.button->setText(tr(b.text));
    b.button->setGeometry(DluRect(b.x, 260, 50, 14));
  }
  connect(&m_btnBack, &QPushButton::clicked, this, [this] { OnBack(); });
  connect(&m_btnNext, &QPushButton::clicked, this, [this] { OnNext(); });
  connect(&m_btnExit, &QPushButton::clicked, this, [this] { OnExit(); });

  m_pInfoText = new QLabel(this);
  m_pInfoText->setObjectName(QStringLiteral("info"));
  m_pInfoText->setGeometry(DluRect(108, 252, 109, 25));
  m_pInfoText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_pInfoText->setText(tr("ZERVIKO Firmware Loader\nVersion %1\nTarno Corp.")
                           .arg(QStringLiteral(ZERVIKO_VERSION)));
}

CMainDlg::~CMainDlg() = default;

bool CMainDlg::OnInitDialog() {
  if (m_bInitialised) return true;
  m_bInitialised = true;

  m_btnNext.setDefault(true);
  setWindowIcon(m_hIcon);

  // The grey of the dialog and of every page.
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setBrush(QPalette::Window, m_brushBack);
  setPalette(palette);

  m_btnBack.LoadBitmaps(QStringLiteral("BACK"));
  m_btnNext.LoadBitmaps(QStringLiteral("NEXT"));
  m_btnExit.LoadBitmaps(QStringLiteral("EXIT"));

  for (QWidget* page : std::initializer_list<QWidget*>{&m_pagePort, &m_pageFile, &m_pageProgram}) {
    page->move(0, 0);
  }
  m_pagePort.OnInitDialog();
  m_pageProgram.OnInitDialog();
  // Then the core: the title, the pages in page order (the port list is built and the
  // status log emptied here), where the log is kept when not beside the program, and
  // the first page.
  CWizard::OnInitDialog();
  return true;
}

void CMainDlg::ShowLogFolder(const std::string& path) {
  const QString logPath = FromLocal(path);
  // The technician has to find the log to send it: the folder in full where it fits
  // ("~" for the home), else cut in the middle, and the whole path as the tooltip. The
  // text takes the free grey up to the Back button.
  QString folder = QFileInfo(logPath).path();
  const QString home = QDir::homePath();
  if (home != QLatin1String("/") && folder.startsWith(home + QLatin1Char('/'))) {
    folder = QLatin1Char('~') + folder.mid(home.size());
  }
  folder += QLatin1Char('/');
  m_pInfoText->setGeometry(DluRect(108, 252, 142, 25));
  folder = m_pInfoText->fontMetrics().elidedText(folder, Qt::ElideMiddle,
                                                 m_pInfoText->contentsRect().width());
  m_pInfoText->setText(tr("ZERVIKO Firmware Loader %1\nStatus.log is kept in\n%2")
                           .arg(QStringLiteral(ZERVIKO_VERSION), folder));
  m_pInfoText->setToolTip(QDir::toNativeSeparators(logPath));
}

void CMainDlg::setVisible(bool visible) {
  if (visible && !m_bInitialised) OnInitDialog();
  QDialog::setVisible(visible);
}

QWidget* CMainDlg::Page(int n) {
  QWidget* pages[] = {&m_pagePort, &m_pageFile, &m_pageProgram};
  return n >= 0 && n < 3 ? pages[n] : nullptr;
}

void CMainDlg::SetTitle(zerviko::wizard::StringId title) { setWindowTitle(TableString(title)); }

void CMainDlg::ShowPage(int n) {
  if (QWidget* page = Page(n)) page->show();
}

void CMainDlg::HidePage(int n) {
  if (QWidget* page = Page(n)) page->hide();
}

void CMainDlg::EnableBack(bool bEnable) { m_btnBack.setEnabled(bEnable); }

void CMainDlg::EnableNext(bool bEnable) { m_btnNext.setEnabled(bEnable); }

void CMainDlg::EndWizard() { accept(); }

void CMainDlg::EnableWizardControls(bool bEnable) {
  m_btnBack.setEnabled(bEnable);
  m_btnExit.setEnabled(bEnable);
  m_bCloseEnabled = bEnable;
}

void CMainDlg::reject() {
  // Escape and the close box end the program, but never in the middle of a run.
  if (!m_bCloseEnabled) return;
  QDialog::reject();
}

void CMainDlg::closeEvent(QCloseEvent* event) {
  if (!m_bCloseEnabled) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

QRect CMainDlg::LogoRect() const {
  const QPixmap logo = LoadPicture(QString::fromLatin1(PICTURE_LOGO));
  if (logo.isNull()) return {};
  const QSize size = logo.deviceIndependentSize().toSize();
  // Bottom-left: 5 pixels from the left edge, 10 above the bottom edge.
  return QRect(QPoint(5, height() - size.height() - 10), size);
}

void CMainDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  const QPixmap logo = LoadPicture(QString::fromLatin1(PICTURE_LOGO));
  if (logo.isNull()) return;  // no logo, the rest of the window as usual
  QPainter painter(this);
  painter.drawPixmap(LogoRect().topLeft(), logo);
}
