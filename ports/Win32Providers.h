// Port discovery's providers on Windows, each over the system call the discovery was
// designed around: the print spooler (EnumPortsA, EnumPrintersA), the bridge maker's
// library CP210xManufacturing.dll (loaded at run time, its functions taken by
// ordinal), the registry below HKEY_LOCAL_MACHINE (read only) and GetVersion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ports/PortDiscovery.h"

namespace zerviko::ports {

// The local spooler: its ports by spooler name (COM3:, USB001, LPT1:...), and its
// local printers with the port each prints to.
class Win32Spooler : public PrintSpooler {
 public:
  Win32Spooler();
  ~Win32Spooler() override;
  Win32Spooler(const Win32Spooler&) = delete;
  Win32Spooler& operator=(const Win32Spooler&) = delete;

  PortNaming Naming() const override { return PortNaming::SPOOLER_NAMES; }
  bool EnumPorts(std::vector<std::string>* ports, std::size_t capacity,
                 std::size_t& needed) override;
  bool EnumPrinters(std::vector<SpoolerPrinter>* printers, std::size_t capacity,
                    std::size_t& needed) override;
  std::uint32_t LastError() const override { return m_lastError; }

 private:
  struct Library;
  bool Unavailable(std::size_t& needed);

  std::unique_ptr<Library> m_library;
  std::uint32_t m_lastError = 0;
};

// The bridge maker's library, loaded when the object is made and freed with it. A
// machine without the library (no bridge driver installed) has no bridge devices:
// every call then fails, and no count is delivered. So does a library that lacks
// one of the seven functions.
class Win32BridgeLibrary : public BridgeLibrary {
 public:
  static constexpr const char* LIBRARY_NAME = "CP210xManufacturing.dll";

  explicit Win32BridgeLibrary(const char* libraryName = LIBRARY_NAME);
  ~Win32BridgeLibrary() override;
  Win32BridgeLibrary(const Win32BridgeLibrary&) = delete;
  Win32BridgeLibrary& operator=(const Win32BridgeLibrary&) = delete;

  bool Loaded() const { return m_functions != nullptr; }
  // A library of that name was loaded, whether or not it had the seven functions.
  bool Found() const { return m_hLibrary != nullptr; }

  int GetDeviceCount(std::uint32_t& count) override;
  int GetProductText(std::uint32_t index, BridgeProductBuffer& text,
                     std::uint32_t option) override;
  int Open(std::uint32_t index, BridgeHandle& handle) override;
  int Close(BridgeHandle handle) override;
  int GetSerialText(BridgeHandle handle, BridgeSerialBuffer& text, std::uint8_t& length,
                    bool singleByte) override;
  int GetVendorId(BridgeHandle handle, std::uint16_t& vendorId) override;
  int GetProductId(BridgeHandle handle, std::uint16_t& productId) override;

 private:
  struct Functions;
  void* m_hLibrary = nullptr;
  std::unique_ptr<Functions> m_functions;
};

// Returned by Win32BridgeLibrary when the library is not there.
inline constexpr int BRIDGE_ERROR_NO_LIBRARY = 0xFF;

// The registry, read only. REGISTRY_LOCAL_MACHINE stands for HKEY_LOCAL_MACHINE.
class Win32Registry : public Registry {
 public:
  long OpenKey(RegistryKey parent, const std::string& subKey, std::uint32_t access,
               RegistryKey& key) override;
  long QueryValue(RegistryKey key, const std::string& name, char* data,
                  std::uint32_t& size) override;
  long CloseKey(RegistryKey key) override;
  bool KeyWriteTime(RegistryKey key, std::uint64_t& time) override;
};

class Win32Version : public PlatformVersion {
 public:
  std::uint32_t GetVersion() override;
};

}  // namespace zerviko::ports
