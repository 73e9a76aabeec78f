#include "wizard/ProgramPage.h"

#include <cstdio>
#include <limits>
#include <new>
#include <utility>

#include "package/FirmwarePackage.h"

namespace zerviko::wizard {
namespace {

struct RunContext {
  IRunSink& sink;
  const CProgramRun& run;
};

// The engine's callback: the sink, on the run's thread.
int ForwardToSink(void* context, int percent, int level, int /*blockMessage*/, const char* text,
                  std::uint8_t* abortFlag) {
  const auto& run = *static_cast<RunContext*>(context);
  // A waiting call carries no message, so it must not reach the log.
  if (level != LEVEL_WAITING) run.sink.OnEngineMessage(percent, level, text != nullptr ? text : "");
  // The user has no way to stop a run; only the end of the session or of the program
  // does.
  if (run.run.IsAborted() && abortFlag != nullptr) *abortFlag = 1;
  return 0;
}

}  // namespace

bool CProgramRun::Execute(IRunSink& sink) const {
  RunContext context{sink, *this};
  return ProgramTarget(m_options, m_image.data(), static_cast<std::int32_t>(m_image.size()), &ForwardToSink,
                       &context);
}

bool CProgramRun::Execute(IRunSink& sink, SerialPort& port) const {
  RunContext context{sink, *this};
  return ProgramTarget(m_options, m_image.data(), static_cast<std::int32_t>(m_image.size()), &ForwardToSink,
                       &context, port);
}

CProgramPage::CProgramPage(WizardState& state, IProgramPageView& view, IWizardView& wizardView)
    : m_state(state), m_view(view), m_wizardView(wizardView) {}

CProgramPage::~CProgramPage() {
  m_logFile.Close();
  ClearPackage();
}

void CProgramPage::OnInitDialog() {
  const std::string& appDir = m_state.m_strAppDir;
  m_strMainKernelPath = appDir + "Genm2329.cde";
  m_strWriteModulePath = appDir + "Genw2329.cde";
  m_strEraseModulePath = appDir + "Gene2329.cde";

  // The log holds the runs of this start of the program only. Without it the runs go
  // on all the same, and nobody is told, unless the log is another loader's: two
  // printers on one bench, two wizards started from one folder. The first keeps its
  // log whole, and the second says why it has none.
  if (m_logFile.OpenProgramLog(appDir) == LogFileResult::LOG_IN_USE) m_view.ReportLogInUse(m_logFile.Path());

  m_options = ProgrammingOptions{};
  m_options.residentKernel = 1;
  m_options.portName.clear();
  m_options.syncBaudRate = 9600;
  m_options.baudRate = 115200;
  m_options.clockHz = 22118400;
  m_options.startAddress = 0;
  m_options.eraseBlocks = nullptr;
  m_options.eraseBlockCount = 0;
  m_options.deviceName = std::string("2329");
  m_options.mainKernelPath = m_strMainKernelPath;
  m_options.writeModulePath = m_strWriteModulePath;
  m_options.eraseModulePath = m_strEraseModulePath;

  m_view.SetProgress(0, "0 %");
}

void CProgramPage::OnShowWindow() {
  if (m_bRunning) return;
  m_view.SetWaitCursor(true);
  // The texts of the package the file page checked last.
  m_view.SetPackageTexts(GetPackageRevisionText(), GetPackageDeviceSetupText());
  m_view.SetTitle(ModelTitle(m_state.m_bAbcLayout));
  m_options.portName = m_state.m_strPort;
  m_view.SetWaitCursor(false);
}

void CProgramPage::EnableRunControls(bool bEnable) {
  m_wizardView.EnableWizardControls(bEnable);
  m_view.EnableProgram(bEnable);
}

void CProgramPage::OnProgram() {
  if (m_bRunning) return;
  m_bRunning = true;
  EnableRunControls(false);
  m_view.BlockInput(true);
  // The warning goes up and is drawn before anything is sent to the printer.
  m_view.ShowBusyWindow(true);
  m_view.SetWaitCursor(true);

  const int result = ReadFirmwarePackage(m_state.m_strPackagePath, false, m_state.m_nLanguage);
  if (result != PACKAGE_OK) {
    // Nothing reached the printer, and nothing goes into the log.
    m_view.ShowMessage(result == PACKAGE_FILE_UNAVAILABLE ? IDS_FILE_UNAVAILABLE : IDS_FILE_UNUSABLE,
                       IDS_CAPTION_ERROR, MessageIcon::Exclamation);
    EndRun(false, false);
    return;
  }

  std::uint32_t length = 0;
  GetPackageImage(nullptr, &length);
  std::vector<std::uint8_t> image;
  bool bImageReady = length <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
  if (bImageReady) {
    try {
      image.resize(length);
      GetPackageImage(image.data(), &length);
    } catch (const std::bad_alloc&) {
      bImageReady = false;
    }
  }
  if (!bImageReady) {
    // An image this program cannot hold is an image it cannot use.
    m_view.ShowMessage(IDS_FILE_UNUSABLE, IDS_CAPTION_ERROR, MessageIcon::Exclamation);
    EndRun(false, false);
    return;
  }

  m_pRun = std::make_unique<CProgramRun>(m_options, std::move(image));
  m_view.StartRun(*m_pRun);
}

void CProgramPage::OnProgress(int percent, int level, const std::string& text) {
  if (m_logFile.IsOpen()) m_logFile.WriteMessage(level, text);
  const int position = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  m_view.SetProgress(position, std::to_string(percent) + " %");
}

void CProgramPage::AbortRun() {
  if (m_pRun) m_pRun->Abort();
}

void CProgramPage::OnRunFinished(bool bSuccess, bool bQuitting) {
  if (!m_bRunning || !m_pRun) return;
  if (!bSuccess && !bQuitting) {
    // Shown while the warning is still up and the bar shows where the run stopped.
    m_view.ShowMessage(IDS_TRANSFER_ERROR, IDS_CAPTION_ERROR, MessageIcon::Exclamation);
  }
  m_pRun.reset();
  // Every line is on the disk as it is written, so the log can be read (or the machine
  // switched off) without leaving the program first.
  if (m_logFile.IsOpen()) m_logFile.WriteEndMarker();
  EndRun(bSuccess, bQuitting);
  // A log that stopped during the run (a full disk, a removed stick) is told once, when
  // the run is over: the printer's run matters more than its log, and the technician
  // must not believe the log is whole.
  const std::string failure = m_logFile.TakeFailure();
  if (!failure.empty() && !bQuitting) m_view.ReportLogWriteFailure(m_logFile.Path(), failure);
}

void CProgramPage::EndRun(bool bSuccess, bool bQuitting) {
  EnableRunControls(true);
  m_view.SetProgress(0, "0 %");
  m_view.SetWaitCursor(false);
  m_view.ShowBusyWindow(false);
  m_view.BlockInput(false);
  m_bRunning = false;
  // The success message comes after the warning has gone and the bar is back at 0.
  if (bSuccess && !bQuitting) {
    m_view.ShowMessage(IDS_FIRMWARE_LOADED, IDS_CAPTION_SUCCESS, MessageIcon::Exclamation);
  }
}

}  // namespace zerviko::wizard
