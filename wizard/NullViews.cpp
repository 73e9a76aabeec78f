#include "wizard/NullViews.h"

#include "wizard/FilePage.h"
#include "wizard/ProgramPage.h"

namespace zerviko::wizard {
namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  return text;
}

std::string Message(StringId text, StringId caption, MessageIcon icon) {
  return "message " + std::to_string(text) + " " + std::to_string(caption) +
         (icon == MessageIcon::Stop ? " stop" : " exclamation");
}

}  // namespace

void CNullWizardView::SetTitle(StringId title) { m_log.push_back("window title " + std::to_string(title)); }
void CNullWizardView::ShowPage(int n) { m_log.push_back("show page " + std::to_string(n)); }
void CNullWizardView::HidePage(int n) { m_log.push_back("hide page " + std::to_string(n)); }
void CNullWizardView::EnableBack(bool bEnable) { m_bBack = bEnable; }
void CNullWizardView::EnableNext(bool bEnable) { m_bNext = bEnable; }
void CNullWizardView::EnableWizardControls(bool bEnable) {
  m_bControls = bEnable;
  m_log.push_back(bEnable ? "wizard controls on" : "wizard controls off");
}
void CNullWizardView::EndWizard() {
  m_bEnded = true;
  m_log.push_back("end");
}

void CNullPortPageView::ShowMessage(StringId text, StringId caption, MessageIcon icon) {
  if (m_onMessage) m_onMessage(text);
  Add(Message(text, caption, icon));
}
void CNullPortPageView::SetWaitCursor(bool bWait) { m_nWaitCursor += bWait ? 1 : -1; }
void CNullPortPageView::SetPrompts(StringId model, StringId port) {
  Add("prompts " + std::to_string(model) + " " + std::to_string(port));
}
void CNullPortPageView::SetPortList(const std::vector<std::string>& displayTexts, int selected) {
  m_ports = displayTexts;
  m_nSelected = selected;
  Add("ports " + Join(displayTexts) + " selected " + std::to_string(selected));
}
void CNullPortPageView::SetModelRadio(int radio) { m_nModel = radio; }

void CNullFilePageView::ShowMessage(StringId text, StringId caption, MessageIcon icon) {
  if (m_onMessage) m_onMessage(text);
  Add(Message(text, caption, icon));
}
void CNullFilePageView::SetWaitCursor(bool bWait) { m_nWaitCursor += bWait ? 1 : -1; }
void CNullFilePageView::SetTitle(StringId title) { Add("title " + std::to_string(title)); }
void CNullFilePageView::SetPrompt(StringId prompt) { Add("prompt " + std::to_string(prompt)); }
void CNullFilePageView::SetDrives(const std::vector<DriveEntry>& drives) {
  std::vector<std::string> texts;
  for (const DriveEntry& drive : drives) texts.push_back(drive.text + ":" + std::to_string(drive.kind));
  Add("drives " + Join(texts));
}
void CNullFilePageView::SelectDrive(int index) { Add("select drive " + std::to_string(index)); }
void CNullFilePageView::ClearTree() { Add("clear tree"); }
void CNullFilePageView::AddFolder(const CFolderItem& item) {
  Add("add " + CFilePage::GetItemPath(item));
}
void CNullFilePageView::UpdateFolderPicture(const CFolderItem& item) {
  Add("picture " + item.Text() + " " + std::to_string(item.Picture()));
}
void CNullFilePageView::ExpandFolder(const CFolderItem& item, bool bExpand) {
  Add((bExpand ? "expand " : "collapse ") + item.Text());
}
void CNullFilePageView::SelectFolder(const CFolderItem& item) { Add("select folder " + CFilePage::GetItemPath(item)); }
void CNullFilePageView::SetFiles(const std::vector<std::string>& names, int selected) {
  Add("files " + Join(names) + " selected " + std::to_string(selected));
}
void CNullFilePageView::SetStatusText(const std::string& text) {
  m_strStatus = text;
  Add("status " + text);
}

void CNullProgramPageView::ShowMessage(StringId text, StringId caption, MessageIcon icon) {
  if (m_onMessage) m_onMessage(text);
  Add(Message(text, caption, icon) + (m_bBusyWindow ? " busy" : ""));
}
void CNullProgramPageView::SetWaitCursor(bool bWait) { m_nWaitCursor += bWait ? 1 : -1; }
void CNullProgramPageView::SetTitle(StringId title) { Add("title " + std::to_string(title)); }
void CNullProgramPageView::SetPackageTexts(const std::string& revision, const std::string& deviceSetup) {
  Add("texts " + revision + " / " + deviceSetup);
}
void CNullProgramPageView::EnableProgram(bool bEnable) { m_bProgram = bEnable; }
void CNullProgramPageView::SetProgress(int position, const std::string& label) {
  m_nProgress = position;
  m_strLabel = label;
}
void CNullProgramPageView::BlockInput(bool bBlock) { m_bInputBlocked = bBlock; }
void CNullProgramPageView::ShowBusyWindow(bool bShow) {
  m_bBusyWindow = bShow;
  Add(bShow ? "busy window up" : "busy window down");
}
void CNullProgramPageView::ReportLogInUse(const std::string& path) { Add("log in use " + path); }

void CNullProgramPageView::ReportLogWriteFailure(const std::string& path, const std::string& reason) {
  Add("log failed " + path + ": " + reason);
}

void CNullProgramPageView::StartRun(CProgramRun& run) {
  // In place: every message reaches the page before the run's end, as the contract asks.
  struct Forward : IRunSink {
    CProgramPage* page;
    void OnEngineMessage(int percent, int level, const std::string& text) override {
      if (page != nullptr) page->OnProgress(percent, level, text);
    }
  } sink;
  sink.page = m_pPage;
  Add("run on " + run.Options().portName);
  const bool ok = m_pPort != nullptr ? run.Execute(sink, *m_pPort) : run.Execute(sink);
  if (m_pPage != nullptr) m_pPage->OnRunFinished(ok);
}

}  // namespace zerviko::wizard
