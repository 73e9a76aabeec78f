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

// One bound on the whole listing, from the connection to the last byte of the reply:
// the page opens only after it, so an unreachable server, a silent one or one that
// sends a byte now and then cannot hold it up for longer. A local server answers in
// milliseconds. ListSerialPrinters keeps the deadline with a thread of its own that
// ends before it returns.
inline constexpr std::chrono::milliseconds CUPS_QUERY_TIMEOUT{2500};

// The local queues that print to a serial device, in the server's order: the name to
// show (the queue's description, else its name) and the device path. server names
// the CUPS server (a socket path, or host[:port]); empty takes libcups's own choice
// (CUPS_SERVER, client.conf, the local socket). A server on another machine has no
// printers on this machine's ports and is not asked. The server is asked without
// credentials, as CUPS lets anybody list its queues; nothing asks for a password.
std::vector<SpoolerPrinter> ListSerialPrinters(const std::string& server = {});

// The device path in a serial device URI ("serial:/dev/ttyUSB0?baud=9600" gives
// "/dev/ttyUSB0"); empty for any other URI.
std::string SerialUriDevicePath(const std::string& uri);

}  // namespace zerviko::ports
