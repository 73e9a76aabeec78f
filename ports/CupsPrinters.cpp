#include "ports/CupsPrinters.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

namespace zerviko::ports {

namespace {

using Clock = std::chrono::steady_clock;

struct HttpClose {
  void operator()(http_t* http) const { httpClose(http); }
};
struct IppDelete {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDelete>;

bool IsLocalServer(const std::string& host) {
  return (!host.empty() && host.front() == '/') || host == "localhost" || host == "127.0.0.1" ||
         host == "::1" || host == "[::1]";
}

// Ends every read on a connection at a deadline. libcups's own timeout bounds each wait
// for data, not the reply, so a server that sends a byte now and then could stretch the
// reply without end; shutting the socket down for reading wakes the read under way and
// ends every later one at once. It works on a duplicate of the socket, so that it never
// touches a descriptor number that libcups may have closed meanwhile and the process
// opened again for something else. The request itself is a few hundred bytes, which
// the socket's buffer always takes at once: writing never waits.
class ReadDeadline {
 public:
  ReadDeadline(int fd, Clock::time_point deadline)
      : m_fd(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0)) {
    if (m_fd < 0) return;
    m_thread = std::thread([this, deadline] {
      std::unique_lock<std::mutex> lock(m_mutex);
      if (!m_finished.wait_until(lock, deadline, [this] { return m_done; })) {
        ::shutdown(m_fd, SHUT_RD);
      }
    });
  }
  ~ReadDeadline() {
    if (m_thread.joinable()) {
      {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
      }
      m_finished.notify_one();
      m_thread.join();
    }
    if (m_fd >= 0) ::close(m_fd);
  }
  ReadDeadline(const ReadDeadline&) = delete;
  ReadDeadline& operator=(const ReadDeadline&) = delete;

  bool Armed() const { return m_fd >= 0; }

 private:
  int m_fd;
  std::mutex m_mutex;
  std::condition_variable m_finished;
  bool m_done = false;
  std::thread m_thread;
};

// One request and its reply over an open connection, with libcups's HTTP and IPP calls
// rather than cupsDoRequest: that one waits a second for a "100 Continue" first, and
// answers a demand for credentials by connecting again, out of the deadline's reach.
IppPtr Ask(http_t* http, ipp_t* request, Clock::time_point deadline) {
  httpClearFields(http);
  httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
  httpSetLength(http, ippLength(request));
  if (httpPost(http, "/") != 0) return nullptr;
  ipp_state_t state = IPP_STATE_IDLE;
  do {
    state = ippWrite(http, request);
  } while (state != IPP_STATE_DATA && state != IPP_STATE_ERROR && Clock::now() < deadline);
  if (state != IPP_STATE_DATA) return nullptr;

  http_status_t status = HTTP_STATUS_CONTINUE;
  while (status == HTTP_STATUS_CONTINUE && Clock::now() < deadline) status = httpUpdate(http);
  if (status != HTTP_STATUS_OK) return nullptr;

  IppPtr response(ippNew());
  do {
    state = ippRead(http, response.get());
  } while (state != IPP_STATE_DATA && state != IPP_STATE_ERROR && Clock::now() < deadline);
  if (state != IPP_STATE_DATA) return nullptr;
  return response;
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
  const Clock::time_point deadline = Clock::now() + CUPS_QUERY_TIMEOUT;

  // cupsSetServer also parses host:port; nullptr goes back to libcups's own choice,
  // read afresh rather than remembered from an earlier call.
  cupsSetServer(server.empty() ? nullptr : server.c_str());
  const std::string host = cupsServer();
  if (!IsLocalServer(host)) return printers;

  // No encryption asked for: a TLS handshake would run inside the connection call, out
  // of the deadline's reach, and a local server needs none.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  std::unique_ptr<http_t, HttpClose> http(
      httpConnect2(host.c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                   static_cast<int>(std::max<long long>(left.count(), 1)), nullptr));
  if (!http) return printers;
  const ReadDeadline readDeadline(httpGetFd(http.get()), deadline);
  if (!readDeadline.Armed()) return printers;

  static const char* const requested[] = {"printer-name", "printer-info", "device-uri",
                                          "printer-type"};
  const IppPtr request(ippNewRequest(IPP_OP_CUPS_GET_PRINTERS));
  ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(requested)), nullptr, requested);
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  const IppPtr response = Ask(http.get(), request.get(), deadline);
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
