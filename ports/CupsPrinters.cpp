#include "ports/CupsPrinters.h"

#include <cups/cups.h>

#include <iterator>
#include <memory>

namespace zerviko::ports {

namespace {

struct HttpClose {
  void operator()(http_t* http) const { httpClose(http); }
};
struct IppDelete {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};

bool IsLocalServer(const std::string& host) {
  return (!host.empty() && host.front() == '/') || host == "localhost" || host == "127.0.0.1" ||
         host == "::1" || host == "[::1]";
}

// Giving up at once when the server's reply is late: the wait has already lasted
// CUPS_REPLY_TIMEOUT.
int StopWaiting(http_t* /*http*/, void* /*context*/) { return 0; }

// Listing printers must never ask anybody for a password, least of all on a terminal
// the GUI does not have.
const char* NoPassword(const char* /*prompt*/, http_t* /*http*/, const char* /*method*/,
                       const char* /*resource*/, void* /*context*/) {
  return nullptr;
}

struct Queue {
  std::string name;
  std::string info;
  std::string deviceUri;
  int type = 0;
};

std::vector<Queue> ReadQueues(ipp_t* response) {
  std::vector<Queue> queues;
  ipp_attribute_t* attribute = ippFirstAttribute(response);
  while (attribute != nullptr) {
    while (attribute != nullptr && ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
      attribute = ippNextAttribute(response);
    }
    if (attribute == nullptr) break;
    Queue queue;
    for (; attribute != nullptr && ippGetGroupTag(attribute) == IPP_TAG_PRINTER;
         attribute = ippNextAttribute(response)) {
      const char* name = ippGetName(attribute);
      if (name == nullptr) continue;
      const std::string attributeName = name;
      const char* text = ippGetString(attribute, 0, nullptr);
      if (attributeName == "printer-name" && text != nullptr) {
        queue.name = text;
      } else if (attributeName == "printer-info" && text != nullptr) {
        queue.info = text;
      } else if (attributeName == "device-uri" && text != nullptr) {
        queue.deviceUri = text;
      } else if (attributeName == "printer-type") {
        queue.type = ippGetInteger(attribute, 0);
      }
    }
    if (!queue.name.empty()) queues.push_back(std::move(queue));
  }
  return queues;
}

}  // namespace

std::string SerialUriDevicePath(const std::string& uri) {
  static const std::string scheme = "serial:";
  if (uri.compare(0, scheme.size(), scheme) != 0) return {};
  std::string path = uri.substr(scheme.size());
  // serial:///dev/ttyS0 names the same device with an empty authority.
  if (path.compare(0, 2, "//") == 0) {
    const std::size_t slash = path.find('/', 2);
    path = slash == std::string::npos ? std::string() : path.substr(slash);
  }
  const std::size_t options = path.find('?');
  if (options != std::string::npos) path.resize(options);
  return path;
}

std::vector<SpoolerPrinter> ListSerialPrinters(const std::string& server) {
  std::vector<SpoolerPrinter> printers;

  // cupsSetServer also parses host:port; nullptr goes back to libcups's own choice,
  // read afresh rather than remembered from an earlier call.
  cupsSetServer(server.empty() ? nullptr : server.c_str());
  const std::string host = cupsServer();
  if (!IsLocalServer(host)) return printers;
  cupsSetPasswordCB2(NoPassword, nullptr);

  std::unique_ptr<http_t, HttpClose> http(
      httpConnect2(host.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                   static_cast<int>(CUPS_CONNECT_TIMEOUT.count()), nullptr));
  if (!http) return printers;
  httpSetTimeout(http.get(), std::chrono::duration<double>(CUPS_REPLY_TIMEOUT).count(),
                 StopWaiting, nullptr);

  static const char* const requested[] = {"printer-name", "printer-info", "device-uri",
                                          "printer-type"};
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(requested)), nullptr, requested);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  // cupsDoRequest takes the request over and frees it.
  std::unique_ptr<ipp_t, IppDelete> response(cupsDoRequest(http.get(), request, "/"));
  if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_CONFLICTING) return printers;

  for (const Queue& queue : ReadQueues(response.get())) {
    if ((queue.type & CUPS_PRINTER_REMOTE) != 0) continue;
    const std::string port = SerialUriDevicePath(queue.deviceUri);
    if (port.empty()) continue;
    printers.push_back({queue.info.empty() ? queue.name : queue.info, port});
  }
  return printers;
}

}  // namespace zerviko::ports
