// Placeholder until port discovery lands: no ports, no bridge.
#include "ports/PortList.h"

namespace zerviko::ports {

PortList BuildPortList() { return {}; }
std::string FindPrinterBridgePort() { return {}; }

}  // namespace zerviko::ports
