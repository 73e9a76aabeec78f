// The engine's entry, the two programming flows and the run's reporting.
#include "engine/ProgramTarget.h"

#include <cstdio>
#include <thread>

#include "engine/PlatformSerialPort.h"
#include "engine/ProgrammingRun.h"
#include "engine/SerialPort.h"

namespace zerviko {

namespace {

class SteadyRunClock final : public RunClock {
 public:
  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
  void Sleep(std::chrono::milliseconds duration) override {
    std::this_thread::sleep_for(duration);
  }
};

}  // namespace

RunClock& SystemRunClock() {
  static SteadyRunClock clock;
  return clock;
}

ProgrammingRun::ProgrammingRun(const ProgrammingOptions& options, const std::uint8_t* image,
                               std::int32_t imageSize, ProgressCallback callback, void* context,
                               SerialPort& port, RunClock& clock)
    : m_options(options),
      m_image(image),
      m_imageSize(imageSize),
      m_callback(callback),
      m_context(context),
      m_port(port),
      m_clock(clock) {}

bool ProgrammingRun::Run() {
  m_abort = 0;
  m_percent = 0;
  bool ok;
  // A negative size or a missing image would have the write loop read memory that
  // is not the image; such a call is refused before anything goes on the line.
  if (m_imageSize < 0 || (m_imageSize > 0 && m_image == nullptr)) {
    ok = Fail("Invalid image size %d", static_cast<int>(m_imageSize));
  } else if (m_options.residentKernel != 0) {
    ok = RunResidentKernelFlow();
  } else {
    ok = RunBootModeFlow();
  }
  m_port.Close();
  ReleaseTables();
  return ok;
}

void ProgrammingRun::ReleaseTables() {
  m_devices.clear();
  m_eraseBlockTable.clear();
  m_ownEraseList.clear();
  m_eraseList = nullptr;
  m_eraseListCount = 0;
  m_eraseListBuilt = false;
}

bool ProgrammingRun::OpenPort() {
  if (!m_port.Open(m_options.portName)) return Fail("Can't open %s", m_options.portName.c_str());
  if (!m_port.SetBufferSizes(100, 0)) return Fail("Can't allocate communications buffers");
  return true;
}

bool ProgrammingRun::ConfigureForSync(std::int32_t baudRate) {
  if (!m_port.Configure(LINE_SETTINGS) || !m_port.SetBaudRate(baudRate)) {
    return Fail("Syncronization baud rate not supported by host");
  }
  return true;
}

// Both flows, once a kernel answers: the working rate and clock, the kernel's device
// list, and the device when the options name one.
bool ProgrammingRun::NegotiateAndSelectDevice() {
  const ProgrammingOptions& o = m_options;
  Report(LEVEL_STAGE, "Setting baud rate");
  if (!SetClockAndBaudRate(o.baudRate, o.clockHz)) return false;

  Report(LEVEL_STAGE, "Reading supported device list");
  if (!ReadDeviceList()) return false;

  if (o.deviceName) {
    Report(LEVEL_STAGE, "Selecting device");
    if (!SelectDevice(*o.deviceName)) return false;
  }
  return true;
}

// The target is expected to run its kernel already and to answer at the
// synchronisation rate: no modem line is driven and no input is discarded, so the
// first bytes on the line are the clock and baud frame.
bool ProgrammingRun::RunResidentKernelFlow() {
  const ProgrammingOptions& o = m_options;
  if (!OpenPort() || !ConfigureForSync(o.syncBaudRate)) return false;

  if (!NegotiateAndSelectDevice()) return false;

  Report(LEVEL_STAGE, "Reading erase block list from target");
  if (!ReadEraseBlockList() || !PrepareEraseList()) return false;

  Report(LEVEL_STAGE, "Loading main kernel %s", o.mainKernelPath.c_str());
  if (!LoadKernelModule(o.mainKernelPath, CMD_LOAD_MAIN_KERNEL)) return false;

  Report(LEVEL_STAGE, "Loading EEPROM erase module %s", o.eraseModulePath.c_str());
  if (!LoadKernelModule(o.eraseModulePath, CMD_ERASE)) return false;

  Report(LEVEL_STAGE, "Erasing target EEPROM");
  if (!EraseBlocks(m_eraseListCount, m_eraseList)) return false;

  // A caller's own list may leave blocks unerased on purpose, so only a full erase is
  // followed by a blank check.
  if (m_eraseListBuilt) {
    Report(LEVEL_STAGE, "Performing a blank check");
    if (!BlankCheck()) return false;
  }

  Report(LEVEL_STAGE, "Loading EEPROM write module %s", o.writeModulePath.c_str());
  if (!LoadKernelModule(o.writeModulePath, CMD_LOAD_WRITE_MODULE)) return false;

  Report(LEVEL_STAGE, "Writing image to the EEPROM");
  if (!WriteImage(o.startAddress, WRITE_BLOCK_SIZE, m_image, m_imageSize)) return false;

  Report(LEVEL_STAGE, "Programming complete, please reset target");
  return true;
}

bool ProgrammingRun::RunBootModeFlow() {
  const ProgrammingOptions& o = m_options;
  if (!OpenPort()) return false;

  Report(LEVEL_STAGE, "Loading uKernel %s", o.microKernelPath.c_str());
  if (!DownloadMicroKernel(o.microKernelPath, o.syncBaudRate)) return false;

  if (!NegotiateAndSelectDevice()) return false;

  Report(LEVEL_STAGE, "Loading main kernel %s", o.mainKernelPath.c_str());
  if (!LoadKernelModule(o.mainKernelPath, CMD_LOAD_MAIN_KERNEL)) return false;

  Report(LEVEL_STAGE, "Performing a blank check");
  if (!BlankCheck()) return false;

  Report(LEVEL_STAGE, "Loading EEPROM write module %s", o.writeModulePath.c_str());
  if (!LoadKernelModule(o.writeModulePath, CMD_LOAD_WRITE_MODULE)) return false;

  Report(LEVEL_STAGE, "Writing image to the EEPROM");
  if (!WriteImage(o.startAddress, WRITE_BLOCK_SIZE, m_image, m_imageSize)) return false;

  if (o.resetMethod == ResetMethod::Manual) {
    Report(LEVEL_STAGE, "%s", PROMPT_USER_MODE);
  } else {
    Report(LEVEL_STAGE, "Resetting target in user mode");
    if (!ResetIntoUserMode()) return Fail("Communication port error [923]");
  }

  Report(LEVEL_STAGE, "Programming complete");
  return true;
}

void ProgrammingRun::Deliver(int level, int blockMessage, const char* format, va_list arguments) {
  if (m_callback == nullptr) return;
  // vsnprintf cuts the text to 255 bytes; a long port name or path cannot overflow.
  // Names are UTF-8 (on Windows too): a cut inside a letter drops the letter's start,
  // so that the text stays valid UTF-8 rather than be read in another code page.
  char text[MESSAGE_BUFFER_SIZE];
  const int length = std::vsnprintf(text, sizeof text, format, arguments);
  if (length >= static_cast<int>(sizeof text)) {
    std::size_t end = sizeof text - 1;
    std::size_t start = end;
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) --start;
    if (start > 0) {
      const auto lead = static_cast<unsigned char>(text[start - 1]);
      const std::size_t letter = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if (lead >= 0xC0 && end - (start - 1) < letter) end = start - 1;
    }
    text[end] = '\0';
  }
  m_callback(m_context, m_percent, level, blockMessage, text, &m_abort);
}

