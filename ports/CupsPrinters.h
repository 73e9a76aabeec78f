// The printers installed on the machine's serial ports, from CUPS.
//
// A printer is installed on a port when a local queue prints to it: its device URI is
// "serial:" followed by the port's device path, maybe followed by "?baud=..." and the
// like. A machine without a CUPS server has no printers, and that is no error.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "ports/PortDiscovery.h"

namespace zerviko::ports {

// Bounds on one listing, so that an unreachable or silent server cannot hold up the
// page: the connection, then the server's reply.
inline constexpr std::chrono::milliseconds CUPS_CONNECT_TIMEOUT{2000};
inline constexpr std::chrono::milliseconds CUPS_REPLY_TIMEOUT{5000};

// The local queues that print to a serial device, in the server's order: the name to
// show (the queue's description, else its name) and the device path. server names
// the CUPS server (a socket path, or host[:port]); empty takes libcups's own choice
// (CUPS_SERVER, client.conf, the local socket). A server on another machine has no
// printers on this machine's ports and is not asked.
std::vector<SpoolerPrinter> ListSerialPrinters(const std::string& server = {});

// The device path in a serial device URI ("serial:/dev/ttyUSB0?baud=9600" gives
// "/dev/ttyUSB0"); empty for any other URI.
std::string SerialUriDevicePath(const std::string& uri);

}  // namespace zerviko::ports
