// The values the three pages hand to one another, and what follows from the model.
//
// The wizard (Wizard.h) owns one WizardState; the pages' cores read and write it, and
// a view reads it (never keeps a copy). Texts are the file system's own 8-bit names:
// UTF-8 on Linux, the ANSI code page on Windows.
#pragma once

#include <string>

#include "wizard/StringIds.h"

namespace zerviko::wizard {

// Language index: start-up sets it from the language pack's name; every package read
// gets it (it picks the package's language section).
enum : int {
  LANGUAGE_ENGLISH = 0,
  LANGUAGE_FRENCH = 1,
  LANGUAGE_GERMAN = 2,
  LANGUAGE_PORTUGUESE = 3,
  LANGUAGE_SPANISH = 4,
};

struct WizardState {
  int m_bAbcLayout = 1;          // 1: ABC layout model, 0: Keyboard layout model
  std::string m_strPort;         // the chosen port (a device path, or COM3 on Windows)
  std::string m_strPackagePath;  // the package accepted on the file page
  std::string m_strAppDir;       // the program's folder, ending in the system's separator
  int m_nLanguage = LANGUAGE_ENGLISH;
};

// Title of the file and programming pages for the model flag: 139 or 141.
constexpr StringId ModelTitle(int bAbcLayout) {
  return bAbcLayout != 0 ? IDS_TITLE_ABC_LAYOUT : IDS_TITLE_KEYBOARD_LAYOUT;
}

// The package files the file page lists for the model flag.
constexpr const char* ModelFileMask(int bAbcLayout) {
  return bAbcLayout != 0 ? "ZERVIKO*.avk" : "ZERVIKO*.qvk";
}

// Colours of the wizard, as 0xRRGGBB: the grey of the main window and the pages, and
// the navy of the pages' static texts (drawn on the grey). The busy window keeps the
// system's colours.
inline constexpr unsigned kWizardBackColour = 0xCDCDCD;  // RGB(205,205,205)
inline constexpr unsigned kPageTextColour = 0x000080;    // RGB(0,0,128)

// Geometry of the dialogs, in dialog units of an 8-point dialog font: the main window
// is 429 x 281, each page 429 x 251 at its top-left corner.
inline constexpr int kMainWidthDu = 429;
inline constexpr int kMainHeightDu = 281;
inline constexpr int kPageWidthDu = 429;
inline constexpr int kPageHeightDu = 251;

}  // namespace zerviko::wizard
