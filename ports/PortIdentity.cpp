// The spellings of a Windows COM port, read the same on every system so that the
// rule is tested wherever the tests run.
#include <climits>

#include "ports/PortIdentity.h"

namespace zerviko::ports {

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

int ComPortNumber(const std::string& name) {
  std::string rest = name;
  // The device path form is complete as it is; only the short name takes the
  // spooler's colon.
  if (StartsWithNoCase(rest, "\\\\.\\")) {
    rest.erase(0, 4);
  } else if (!rest.empty() && rest.back() == ':') {
    rest.pop_back();
  }
  if (!StartsWithNoCase(rest, "COM") || rest.size() == 3) return 0;
  // COM05 is no device Windows knows, so it is not COM5 either.
  if (rest[3] == '0') return 0;
  long long number = 0;
  for (std::size_t i = 3; i < rest.size(); ++i) {
    if (rest[i] < '0' || rest[i] > '9') return 0;
    number = number * 10 + (rest[i] - '0');
    if (number > INT_MAX) return 0;
  }
  return static_cast<int>(number);
}

}  // namespace zerviko::ports
