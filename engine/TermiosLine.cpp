// The only translation unit that sees the kernel's own termios declarations.
#include "engine/TermiosLine.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cstring>

// <sys/ioctl.h> drags in glibc's terminal types, which clash with <asm/termbits.h>.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace zerviko::termios_line {
namespace {

struct StandardRate {
  std::int32_t rate;
  unsigned int constant;
};

// Drivers know these by their constants; any other rate goes through BOTHER.
constexpr StandardRate kStandardRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool Get(int fd, termios2* tio) {
  std::memset(tio, 0, sizeof *tio);
  return ioctl(fd, TCGETS2, tio) == 0;
}

bool Set(int fd, const termios2& tio) { return ioctl(fd, TCSETS2, &tio) == 0; }

void PutRate(termios2* tio, std::int32_t rate) {
  unsigned int constant = BOTHER;
  for (const StandardRate& standard : kStandardRates) {
    if (standard.rate == rate) {
      constant = standard.constant;
      break;
    }
  }
  // Clearing CIBAUD makes the input rate follow the output rate.
  tio->c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio->c_cflag |= constant;
  tio->c_ispeed = static_cast<speed_t>(rate);
  tio->c_ospeed = static_cast<speed_t>(rate);
}

void PutRaw(termios2* tio) {
  tio->c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                    IXANY | IGNPAR | INPCK | IUCLC | IMAXBEL);
  tio->c_oflag &= ~OPOST;
  tio->c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN | ECHOE | ECHOK | ECHOCTL | ECHOKE);
  tio->c_cflag |= CREAD | CLOCAL;
  tio->c_cc[VMIN] = 1;
  tio->c_cc[VTIME] = 0;
}

}  // namespace

bool ApplyLineSettings(int fd, const LineSettings& settings) {
  if (settings.dataBits && (*settings.dataBits < 5 || *settings.dataBits > 8)) return false;
  if (settings.baudRate && *settings.baudRate <= 0) return false;
  termios2 tio;
  if (!Get(fd, &tio)) return false;
  PutRaw(&tio);
  if (settings.dataBits) {
    static constexpr unsigned int kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | kSizes[*settings.dataBits - 5];
  }
  if (settings.parity) {
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (*settings.parity) {
      case Parity::None: break;
      case Parity::Even: tio.c_cflag |= PARENB; break;
      case Parity::Odd: tio.c_cflag |= PARENB | PARODD; break;
      case Parity::Mark: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
      case Parity::Space: tio.c_cflag |= PARENB | CMSPAR; break;
    }
  }
  if (tio.c_cflag & PARENB) tio.c_iflag |= INPCK;
  if (settings.twoStopBits) {
    tio.c_cflag &= ~CSTOPB;
    if (*settings.twoStopBits) tio.c_cflag |= CSTOPB;
  }
  if (settings.softwareFlow && *settings.softwareFlow) tio.c_iflag |= IXON | IXOFF;
  if (settings.hardwareFlow) {
    tio.c_cflag &= ~CRTSCTS;
    if (*settings.hardwareFlow) tio.c_cflag |= CRTSCTS;
  }
  if (settings.baudRate) PutRate(&tio, *settings.baudRate);
  return Set(fd, tio);
}

bool SetLineRate(int fd, std::int32_t rate) {
  if (rate <= 0) return false;
  termios2 tio;
  if (!Get(fd, &tio)) return false;
  PutRate(&tio, rate);
  if (!Set(fd, tio)) return false;
  // Some drivers round a rate they cannot make; a rate far from the one asked for
  // would garble every byte, so it counts as refused.
  termios2 check;
  if (!Get(fd, &check)) return false;
  const double ratio = static_cast<double>(check.c_ospeed) / rate;
  return ratio > 0.97 && ratio < 1.03;
}

bool GetLineRate(int fd, std::int32_t* rate) {
  termios2 tio;
  if (!Get(fd, &tio)) return false;
  *rate = static_cast<std::int32_t>(tio.c_ospeed);
  return true;
}

bool SaveLine(int fd, std::vector<unsigned char>* saved) {
  termios2 tio;
  if (!Get(fd, &tio)) return false;
  saved->resize(sizeof tio);
  std::memcpy(saved->data(), &tio, sizeof tio);
  return true;
}

bool RestoreLine(int fd, const std::vector<unsigned char>& saved) {
  termios2 tio;
  if (saved.size() != sizeof tio) return false;
  std::memcpy(&tio, saved.data(), sizeof tio);
  return Set(fd, tio);
}

bool MakeRaw(int fd) {
  termios2 tio;
  if (!Get(fd, &tio)) return false;
  PutRaw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CRTSCTS);
  tio.c_cflag |= CS8;
  return Set(fd, tio);
}

}  // namespace zerviko::termios_line
