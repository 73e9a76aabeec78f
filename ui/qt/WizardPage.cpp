#include "ui/qt/WizardPage.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPalette>
#include <QStringDecoder>
#include <stdexcept>

#include "files/ProgramFolder.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/StringTable.h"
#include "wizard/Wizard.h"

QString ProgramFolder() { return FromLocal(zerviko::ProgramFolder()); }

QFont PageTextFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(11);
  return font;
}

CWizardPage::CWizardPage(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setBrush(QPalette::Window, kWizardBackColour);
  setPalette(palette);
  setGeometry(0, 0, DluX(zerviko::wizard::kPageWidthDu), DluY(zerviko::wizard::kPageHeightDu));
}

zerviko::wizard::CWizard& CWizardPage::Wizard() const {
  auto* wizard = dynamic_cast<zerviko::wizard::CWizard*>(parentWidget());
  if (wizard == nullptr) {
    throw std::logic_error("a wizard page must be hosted by the wizard's main window");
  }
  return *wizard;
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

void CWizardPage::ShowPageMessage(zerviko::wizard::StringId text, zerviko::wizard::StringId caption,
                                  zerviko::wizard::MessageIcon icon) {
  // Every busy cursor is lifted while the box is up, and put back afterwards.
  int lifted = 0;
  for (; QApplication::overrideCursor() != nullptr; ++lifted) QApplication::restoreOverrideCursor();
  ShowMessageBox(this, TableString(text), TableString(caption), icon);
  for (int i = 0; i < lifted; ++i) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CWizardPage::SetPageWaitCursor(bool bWait) {
  if (bWait) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (QApplication::overrideCursor() != nullptr) {
    QApplication::restoreOverrideCursor();
  }
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

int CChoiceList::ChosenRow() const {
  const QList<QListWidgetItem*> chosen = selectedItems();
  return chosen.isEmpty() ? -1 : row(chosen.first());
}

QItemSelectionModel::SelectionFlags CChoiceList::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
  if (!index.isValid() || selectionModel()->isSelected(index)) {
    return QItemSelectionModel::NoUpdate;
  }
  return QListWidget::selectionCommand(index, event);
}

std::string LocalName(const QString& name) { return QFile::encodeName(name).toStdString(); }

QString FromLocal(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }

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
