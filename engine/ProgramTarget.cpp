// Placeholder until the engine lands: every run fails without touching a port.
#include "engine/ProgramTarget.h"

namespace zerviko {

bool ProgramTarget(const ProgrammingOptions&, const std::uint8_t*, std::int32_t, ProgressCallback,
                   void*) {
  return false;
}

bool ProgramTarget(const ProgrammingOptions&, const std::uint8_t*, std::int32_t, ProgressCallback,
                   void*, SerialPort&) {
  return false;
}

}  // namespace zerviko
