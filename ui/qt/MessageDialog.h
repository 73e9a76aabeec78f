// The warning that stands on the screen while firmware is written to the printer.
// It exists exactly as long as the object: constructing it shows it, destroying it
// takes it away. It has no buttons and no close box, and the user cannot close it.
#pragma once

#include <QDialog>

class QLabel;

class CMessageDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CMessageDialog(QWidget* parent);


 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 public slots:
  void reject() override;

 private:
  QLabel* m_pWarning = nullptr;
};
