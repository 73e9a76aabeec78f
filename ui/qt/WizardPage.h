// The wizard state the main dialog owns, and the behaviour all three pages share.
#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QListWidget>
#include <QRect>
#include <QString>
#include <QWidget>
#include <string>

// The folder of the running executable, ending in the system's separator; empty when
// it cannot be found.
QString ProgramFolder();

// Values the pages hand to one another. The main dialog owns them (it derives from
// this class); a page reaches them through its parent window and keeps no copy.
class WizardState {
 public:
  virtual ~WizardState() = default;

  int m_bAbcLayout = 1;      // 1: ABC layout model, 0: Keyboard layout model
  QString m_strPort;         // the chosen port's device path
  QString m_strPackagePath;  // the package accepted on the file page
  QString m_strAppDir = ProgramFolder();  // the program's folder, ending in a separator
  QBrush m_brushBack{QColor(205, 205, 205)};
  int m_nLanguage = 0;       // language index handed to every package read

  // Enables or disables what must not be used while firmware is being written: the
  // Back and Exit buttons and the window's close command. The programming page calls
  // it around a run; a window without them has nothing to do.
  virtual void EnableWizardControls(bool /*bEnable*/) {}
};

// Grey of the wizard's background, navy of the pages' static texts.
inline const QColor kWizardBackColour{205, 205, 205};
inline const QColor kPageTextColour{0, 0, 128};

// The dialogs were laid out in dialog units of an 8-point dialog font; these turn
// them into pixels (rounded to the nearest pixel).
constexpr int DluX(int du) { return (du * 6 + 2) / 4; }
constexpr int DluY(int du) { return (du * 13 + 4) / 8; }
constexpr QRect DluRect(int x, int y, int width, int height) {
  return QRect(DluX(x), DluY(y), DluX(width), DluY(height));
}

// Every page is 429 x 251 dialog units and sits at the main dialog's top-left corner.
inline constexpr int kPageWidthDu = 429;
inline constexpr int kPageHeightDu = 251;

// Title of the file and programming pages for the model flag (string 139 or 141).
QString ModelTitle(int bAbcLayout);
// The package files the file page lists for the model flag.
QString ModelFileMask(int bAbcLayout);

// The 11-point Arial the pages use for their titles and texts.
QFont PageTextFont();

// Paths and port names reach the engine and the package reader in the file system's
// own 8-bit encoding.
std::string LocalName(const QString& name);

// A package's text for display: UTF-8 when it is valid UTF-8, otherwise the Western
// code page the maker's tools wrote it in; CR LF line ends become LF.
QString DecodePackageText(const std::string& text);

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

// A list box in which one entry is chosen, as the port list and the file list are.
// The choice moves only to another entry: a click below the entries or a Ctrl+click
// on the chosen one leaves it where it is, so that Next never finds a list, with its
// entries in plain view, suddenly without a choice.
class CChoiceList : public QListWidget {
  Q_OBJECT
 public:
  explicit CChoiceList(QWidget* parent);

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
};
