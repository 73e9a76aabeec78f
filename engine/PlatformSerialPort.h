// The serial port of the system the program is built for: termios on Linux, the
// Win32 communications calls on Windows. The build chooses the file that makes it.
#pragma once

#include <memory>

#include "engine/SerialPort.h"

namespace zerviko {

std::unique_ptr<SerialPort> MakePlatformSerialPort();

}  // namespace zerviko
