#include "ui/qt/MessageDialog.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include "ui/qt/WizardPage.h"

CMessageDialog::CMessageDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(tr("Updating Firmware..."));
  setFixedSize(DluX(168), DluY(53));
  setModal(false);

  m_pWarning = new QLabel(
      tr("Do not press any printer keys or disconnect power while the unit is being "
         "programmed as this will damage the printer!"),
      this);
  m_pWarning->setGeometry(DluRect(7, 7, 154, 39));
  m_pWarning->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  m_pWarning->setWordWrap(true);

  show();
  // Centred in the work area of the screen the owner is on, frame included (the frame
  // is known once the window is shown).
  QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void CMessageDialog::closeEvent(QCloseEvent* event) {
  // The window manager may still offer a close command; the warning stays until the
  // run is over.
  event->ignore();
}

void CMessageDialog::keyPressEvent(QKeyEvent* event) {
  // Escape and Enter do nothing here.
  event->accept();
}

void CMessageDialog::reject() {}
