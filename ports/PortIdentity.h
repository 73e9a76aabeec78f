// Whether two port names reach one port, so that a bench never gives one printer two
// runs that fight over it. The comparison is the system's own: LinuxPortIdentity.cpp
// compares the devices the names lead to (relative paths and links resolved),
// Win32PortIdentity.cpp the COM numbers. Neither opens a port.
#pragma once

#include <string>

namespace zerviko::ports {

// The number of the COM port a Windows port name names, in every spelling the loader
// opens: COM5, com5, the spooler's COM5: and the device path \\.\COM5 all give 5. 0 for
// any other name (LPT1, COM0, COM05, COM5x, a file path).
int ComPortNumber(const std::string& name);

// True when the two names reach the same port.
bool IsSamePort(const std::string& a, const std::string& b);

}  // namespace zerviko::ports
