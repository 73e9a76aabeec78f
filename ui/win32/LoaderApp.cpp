// Start-up of the Windows wizard: the language library, the common controls, then the
// main dialog until it closes.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "files/ProgramFolder.h"
#include "files/UserFolders.h"
#include "ui/win32/MainDlg.h"
#include "ui/win32/Resources.h"
#include "ui/win32/resource.h"
#include "wizard/Language.h"

namespace zerviko::win32 {
namespace {

// True when library holds every dialog and string the wizard looks up: any other DLL
// (one of another program, an older pack) would leave the wizard without a page.
bool HoldsWizardResources(HMODULE library) {
  for (const int dialog : {IDD_PRINTER_PORT, IDD_MESSAGE, IDD_FILE_CHOOSER, IDD_PROGRAM, IDD_MAIN}) {
    if (FindResourceA(library, MAKEINTRESOURCEA(dialog), RT_DIALOG) == nullptr) return false;
  }
  for (const wizard::StringId id : wizard::kStringIds) {
    const wchar_t* text = nullptr;
    if (LoadStringW(library, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0) <= 0) return false;
  }
  return true;
}

// The language library in "Resources", loaded as data: its resources replace the
// program's own wholesale, and no code in a file dropped into that folder ever runs.
// The language index follows the file's name even when it cannot be used. A library
// that cannot be loaded or lacks the wizard's resources is passed over (the interface
// stays English), and passedOver names it.
int LoadLanguageResources(std::string* passedOver) {
  const std::string pack =
      wizard::FindLanguagePack(LanguagePackFolders(ProgramFolder()), ".dll");
  if (pack.empty()) return wizard::LANGUAGE_ENGLISH;
  HMODULE library = LoadLibraryExA(pack.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (library != nullptr && HoldsWizardResources(library)) {
    SetResourceModule(library);
  } else {
    if (library != nullptr) FreeLibrary(library);
    *passedOver = pack;
  }
  const std::size_t slash = pack.find_last_of("\\/");
  return wizard::LanguageFromPackName(slash == std::string::npos ? pack : pack.substr(slash + 1), ".dll");
}

bool IsUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && message != WM_MOUSEMOVE);
}

int Run() {
  // Probing an empty floppy or CD-ROM drive must not ask the user to insert a disk.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  std::string passedOver;
  const int language = LoadLanguageResources(&passedOver);

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES |
                                                     ICC_USEREX_CLASSES | ICC_PROGRESS_CLASS |
                                                     ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  CMainDlg dialog;
  dialog.Wizard().m_nLanguage = language;
  if (!dialog.Create()) return 1;
  if (!passedOver.empty()) {
    // In English: no language library is in use.
    const std::wstring text = L"\"" + Wide(passedOver) +
                              L"\" is not a language library of this program. It was passed over: "
                              L"the program runs in English.";
    MessageBoxW(dialog.Window(), text.c_str(), LoadText(wizard::IDS_APP_TITLE).c_str(), MB_OK | MB_ICONWARNING);
  }

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // During a run the user's clicks and keys are dropped, not kept for later.
    if (dialog.IsInputBlocked() && IsUserInput(message.message)) continue;
    HWND window = dialog.Window();
    if (window != nullptr && IsDialogMessageW(dialog.DialogFor(message.hwnd), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace
}  // namespace zerviko::win32

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  return zerviko::win32::Run();
}
