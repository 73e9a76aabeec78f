// The bridge maker's library, loaded at run time and its functions taken by ordinal.
#include "ports/Win32Providers.h"

#include <windows.h>

namespace zerviko::ports {

// The seven functions, by the ordinals the library exports them under.
struct Win32BridgeLibrary::Functions {
  int(WINAPI* getDeviceCount)(DWORD* count);                                   // 1
  int(WINAPI* getProductText)(DWORD index, void* text, DWORD option);          // 2
  int(WINAPI* open)(DWORD index, HANDLE* handle);                              // 3
  int(WINAPI* close)(HANDLE handle);                                           // 4
  int(WINAPI* getSerialText)(HANDLE handle, void* text, BYTE* length, BOOL singleByte);  // 13
  int(WINAPI* getVendorId)(HANDLE handle, WORD* vendorId);                     // 14
  int(WINAPI* getProductId)(HANDLE handle, WORD* productId);                   // 15
};

namespace {

template <typename Function>
bool Take(HMODULE library, WORD ordinal, Function& function) {
  const FARPROC address = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  return address != nullptr;
}

HANDLE Handle(BridgeHandle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

Win32BridgeLibrary::Win32BridgeLibrary(const char* libraryName) {
  // No dialog box for a library that is missing or cannot be loaded.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE library = LoadLibraryA(libraryName);
  SetErrorMode(previous);
  if (!library) return;
  m_hLibrary = library;
  auto functions = std::make_unique<Functions>();
  if (Take(library, 1, functions->getDeviceCount) && Take(library, 2, functions->getProductText) &&
      Take(library, 3, functions->open) && Take(library, 4, functions->close) &&
      Take(library, 13, functions->getSerialText) && Take(library, 14, functions->getVendorId) &&
      Take(library, 15, functions->getProductId)) {
    m_functions = std::move(functions);
  }
}

Win32BridgeLibrary::~Win32BridgeLibrary() {
  if (m_hLibrary) FreeLibrary(static_cast<HMODULE>(m_hLibrary));
}

int Win32BridgeLibrary::GetDeviceCount(std::uint32_t& count) {
  if (!m_functions) return BRIDGE_ERROR_NO_LIBRARY;
  DWORD devices = count;
  const int result = m_functions->getDeviceCount(&devices);
  count = devices;
  return result;
}

int Win32BridgeLibrary::GetProductText(std::uint32_t index, BridgeProductBuffer& text,
                                       std::uint32_t option) {
  if (!m_functions) return BRIDGE_ERROR_NO_LIBRARY;
  return m_functions->getProductText(index, text.data(), option);
}

int Win32BridgeLibrary::Open(std::uint32_t index, BridgeHandle& handle) {
  if (!m_functions) return BRIDGE_ERROR_NO_LIBRARY;
  HANDLE opened = nullptr;
  const int result = m_functions->open(index, &opened);
  handle = reinterpret_cast<BridgeHandle>(opened);
  return result;
}

int Win32BridgeLibrary::Close(BridgeHandle handle) {
  if (!m_functions) return BRIDGE_ERROR_NO_LIBRARY;
  return m_functions->close(Handle(handle));
}

int Win32BridgeLibrary::GetSerialText(BridgeHandle handle, BridgeSerialBuffer& text,
                                      std::uint8_t& length, bool singleByte) {
  if (!m_functions) return BRIDGE_ERROR_NO_LIBRARY;
  BYTE reported = length;
  const int result = m_functions->getSerialText(Handle(handle), text.data(), &reported,
                                                singleByte ? TRUE : FALSE);
  length = reported;
  return result;
}

int Win32BridgeLibrary::GetVendorId(BridgeHandle handle, std::uint16_t& vendorId) {
  if (!m_functions) return BRIDGE_ERROR_NO_LIBRARY;
  WORD value = 0;
  const int result = m_functions->getVendorId(Handle(handle), &value);
  vendorId = value;
  return result;
}

int Win32BridgeLibrary::GetProductId(BridgeHandle handle, std::uint16_t& productId) {
  if (!m_functions) return BRIDGE_ERROR_NO_LIBRARY;
  WORD value = 0;
  const int result = m_functions->getProductId(Handle(handle), &value);
  productId = value;
  return result;
}

}  // namespace zerviko::ports