void ProgrammingRun::Report(int level, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Deliver(level, 0, format, arguments);
  va_end(arguments);
}

void ProgrammingRun::ReportBlock(int level, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Deliver(level, 1, format, arguments);
  va_end(arguments);
}

bool ProgrammingRun::Fail(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Deliver(LEVEL_ERROR, 0, format, arguments);
  va_end(arguments);
  return false;
}

// The abort byte reaches the run only through the callback, and a long wait reports
// nothing: it calls the callback with a call that is no message, so a Ctrl-C is heard.
bool ProgrammingRun::AbortRequested() {
  if (m_callback != nullptr) m_callback(m_context, m_percent, LEVEL_WAITING, 0, "", &m_abort);
  return m_abort != 0;
}

bool ProgramTarget(const ProgrammingOptions& options, const std::uint8_t* image,
                   std::int32_t imageSize, ProgressCallback callback, void* context,
                   SerialPort& port) {
  ProgrammingRun run(options, image, imageSize, callback, context, port);
  return run.Run();
}

bool ProgramTarget(const ProgrammingOptions& options, const std::uint8_t* image,
                   std::int32_t imageSize, ProgressCallback callback, void* context) {
  const std::unique_ptr<SerialPort> port = MakePlatformSerialPort();
  return ProgramTarget(options, image, imageSize, callback, context, *port);
}

}  // namespace zerviko
