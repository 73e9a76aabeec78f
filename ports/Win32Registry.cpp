// The registry below HKEY_LOCAL_MACHINE, read only, and the platform version.
#include "ports/Win32Providers.h"

#include <windows.h>

namespace zerviko::ports {

namespace {

// The predefined key is a sign-extended 32-bit value, not the number it is written as.
HKEY Key(RegistryKey key) {
  return key == REGISTRY_LOCAL_MACHINE ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key);
}

}  // namespace

long Win32Registry::OpenKey(RegistryKey parent, const std::string& subKey, std::uint32_t access,
                            RegistryKey& key) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExA(Key(parent), subKey.c_str(), 0, access, &opened);
  if (result == ERROR_SUCCESS) key = reinterpret_cast<RegistryKey>(opened);
  return result;
}

long Win32Registry::QueryValue(RegistryKey key, const std::string& name, char* data,
                               std::uint32_t& size) {
  DWORD length = size;
  const LONG result = RegQueryValueExA(Key(key), name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(data), &length);
  size = length;
  return result;
}

long Win32Registry::CloseKey(RegistryKey key) { return RegCloseKey(Key(key)); }

bool Win32Registry::KeyWriteTime(RegistryKey key, std::uint64_t& time) {
  FILETIME written{};
  if (RegQueryInfoKeyA(Key(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, &written) != ERROR_SUCCESS) {
    return false;
  }
  time = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  return true;
}

std::uint32_t Win32Version::GetVersion() { return ::GetVersion(); }

}  // namespace zerviko::ports
