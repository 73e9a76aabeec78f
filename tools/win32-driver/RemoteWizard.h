// Drives zerviko-loader.exe from another process, as Windows UI automation does: the
// wizard is found by its title, its controls by their ids, and everything a user would
// do is a window message. Texts are read with the Unicode messages; items of the tree
// and the drive list through memory lent in the wizard's process.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zerviko::remote {

using namespace std::chrono_literals;

// A setting given by the test's environment; empty when unset.
std::string Setting(const char* name);
// The Windows name of a path on the Linux side (Wine's Z: drive), and back.
std::string WindowsPath(const std::string& unixPath);
std::string UnixPath(const std::string& windowsPath);
std::string ReadWholeFile(const std::string& path);
// Runs a Linux shell command line from this Windows program (Wine starts Linux
// programs), without waiting: Wine cannot report on a Linux child.
bool RunOnLinux(const std::string& commandLine);
// Waits until done() holds; false when time ran out first.
template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds timeout = 20s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(20);
  }
  return true;
}

// The width of a text in the font of the wizard's pages, 11-point Arial.
int PageTextWidth(const std::wstring& text);
// Runs a command line in a console window of its own, as a user at the console would,
// and gives what the console's screen shows when it has ended: the rows as one text,
// each filled out with spaces, a longer line going on in the next row.
std::wstring RunInConsole(std::wstring commandLine, std::chrono::milliseconds timeout = 60s);

// A message box the wizard shows.
struct MessageBoxSeen {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;
};

// A virtual printer (the Linux zerviko-target) linked into the Wine prefix as a COM
// port, with its flash written to a file after each write, for as long as it lives.
class CVirtualPrinter {
 public:
  // com: "COM4"; options: more of zerviko-target's options ("--fault silent:0x50:3").
  CVirtualPrinter(const std::string& com, const std::string& options = "");
  ~CVirtualPrinter();
  CVirtualPrinter(const CVirtualPrinter&) = delete;
  CVirtualPrinter& operator=(const CVirtualPrinter&) = delete;
  bool Ready() const { return m_bReady; }
  // The flash as the printer wrote it after its last write (Windows path).
  std::string FlashFile() const { return WindowsPath(m_strFolder + "/flash.bin"); }

 private:
  std::string m_strFolder;  // Linux path of the printer's own folder
  std::string m_strLink;    // Linux path of the COM port's link in the prefix
  bool m_bReady = false;
};

class CRemoteWizard {
 public:
  CRemoteWizard() = default;
  ~CRemoteWizard();
  CRemoteWizard(const CRemoteWizard&) = delete;
  CRemoteWizard& operator=(const CRemoteWizard&) = delete;

  // Starts the program in folder, with NAME=VALUE settings added to its environment,
  // and waits for its main window with that title showing page 0. Returns the time
  // from the start to that moment; negative when it never came.
  std::chrono::milliseconds Start(const std::string& folder, const std::wstring& title,
                                  const std::vector<std::string>& environment = {});

  HWND Main() const { return m_hMain; }
  // The window of page n (0 model and port, 1 file chooser, 2 programming).
  HWND Page(int n) const;
  HWND Control(int page, int id) const { return GetDlgItem(Page(page), id); }
  // The page shown now; -1 when none or more than one.
  int ShownPage() const;

  static std::wstring Text(HWND window);
  // A button click as the button reports it to its dialog; posted, since a click may
  // open a modal box.
  void Click(HWND dialog, int id) const;
  void Next() const { Click(m_hMain, 1000); }
  void Back() const { Click(m_hMain, 1002); }

  // List boxes: the lines, the selected line's text, and a selection as the user makes
  // it (the list notifies its dialog).
  static std::vector<std::wstring> Lines(HWND list);
  static std::wstring SelectedLine(HWND list);
  void SelectLine(HWND list, const std::wstring& text) const;

  // The drive list (ComboBoxEx): the entries' texts, the selected one's, and choosing one.
  std::vector<std::wstring> Drives() const;
  std::wstring SelectedDrive() const;
  void SelectDrive(const std::wstring& text) const;
  // The folder tree: the selected item's path from the top item, "Z:\\/tmp/...".
  std::vector<std::wstring> SelectedFolderPath() const;
  // The texts of the selected folder's children.
  std::vector<std::wstring> SelectedFolderChildren() const;
  // The selected folder's picture (0 closed, 1 open), and a double click on it.
  int SelectedFolderPicture() const;
  void DoubleClickSelectedFolder() const;

  // The next message box of the wizard; closed with OK by Dismiss.
  bool WaitForMessageBox(MessageBoxSeen* box, std::chrono::milliseconds timeout = 20s) const;
  static void Dismiss(const MessageBoxSeen& box);
  // The busy window of a run ("Updating Firmware..." in English); null when none.
  HWND BusyWindow() const;
  // The cursor the wizard shows over window: the window is asked (WM_SETCURSOR) as a
  // mouse moving over it asks it, and the cursor it sets is read back.
  static HCURSOR CursorOver(HWND window);

  // A window as the screen shows it, and a picture of a program file (a bitmap
  // resource): rows from the top, 0xRRGGBB each.
  struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;
    bool operator==(const Pixels&) const = default;
  };
  static Pixels OnScreen(HWND window);
  static Pixels Picture(const std::string& program, const char* name);

  // Waits for the program to end; its exit status, or -1 when it did not end in time.
  int WaitForExit(std::chrono::milliseconds timeout = 20s);
  bool IsRunning() const;
  // Sends msg to window and waits for the answer (never longer than 10 s).
  static LRESULT Send(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  std::wstring TreeText(HTREEITEM item) const;
  std::vector<HWND> TopWindows() const;

  PROCESS_INFORMATION m_process{};
  HWND m_hMain = nullptr;
};

}  // namespace zerviko::remote
