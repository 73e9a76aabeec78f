// libFuzzer target for the firmware package reader. Each input is a package file, read
// through the /proc path of a memory file as a check and as a load, in several languages.
// Besides the sanitizers, what every package must keep is checked: a check and a load
// agree, a loaded image is the file's tail and starts after the line end of a "<CODE>"
// line, and no stored text holds what the reader takes for a marker or a line end.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "package/FirmwarePackage.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckText(std::string_view text) {
  for (std::string_view reserved : {"<REVISION>", "<END REVISION>", "<DEVICE SETUP>", "<END DEVICE SETUP>", "<CODE>"}) {
    Require(text.find(reserved) == std::string_view::npos);
  }
  Require(text.find('\0') == std::string_view::npos && text.find('\x1A') == std::string_view::npos);
  // Lines never hold an LF of their own: every LF is the end of a CR LF joint.
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    Require(at > 0 && text[at - 1] == '\r');
  }
  constexpr std::string_view space = " \t\r\n\v\f";
  Require(text.empty() || (space.find(text.front()) == space.npos && space.find(text.back()) == space.npos));
}

// The image follows the line end of a line whose text holds "<CODE>", or begins at the
// 0x1A or the end of the file that ended that line; no 0x1A comes before it.
void CheckImageStart(std::string_view file, std::size_t offset) {
  std::string_view text = file.substr(0, offset);
  Require(text.find('\x1A') == std::string_view::npos);
  if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
  } else {
    Require(offset == file.size() || file[offset] == '\x1A');
  }
  const std::string_view line = text.substr(text.rfind('\n') + 1);
  Require(line.substr(0, line.find('\0')).find("<CODE>") != std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int fd = ::memfd_create("zerviko-fuzz-package", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  for (int language : {0, 1, 2, 3, 4, -1}) {
    const int checked = zerviko::ReadFirmwarePackage(path, true, language);
    Require(checked == zerviko::PACKAGE_OK || checked == zerviko::PACKAGE_UNUSABLE);
    const std::string revision = zerviko::GetPackageRevisionText(), setup = zerviko::GetPackageDeviceSetupText();
    CheckText(revision);
    CheckText(setup);
    std::uint32_t length = 1;
    zerviko::GetPackageImage(nullptr, &length);
    Require(length == 0);

    Require(zerviko::ReadFirmwarePackage(path, false, language) == checked);
    Require(zerviko::GetPackageRevisionText() == revision && zerviko::GetPackageDeviceSetupText() == setup);
    zerviko::GetPackageImage(nullptr, &length);
    Require(length <= size && (checked == zerviko::PACKAGE_OK || length == 0));
    std::vector<std::uint8_t> image(length);
    zerviko::GetPackageImage(image.data(), &length);
    Require(length == 0 || std::memcmp(image.data(), data + (size - length), length) == 0);
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    if (checked == zerviko::PACKAGE_OK) CheckImageStart(file, size - length);
  }
  zerviko::ClearPackage();
  return 0;
}
