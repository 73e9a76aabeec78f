#include "engine/PlatformSerialPort.h"
#include "engine/Win32SerialPort.h"

namespace zerviko {

std::unique_ptr<SerialPort> MakePlatformSerialPort() { return std::make_unique<Win32SerialPort>(); }

}  // namespace zerviko
