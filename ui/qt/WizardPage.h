// What the Qt wizard's windows share: the geometry of dialog units, the colours and
// font of the pages, the conversions between the core's 8-bit texts and Qt's, and the
// base of the three pages.
#pragma once

#include <QColor>
#include <QFont>
#include <QListWidget>
#include <QRect>
#include <QString>
#include <QWidget>
#include <string>

#include "wizard/Views.h"
#include "wizard/WizardState.h"

namespace zerviko::wizard {
class CWizard;
}

// The folder of the running executable, ending in the system's separator; empty when
// it cannot be found.
QString ProgramFolder();

// Grey of the wizard's background, navy of the pages' static texts.
inline const QColor kWizardBackColour{QRgb(zerviko::wizard::kWizardBackColour)};
inline const QColor kPageTextColour{QRgb(zerviko::wizard::kPageTextColour)};

// The dialogs were laid out in dialog units of an 8-point dialog font; these turn
// them into pixels (rounded to the nearest pixel).
constexpr int DluX(int du) { return (du * 6 + 2) / 4; }
constexpr int DluY(int du) { return (du * 13 + 4) / 8; }
constexpr QRect DluRect(int x, int y, int width, int height) {
  return QRect(DluX(x), DluY(y), DluX(width), DluY(height));
}

// The 11-point Arial the pages use for their titles and texts.
QFont PageTextFont();

// Paths and port names reach the core in the file system's own 8-bit encoding, and
// come back from it the same way.
std::string LocalName(const QString& name);
QString FromLocal(const std::string& name);

// A package's text for display: UTF-8 when it is valid UTF-8, otherwise the Western
// code page the maker's tools wrote it in; CR LF line ends become LF.
QString DecodePackageText(const std::string& text);

// Base of the three pages: colouring, the wizard they belong to, message boxes and
// the wait cursor, and an Enter key that never ends a page or presses Next.
class CWizardPage : public QWidget {
  Q_OBJECT
 public:
  explicit CWizardPage(QWidget* parent);

 protected:
  // The wizard of the window that hosts this page (the main dialog).
  zerviko::wizard::CWizard& Wizard() const;

  // Gives a static text or read-only edit the pages' navy-on-grey colours.
  static void ColourAsStatic(QWidget* control);

  // A message box owned by the page, with the normal pointer while it is up.
  void ShowPageMessage(zerviko::wizard::StringId text, zerviko::wizard::StringId caption,
                       zerviko::wizard::MessageIcon icon);
  static void SetPageWaitCursor(bool bWait);

  void keyPressEvent(QKeyEvent* event) override;
};

// A list box in which one entry is chosen, as the port list and the file list are.
// The choice moves only to another entry: a click below the entries or a Ctrl+click
// on the chosen one leaves it where it is, so that Next never finds a list, with its
// entries in plain view, suddenly without a choice.
class CChoiceList : public QListWidget {
  Q_OBJECT
 public:
  explicit CChoiceList(QWidget* parent);

  // The chosen entry's row; -1 when none.
  int ChosenRow() const;

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
};
