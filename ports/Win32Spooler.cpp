// The print spooler on Windows: its ports and its local printers, each through the
// call's size query and then a buffer of the size it gave.
#include "ports/Win32Providers.h"

#include <windows.h>
#include <winspool.h>

// The spooler's names without their A and W forms, so that the interface's own
// EnumPorts and EnumPrinters keep their names in this file.
#undef EnumPorts
#undef EnumPrinters

namespace zerviko::ports {

// The spooler's library is loaded when a port list is asked for, not at every start
// of the program: a programming run needs no spooler, and the library's start-up
// talks to the print service, which may take seconds (under Wine without a print
// service, twice ten).
struct Win32Spooler::Library {
  HMODULE module = LoadLibraryA("winspool.drv");
  decltype(&EnumPortsA) enumPorts = Take<decltype(&EnumPortsA)>("EnumPortsA");
  decltype(&EnumPrintersA) enumPrinters = Take<decltype(&EnumPrintersA)>("EnumPrintersA");

  ~Library() {
    if (module) FreeLibrary(module);
  }
  template <typename Function>
  Function Take(const char* name) const {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
  }
};

Win32Spooler::Win32Spooler() : m_library(std::make_unique<Library>()) {}

Win32Spooler::~Win32Spooler() = default;

namespace {

// One call of the spooler's two-call protocol: no buffer to learn the size, then a
// buffer of that size. Records point into the buffer, so they are copied out before
// it goes.
template <typename Info, typename Call, typename Take>
bool Enumerate(Call call, std::size_t capacity, std::size_t& needed, std::uint32_t& lastError,
               Take take) {
  std::vector<BYTE> buffer(capacity);
  DWORD need = 0;
  DWORD returned = 0;
  const BOOL ok = call(capacity ? buffer.data() : nullptr, static_cast<DWORD>(capacity), &need,
                       &returned);
  needed = need;
  if (!ok) {
    lastError = GetLastError();
    return false;
  }
  const auto* records = reinterpret_cast<const Info*>(buffer.data());
  for (DWORD i = 0; i < returned && capacity > 0; ++i) take(records[i]);
  return true;
}

std::string Text(const char* text) { return text ? text : ""; }

}  // namespace

bool Win32Spooler::EnumPorts(std::vector<std::string>* ports, std::size_t capacity,
                             std::size_t& needed) {
  if (ports) ports->clear();
  const auto enumPorts = m_library->enumPorts;
  if (!enumPorts) return Unavailable(needed);
  return Enumerate<PORT_INFO_1A>(
      [enumPorts](BYTE* buffer, DWORD size, DWORD* need, DWORD* returned) {
        return enumPorts(nullptr, 1, buffer, size, need, returned);
      },
      capacity, needed, m_lastError,
      [&](const PORT_INFO_1A& port) {
        if (ports) ports->push_back(Text(port.pName));
      });
}

bool Win32Spooler::EnumPrinters(std::vector<SpoolerPrinter>* printers, std::size_t capacity,
                                std::size_t& needed) {
  if (printers) printers->clear();
  const auto enumPrinters = m_library->enumPrinters;
  if (!enumPrinters) return Unavailable(needed);
  return Enumerate<PRINTER_INFO_5A>(
      [enumPrinters](BYTE* buffer, DWORD size, DWORD* need, DWORD* returned) {
        return enumPrinters(PRINTER_ENUM_LOCAL, nullptr, 5, buffer, size, need, returned);
      },
      capacity, needed, m_lastError,
      [&](const PRINTER_INFO_5A& printer) {
        if (printers) printers->push_back({Text(printer.pPrinterName), Text(printer.pPortName)});
      });
}

bool Win32Spooler::Unavailable(std::size_t& needed) {
  needed = 0;
  m_lastError = ERROR_MOD_NOT_FOUND;
  return false;
}

}  // namespace zerviko::ports
