// Line settings through the kernel's termios2 interface, which carries any baud rate
// (BOTHER) and not only the standard ones. Kept apart from <termios.h>: the kernel's
// <asm/termbits.h> declares a struct termios of its own and the two cannot meet in one
// translation unit. Used by TermiosSerialPort and by the virtual printer, which reads
// the rate the host set from the master side of its pseudo-terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace zerviko::termios_line {

enum class Parity { None, Even, Odd, Mark, Space };

// The line as the port puts it: always raw, receiver on, modem status ignored. A
// field left empty keeps what the line has.
struct LineSettings {
  std::optional<std::int32_t> baudRate;
  std::optional<int> dataBits;  // 5 to 8
  std::optional<Parity> parity;
  std::optional<bool> twoStopBits;  // 1.5 stop bits is the two-stop setting at 5 data bits
  std::optional<bool> softwareFlow;  // XON/XOFF in both directions
  std::optional<bool> hardwareFlow;  // RTS/CTS
};

// Applies the settings in one call, so a refused change leaves the line as it was.
bool ApplyLineSettings(int fd, const LineSettings& settings);
// Changes only the rate, standard or not.
bool SetLineRate(int fd, std::int32_t rate);
// The output rate the line runs at. On a pseudo-terminal's master this is the rate
// the slave's owner set.
bool GetLineRate(int fd, std::int32_t* rate);
// The whole termios2 record as opaque bytes, and back, to undo a change exactly.
bool SaveLine(int fd, std::vector<unsigned char>* saved);
bool RestoreLine(int fd, const std::vector<unsigned char>& saved);
// Puts a line in raw mode, keeping its rate (for a pseudo-terminal freshly made).
bool MakeRaw(int fd);

}  // namespace zerviko::termios_line
