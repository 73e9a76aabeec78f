// The port list on Windows, as the loader was designed to build it: the spooler's COM
// and USB ports with the local printer installed on each, and the COM port of the
// printer's own USB bridge, found through the bridge maker's library and the
// registry, pre-selected.
#include "ports/PortList.h"
#include "ports/Win32Providers.h"

// After the providers' header, whose LB_ERR <windows.h> would take for its macro.
#include <windows.h>

namespace zerviko::ports {

namespace {

// The folder of the running program, in UTF-8 (it may hold the user's name), ending
// in a separator.
std::string ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const std::wstring file(path, length);
  const std::wstring folder = file.substr(0, file.find_last_of(L"\\/") + 1);
  const int size = WideCharToMultiByte(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

}  // namespace

PortList BuildPortList() {
  Win32Spooler spooler;
  Win32BridgeLibrary library;
  Win32Registry registry;
  Win32Version version;
  PortListBox list;
  std::vector<std::string> portNames;
  FillPortList(list, portNames, spooler, library, registry, version);
  return ToPortList(list, portNames);
}

std::string FindPrinterBridgePort() {
  Win32BridgeLibrary library;
  Win32Registry registry;
  Win32Version version;
  const int comNumber = FindBridgeComPort(library, registry, version, BRIDGE_PRODUCT_TEXT);
  return comNumber >= 1 ? "COM" + std::to_string(comNumber) : std::string();
}

std::vector<PrinterBridge> FindPrinterBridges() {
  Win32BridgeLibrary library;
  Win32Registry registry;
  Win32Version version;
  return FindBridgeComPorts(library, registry, version, BRIDGE_PRODUCT_TEXT);
}

// LoadLibraryA looks in the program's folder first, then where the system looks
// (its own folders, then PATH): a library found nowhere means no bridge driver is
// installed, which a user must be told rather than to connect a printer that is there.
std::string BridgeSearchProblem() {
  const Win32BridgeLibrary library;
  const std::string name = Win32BridgeLibrary::LIBRARY_NAME;
  if (library.Loaded()) return {};
  if (library.Found()) {
    return "the " + name + " that Windows loads is not the bridge maker's library (it lacks its "
           "functions). Put the library of the printer bridge's driver in its place.";
  }
  const std::string folder = ProgramFolder();
  return "the bridge maker's library " + name + " was not found: it was looked for beside the program" +
         (folder.empty() ? std::string() : " (" + folder + ")") +
         ", then in the system's folders and the folders of PATH. Install the driver of the "
         "printer's USB bridge, which brings it, or copy " + name + " beside the program.";
}

}  // namespace zerviko::ports
