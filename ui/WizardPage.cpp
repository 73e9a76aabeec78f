#include "ui/WizardPage.h"

#include <QKeyEvent>
#include <QPalette>
#include <stdexcept>

CWizardPage::CWizardPage(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setBrush(QPalette::Window, State().m_brushBack);
  setPalette(palette);
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
  palette.setColor(QPalette::Window, QColor(205, 205, 205));
  palette.setColor(QPalette::Base, QColor(205, 205, 205));
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
