#include "ui/qt/WizardPage.h"

#include <QFile>
#include <QKeyEvent>
#include <QPalette>
#include <QStringDecoder>
#include <stdexcept>

#include "files/ProgramFolder.h"
#include "ui/qt/StringTable.h"

QString ProgramFolder() {
  return QFile::decodeName(QByteArray::fromStdString(zerviko::ProgramFolder()));
}

QString ModelTitle(int bAbcLayout) {
  return TableString(bAbcLayout != 0 ? IDS_TITLE_ABC_LAYOUT : IDS_TITLE_KEYBOARD_LAYOUT);
}

QString ModelFileMask(int bAbcLayout) {
  return bAbcLayout != 0 ? QStringLiteral("ZERVIKO*.avk") : QStringLiteral("ZERVIKO*.qvk");
}

QFont PageTextFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(11);
  return font;
}

CWizardPage::CWizardPage(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setBrush(QPalette::Window, State().m_brushBack);
  setPalette(palette);
  setGeometry(0, 0, DluX(kPageWidthDu), DluY(kPageHeightDu));
}

WizardState& CWizardPage::State() const {
  auto* state = dynamic_cast<WizardState*>(parentWidget());
  if (state == nullptr) {
    throw std::logic_error("a wizard page must be hosted by a window that holds the wizard state");
  }
  return *state;
}

void CWizardPage::ColourAsStatic(QWidget* control) {
  QPalette palette = control->palette();
  palette.setColor(QPalette::WindowText, kPageTextColour);
  palette.setColor(QPalette::Text, kPageTextColour);
  palette.setColor(QPalette::Window, kWizardBackColour);
  palette.setColor(QPalette::Base, kWizardBackColour);
  control->setPalette(palette);
  control->setAutoFillBackground(true);
}

void CWizardPage::keyPressEvent(QKeyEvent* event) {
  // Enter on a page's control is the page's own OK command, which does nothing:
  // it must never end the page or stand in for Next.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

CChoiceList::CChoiceList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
}

QItemSelectionModel::SelectionFlags CChoiceList::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
  if (!index.isValid() || selectionModel()->isSelected(index)) {
    return QItemSelectionModel::NoUpdate;
  }
  return QListWidget::selectionCommand(index, event);
}

std::string LocalName(const QString& name) { return QFile::encodeName(name).toStdString(); }

QString DecodePackageText(const std::string& text) {
  const QByteArray bytes = QByteArray::fromStdString(text);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(bytes);
  if (utf8.hasError()) {
    QStringDecoder western("windows-1252");
    decoded = western.isValid() ? QString(western.decode(bytes)) : QString::fromLatin1(bytes);
  }
  decoded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return decoded;
}
