#include "engine/PlatformSerialPort.h"
#include "engine/TermiosSerialPort.h"

namespace zerviko {

std::unique_ptr<SerialPort> MakePlatformSerialPort() { return std::make_unique<TermiosSerialPort>(); }

}  // namespace zerviko
