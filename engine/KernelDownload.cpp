// Bringing code into the target: the modem-line restarts, the echoed micro-kernel
// download to the boot program, and module loads into a running kernel.
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "engine/ProgrammingRun.h"
#include "engine/SerialPort.h"

namespace zerviko {

namespace {

using namespace std::chrono_literals;

// A kernel or module file, read as raw bytes and closed on every way out.
class KernelFile {
 public:
  // Only a regular file counts as readable: a folder opens on Linux but reads nothing,
  // a FIFO would hold the open until a writer comes, and opening a serial device
  // would move its modem lines. Anything else is refused before it is opened, and
  // checked again once open in case the path was swapped in between.
  bool Open(const std::string& path) {
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return false;
    m_file.reset(std::fopen(path.c_str(), "rb"));
    if (!m_file) return false;
    struct stat info {};
    if (fstat(fileno(m_file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
      m_file.reset();
      return false;
    }
    return true;
  }
  // The size taken by seeking to the end and back.
  bool Size(std::uint64_t* size) {
    // fseeko and ftello: a long is 32 bits on Windows, too narrow for a module's size.
    if (::fseeko(m_file.get(), 0, SEEK_END) != 0) return false;
    const off_t end = ::ftello(m_file.get());
    if (end < 0 || ::fseeko(m_file.get(), 0, SEEK_SET) != 0) return false;
    *size = static_cast<std::uint64_t>(end);
    return true;
  }
  // False when the file ends (or can no longer be read) before the byte.
  bool Next(std::uint8_t* byte) {
    const int c = std::fgetc(m_file.get());
    if (c == EOF) return false;
    *byte = static_cast<std::uint8_t>(c);
    return true;
  }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> m_file;
};

}  // namespace

// RTS is pulsed while DTR picks the mode: asserted for the boot program, released for
// the user's firmware. The waits let the target's reset circuit settle; whatever the
// target sends while it restarts is noise and is discarded.
bool ProgrammingRun::ResetInto(bool bootMode) {
  if (!m_port.SetRts(true)) return false;
  m_clock.Sleep(100ms);
  if (!m_port.SetDtr(bootMode)) return false;
  m_clock.Sleep(100ms);
  if (!m_port.SetRts(false)) return false;
  m_clock.Sleep(200ms);
  return m_port.PurgeInput();
}

bool ProgrammingRun::ResetIntoBootMode() { return ResetInto(true); }

bool ProgrammingRun::ResetIntoUserMode() { return ResetInto(false); }

// The boot program echoes every byte. Up to a ring's worth of bytes go out before the
// host waits for an echo, so the download runs near line speed and still every echo
// is checked.
bool ProgrammingRun::SendEchoed(std::uint8_t byte) {
  if (!m_port.WriteByte(byte)) return Fail("Communication port error [185]");
  m_echoRing[m_echoWrite] = byte;
  m_echoWrite = (m_echoWrite + 1) % ECHO_RING_SIZE;

  std::uint8_t echo = 0;
  if (m_echoWrite == m_echoRead) {
    if (!m_port.SetReadTimeout(200)) return Fail("Communication port error [191]");
    if (!m_port.ReadByte(&echo)) return Fail("Echo timeout");
  } else {
    if (!m_port.SetReadTimeout(0)) return Fail("Communication port error [195]");
    std::size_t count = 0;
    if (!m_port.Read(&echo, 1, &count)) return Fail("Communications error [196]");
    if (count == 0) return true;
  }
  if (echo != m_echoRing[m_echoRead]) {
    return Fail("Bad echo from target, 0x%02X instead of 0x%02X", static_cast<unsigned>(echo),
                static_cast<unsigned>(m_echoRing[m_echoRead]));
  }
  m_echoRead = (m_echoRead + 1) % ECHO_RING_SIZE;
  return true;
}

bool ProgrammingRun::DrainEchoes() {
  if (!m_port.SetReadTimeout(200)) return Fail("Communication port error [211]");
  while (m_echoRead != m_echoWrite) {
    std::uint8_t echo = 0;
    if (!m_port.ReadByte(&echo)) return Fail("Communications error [216]");
    if (echo != m_echoRing[m_echoRead]) return Fail("Communications error [217]");
    m_echoRead = (m_echoRead + 1) % ECHO_RING_SIZE;
  }
  return true;
}

bool ProgrammingRun::DownloadMicroKernel(const std::string& path, std::int32_t baudRate) {
  KernelFile file;
  if (!file.Open(path)) return Fail("Can't open %s", path.c_str());
  std::uint64_t size = 0;
  if (!file.Size(&size)) return Fail("Can't open %s", path.c_str());
  // The boot program takes a 16-bit size; refuse before the target is touched.
  if (size > MICRO_KERNEL_MAX_SIZE) return Fail("Image %s is longer than 65535", path.c_str());

  const bool byHand = m_options.resetMethod == ResetMethod::Manual;
  Report(LEVEL_STEP, "%s", byHand ? PROMPT_BOOT_MODE : "Resetting target in boot mode");
  if (!ConfigureForSync(baudRate)) return false;
  m_echoWrite = 0;
  m_echoRead = 0;
  // By hand the lines stay as they are, but the purge that ends a restart through them
  // is kept: whatever the printer sent before its boot program listens (its firmware's
  // output, bytes left from an earlier run) is noise, not an answer to the zeros.
  if (!(byHand ? m_port.PurgeInput() : ResetIntoBootMode())) {
    return Fail("Communication port error [296]");
  }
  if (!m_port.SetReadTimeout(0)) return Fail("Communication port error [301]");

  // The boot program measures the line speed from a stream of zeros and answers one
  // zero when it has locked on; zeros go out back to back, polling between two.
  Report(LEVEL_STEP, "Synching at %d baud", static_cast<int>(baudRate));
  const auto window = byHand ? SYNC_WINDOW_BY_HAND : SYNC_WINDOW;
  const auto start = m_clock.Now();
  auto asked = start;
  std::uint8_t answer = 0;
  bool noise = false;
  for (;;) {
    // Noise is read out before the next zero, so that it never piles up ahead of the
    // boot program's answer when the printer says more than a byte to each zero.
    if (!noise && !m_port.WriteByte(0x00)) return Fail("Communication port error [310]");
    std::size_t count = 0;
    if (!m_port.Read(&answer, 1, &count)) return Fail("Communications error [313]");
    // Until a person has restarted the printer, what it sends is no answer: a printer
    // still running its kernel refuses each zero as a command (0x80), and one being
    // switched off and on makes noise. By hand only the boot program's zero counts.
    if (count == 1 && (!byHand || answer == BOOT_SYNC_ANSWER)) break;
    noise = count == 1;
    const auto now = m_clock.Now();
    if (now - start >= window) return Fail("No reply from target");
    // Nothing has been sent but zeros: a user who gives up during the long wait by
    // hand is heard at once, not after the whole window.
    if (byHand && now - asked >= WAITING_INTERVAL) {
      asked = now;
      if (AbortRequested()) return Fail("Programming aborted");
    }
  }
  if (answer != BOOT_SYNC_ANSWER) {
    return Fail("Bad reply from target, 0x%02X instead of 0x00", static_cast<unsigned>(answer));
  }

  // Input is deliberately not discarded here: the next byte is the answer to 0x55.
  if (!m_port.WriteByte(BOOT_SYNC_REQUEST)) return Fail("Communications error [321]");
  if (!m_port.SetReadTimeout(10000)) return Fail("Communication port error [322]");
  if (!m_port.ReadByte(&answer)) return Fail("Communications error [323]");
  if (answer == BOOT_ERASE_ERROR) return Fail("Erase error");
  if (answer != BOOT_PROCEED) return Fail("Bad reply from target");

  Report(LEVEL_STEP, "Downloading image");
  if (!SendEchoed(static_cast<std::uint8_t>(size >> 8)) ||
      !SendEchoed(static_cast<std::uint8_t>(size))) {
    return false;
  }
  for (std::uint64_t i = 0; i < size; ++i) {
    std::uint8_t byte = 0;
    if (!file.Next(&byte)) return Fail("Unexpected EOF");
    if (!SendEchoed(byte)) return false;
  }
  if (!DrainEchoes()) return false;

  if (!m_port.SetReadTimeout(10000)) return Fail("Communication port error [345]");
  if (!m_port.ReadByte(&answer)) return Fail("Communications error [346]");
  if (answer == BOOT_ERASE_ERROR) return Fail("Erase error");
  if (answer != BOOT_PROCEED) return Fail("No download acknowledge from target");
  return true;
}

bool ProgrammingRun::LoadKernelModule(const std::string& path, std::uint8_t command) {
  if (!SendByte(command) || !WaitAcknowledge(100, command)) return false;

  // The command has been acknowledged by now; the kernel waits for a size that never
  // comes, which is the target's state after a failed run.
  KernelFile file;
  if (!file.Open(path)) return Fail("Can't open %s", path.c_str());
  std::uint64_t size = 0;
  if (!file.Size(&size)) return Fail("Can't open %s", path.c_str());
  // The size goes out in 32 bits; a larger file would be announced wrongly.
  if (size > 0xFFFFFFFFu) return Fail("Image %s is longer than 4294967295", path.c_str());

  if (!m_port.SetReadTimeout(0)) return Fail("Communication port error [382]");
  Report(LEVEL_STEP, "Sending image size");
  m_checksum = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    if (!SendSummed(static_cast<std::uint8_t>(size >> shift))) return false;
  }
  if (!CheckNoErrorReply(command)) return false;

  // Streamed at line speed; a poll after each byte stops a rejected transfer within
  // one byte.
  Report(LEVEL_STEP, "Sending image");
  for (std::uint64_t i = 0; i < size; ++i) {
    std::uint8_t byte = 0;
    if (!file.Next(&byte)) return Fail("Unexpected EOF");
    if (!SendSummed(byte) || !CheckNoErrorReply(command)) return false;
  }

  Report(LEVEL_STEP, "Sending checksum");
  if (!SendChecksum()) return false;
  Report(LEVEL_STEP, "Waiting for acknowledge");
  return WaitAcknowledge(3000, command);
}

}  // namespace zerviko
