// The wizard state the main dialog owns, and the behaviour all three pages share.
#pragma once

#include <QBrush>
#include <QColor>
#include <QString>
#include <QWidget>

// Values the pages hand to one another. The main dialog owns them (it derives from
// this class); a page reaches them through its parent window and keeps no copy.
class WizardState {
 public:
  virtual ~WizardState() = default;

  int m_bAbcLayout = 1;      // 1: ABC layout model, 0: Keyboard layout model
  QString m_strPort;         // the chosen port's device path
  QString m_strPackagePath;  // the package accepted on the file page
  QString m_strAppDir;       // the program's folder, ending in "/"
  QBrush m_brushBack{QColor(205, 205, 205)};
  int m_nLanguage = 0;       // language index handed to every package read
};

// Navy on grey for static texts and read-only edits, as on every page.
inline const QColor kPageTextColour{0, 0, 128};

// Base of the three pages: colouring, the wizard state of the parent window, and an
// Enter key that never ends a page or presses Next.
class CWizardPage : public QWidget {
  Q_OBJECT
 public:
  explicit CWizardPage(QWidget* parent);

 protected:
  // The state of the window that hosts this page (the main dialog, or a test host
  // that derives from WizardState).
  WizardState& State() const;

  // Gives a static text or read-only edit the pages' navy-on-grey colours.
  static void ColourAsStatic(QWidget* control);

  void keyPressEvent(QKeyEvent* event) override;
};
