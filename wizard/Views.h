// What the wizard's core asks of a front end: one small interface per page and one for
// the main window. The core holds every rule (what to show, when, and what a choice
// means); a view only puts it on the screen and hands the user's actions back to the
// core's On... operations. Every call goes both ways on the user-interface thread,
// except where ProgramPage.h says otherwise for a programming run.
//
// A view never calls back into the core from inside one of these calls: a selection
// the core makes (SelectDrive, SelectFolder, SetFiles...) raises no event.
// NullViews.h has views that only record, for tests and for a front end that needs
// only part of the wizard.
#pragma once

#include <string>
#include <vector>

#include "files/Volumes.h"
#include "wizard/StringIds.h"

namespace zerviko::wizard {

class CFolderItem;
class CProgramRun;

enum class MessageIcon {
  Exclamation,  // the warning icon
  Stop,         // the critical icon
};

// What every page's view can do.
class IPageView {
 public:
  virtual ~IPageView() = default;

  // A modal message box owned by the page: text and caption from the string table, an
  // OK button and the icon. Returns when the user has closed it. It gets the normal
  // pointer and the user's input even while a wait cursor or a run's input block is
  // on.
  virtual void ShowMessage(StringId text, StringId caption, MessageIcon icon) = 0;

  // The busy cursor on or off. Calls nest: each true is matched by one false.
  virtual void SetWaitCursor(bool bWait) = 0;
};

// The main window: the three pages one at a time, Back, Next and Exit.
class IWizardView {
 public:
  virtual ~IWizardView() = default;

  // Sets the window's title (string 138), once, while the wizard initialises.
  virtual void SetTitle(StringId title) = 0;
  // Makes page n visible (0 model and port, 1 file chooser, 2 programming). The page
  // shown before stays until HidePage: the new one is shown first.
  virtual void ShowPage(int n) = 0;
  virtual void HidePage(int n) = 0;
  virtual void EnableBack(bool bEnable) = 0;
  virtual void EnableNext(bool bEnable) = 0;
  // Around a programming run: Back, Exit and the window's close command (and Escape)
  // off, then on again. Next is left alone (it is off on the programming page).
  virtual void EnableWizardControls(bool bEnable) = 0;
  // Ends the wizard (Exit): the window closes and the program ends.
  virtual void EndWizard() = 0;
  // The status log is kept at path, not beside the program (the program folder cannot
  // be written): the window says where, so that a technician can find it. Linux only;
  // a view that never meets it need not implement it.
  virtual void ShowLogFolder(const std::string& /*path*/) {}
};

// The model and port page.
class IPortPageView : public IPageView {
 public:
  // The prompts, from the string table (a language pack may word them otherwise).
  virtual void SetPrompts(StringId model, StringId port) = 0;
  // Fills the port list with these texts, in this order, and selects entry `selected`
  // (-1: none), scrolled into view.
  virtual void SetPortList(const std::vector<std::string>& displayTexts, int selected) = 0;
  // The selected entry's index in the list as it was given; -1 when none.
  virtual int SelectedPort() const = 0;
  // The checked model button: 0 ABC layout, 1 Keyboard layout; and checking one.
  virtual int ModelRadio() const = 0;
  virtual void SetModelRadio(int radio) = 0;
};

// The file chooser page. Its folder tree mirrors the core's (FilePage.h): the core
// announces each item as it adds it, and the view hands the core's item back with
// each event.

struct DriveEntry {
  std::string text;        // the name the drive list shows: "C:", "/media/stick"
  std::string mountPoint;  // the drive's top folder: "C:\", "/media/stick"
  VolumeKind kind = VOLUME_FIXED;  // and with it the drive's picture
};

class IFilePageView : public IPageView {
 public:
  virtual void SetTitle(StringId title) = 0;
  virtual void SetPrompt(StringId prompt) = 0;

  // Replaces the drive list with these entries, none selected.
  virtual void SetDrives(const std::vector<DriveEntry>& drives) = 0;
  // Selects entry `index` of the drive list (-1: none).
  virtual void SelectDrive(int index) = 0;

  // Empties the folder tree.
  virtual void ClearTree() = 0;
  // Adds item as the last child of item.Parent(), or as the last top item when it has
  // none, with its text and picture.
  virtual void AddFolder(const CFolderItem& item) = 0;
  // The item's picture has changed (item.Picture()).
  virtual void UpdateFolderPicture(const CFolderItem& item) = 0;
  // Opens or closes item (opening shows its children). Like every change the core
  // makes, it raises no event: the core sets the picture itself. An item the user
  // opens or closes (a double click, a key) goes to CFilePage::OnItemexpandedFolder.
  virtual void ExpandFolder(const CFolderItem& item, bool bExpand) = 0;
  // Makes item the tree's selected item, its ancestors opened and it scrolled into view.
  virtual void SelectFolder(const CFolderItem& item) = 0;

  // Replaces the file list with these names, in this order, and selects line
  // `selected` (-1: none).
  virtual void SetFiles(const std::vector<std::string>& names, int selected) = 0;
  // The package's revision text (the package's own bytes; empty to clear it).
  virtual void SetStatusText(const std::string& text) = 0;
};

// The programming page, and the busy window a run puts up.
class IProgramPageView : public IPageView {
 public:
  virtual void SetTitle(StringId title) = 0;
  // The texts of the package checked last (the package's own bytes).
  virtual void SetPackageTexts(const std::string& revision, const std::string& deviceSetup) = 0;
  // The Program button on or off (the main window's controls go through
  // IWizardView::EnableWizardControls).
  virtual void EnableProgram(bool bEnable) = 0;
  // The bar's position (0 to 100) and the label beside it ("42 %").
  virtual void SetProgress(int position, const std::string& label) = 0;
  // All of the user's input to the wizard dropped (not deferred) while on: a run takes
  // no input, yet the windows keep painting. ShowMessage lifts it for its box.
  virtual void BlockInput(bool bBlock) = 0;
  // The busy window: shown, and painted at once, before anything is sent to the
  // printer; taken away after the run. The user cannot close it.
  virtual void ShowBusyWindow(bool bShow) = 0;
  // The status log at path is another loader's (two wizards started from one folder):
  // this one runs without a log; the view says so where a user can see it.
  virtual void ReportLogInUse(const std::string& path) = 0;
  // Writing the status log at path failed for reason (the system's words): the log is
  // incomplete and no more is written to it, while the runs go on. Told once, at the
  // end of the run it happened in, where a user can see it.
  virtual void ReportLogWriteFailure(const std::string& path, const std::string& reason) = 0;

  // Runs the engine for one programming run: see CProgramRun in ProgramPage.h.
  virtual void StartRun(CProgramRun& run) = 0;
};

}  // namespace zerviko::wizard
