#include "ui/win32/Resources.h"

namespace zerviko::win32 {

namespace {
HINSTANCE g_hResources = nullptr;
}

HINSTANCE ResourceModule() { return g_hResources != nullptr ? g_hResources : GetModuleHandleA(nullptr); }

void SetResourceModule(HINSTANCE module) { g_hResources = module; }

std::wstring LoadText(int id) {
  // LoadStringW with no buffer gives the resource's own text, of any length.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(ResourceModule(), static_cast<UINT>(id),
                                 reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return std::wstring(text, static_cast<std::size_t>(length));
}

std::wstring LoadText(int id, const std::vector<std::wstring>& args) {
  // One pass, so that a "%2" inside a filled-in path is left as it is.
  const std::wstring text = LoadText(id);
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t n = i + 1 < text.size() ? static_cast<std::size_t>(text[i + 1] - L'1') : args.size();
    if (text[i] == L'%' && n < args.size()) {
      out += args[n];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::wstring Wide(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), length);
  return wide;
}

HBITMAP LoadPicture(const char* name) {
  return static_cast<HBITMAP>(LoadImageA(ResourceModule(), name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

HBITMAP LoadPicture(int id) { return LoadPicture(MAKEINTRESOURCEA(id)); }

UINT PackageCodePage() {
  // The process's own code page is UTF-8 (its manifest); packages are written in the
  // ANSI code page of the system's locale, Windows-1252 on a Western system.
  DWORD codePage = 0;
  if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t)) == 0 ||
      codePage == 0 || codePage == CP_UTF8) {
    return 1252;
  }
  return codePage;
}

std::wstring DisplayText(const std::string& bytes) {
  std::wstring wide;
  if (!bytes.empty()) {
    const int size = static_cast<int>(bytes.size());
    UINT codePage = CP_UTF8;
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length == 0) {
      codePage = PackageCodePage();
      length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    }
    wide.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
  }
  std::wstring crlf;
  crlf.reserve(wide.size() + wide.size() / 32);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'\n' && (i == 0 || wide[i - 1] != L'\r')) crlf += L'\r';
    crlf += wide[i];
  }
  return crlf;
}

void SetControlText(HWND control, const std::string& bytes) {
  SetWindowTextW(control, DisplayText(bytes).c_str());
}

}  // namespace zerviko::win32
