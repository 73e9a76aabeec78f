#include "tools/win32-driver/RemoteWizard.h"

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zerviko::remote {

namespace {

// Memory lent in another process for one message's structure and its text.
class CRemoteMemory {
 public:
  CRemoteMemory(HANDLE process, std::size_t size)
      : m_process(process),
        m_address(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~CRemoteMemory() {
    if (m_address != nullptr) VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
  }
  CRemoteMemory(const CRemoteMemory&) = delete;
  CRemoteMemory& operator=(const CRemoteMemory&) = delete;
  char* Address() const { return static_cast<char*>(m_address); }
  void Write(std::size_t offset, const void* data, std::size_t size) const {
    WriteProcessMemory(m_process, Address() + offset, data, size, nullptr);
  }
  void Read(std::size_t offset, void* data, std::size_t size) const {
    ReadProcessMemory(m_process, Address() + offset, data, size, nullptr);
  }

 private:
  HANDLE m_process;
  void* m_address;
};

constexpr std::size_t kTextOffset = 512;
constexpr int kTextChars = 512;

// Which control marks each page.
constexpr int kPageMarks[] = {1003, 1015, 1019};

}  // namespace

std::string Setting(const char* name) {
  char value[4096] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string UnixPath(const std::string& windowsPath) {
  std::string path = windowsPath.substr(windowsPath.rfind(':') + 1);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool RunOnLinux(const std::string& commandLine) {
  std::string command = "/bin/sh -c \"" + commandLine + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

CVirtualPrinter::CVirtualPrinter(const std::string& com, const std::string& options) {
  static int count = 0;
  m_strFolder = Setting("ZERVIKO_TEST_TMP") + "/printer-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++count);
  std::string name = com;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  m_strLink = Setting("WINEPREFIX") + "/dosdevices/" + name;
  // Wine gives its processes the same few numbers run after run: a folder left by an
  // earlier run is emptied first.
  std::filesystem::remove_all(WindowsPath(m_strFolder));
  std::filesystem::create_directories(WindowsPath(m_strFolder));
  // The printer makes the link itself and removes it when it ends. Its process number,
  // written once the link is there, lets the destructor end it. (The link cannot be
  // looked at from here: any path ending in "com7" names the port itself.)
  const std::string pid = m_strFolder + "/pid";
  m_bReady = RunOnLinux("rm -f '" + m_strLink + "'; '" + Setting("ZERVIKO_TARGET") + "' --link '" + m_strLink +
                        "' --flash-out '" + m_strFolder + "/flash.bin' " + options + " >'" + m_strFolder +
                        "/out' 2>&1 & p=$!; while [ ! -e '" + m_strLink + "' ]; do sleep 0.05; done; echo $p >'" +
                        pid + ".tmp'; mv '" + pid + ".tmp' '" + pid + "'") &&
             WaitFor([&] { return std::filesystem::exists(WindowsPath(pid)); });
}

CVirtualPrinter::~CVirtualPrinter() {
  const std::string pidFile = m_strFolder + "/pid";
  const std::string pid = ReadWholeFile(WindowsPath(pidFile));
  if (pid.empty()) return;
  const std::string number = pid.substr(0, pid.find('\n'));
  RunOnLinux("kill " + number + "; while kill -0 " + number + " 2>/dev/null; do sleep 0.05; done; rm -f '" +
             pidFile + "'");
  WaitFor([&] { return !std::filesystem::exists(WindowsPath(pidFile)); });
}

CRemoteWizard::~CRemoteWizard() {
  if (m_process.hProcess != nullptr) {
    if (IsRunning()) TerminateProcess(m_process.hProcess, 99);
    WaitForSingleObject(m_process.hProcess, 10000);
    CloseHandle(m_process.hProcess);
    CloseHandle(m_process.hThread);
  }
}

std::chrono::milliseconds CRemoteWizard::Start(const std::string& folder, const std::wstring& title,
                                               const std::vector<std::string>& environment) {
  // This process's environment with the settings added.
  std::string block;
  for (const std::string& setting : environment) block += setting + '\0';
  char* own = GetEnvironmentStringsA();
  for (const char* entry = own; *entry != '\0'; entry += std::char_traits<char>::length(entry) + 1) {
    block += std::string(entry) + '\0';
  }
  FreeEnvironmentStringsA(own);
  block += '\0';

  std::string command = "\"" + folder + "zerviko-loader.exe\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  const auto started = std::chrono::steady_clock::now();
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, block.data(), folder.c_str(),
                      &startup, &m_process)) {
    return std::chrono::milliseconds(-1);
  }
  const bool shown = WaitFor([&] {
    // The window of this process with the title (another wizard may show the same).
    m_hMain = nullptr;
    for (HWND window : TopWindows()) {
      if (Text(window) == title && GetDlgItem(window, 1000) != nullptr) m_hMain = window;
    }
    return m_hMain != nullptr && ShownPage() == 0;
  }, 60s);
  if (!shown) return std::chrono::milliseconds(-1);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
}

HWND CRemoteWizard::Page(int n) const {
  for (HWND child = GetWindow(m_hMain, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgItem(child, kPageMarks[n]) != nullptr) return child;
  }
  return nullptr;
}

int CRemoteWizard::ShownPage() const {
  int shown = -1;
  for (int n = 0; n < 3; ++n) {
    HWND page = Page(n);
    if (page != nullptr && IsWindowVisible(page)) {
      if (shown != -1) return -1;
      shown = n;
    }
  }
  return shown;
}

LRESULT CRemoteWizard::Send(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_NORMAL, 10000, &result);
  return static_cast<LRESULT>(result);
}

std::wstring CRemoteWizard::Text(HWND window) {
  wchar_t text[2048] = {};
  Send(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
  return text;
}

void CRemoteWizard::Click(HWND dialog, int id) const {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::vector<std::wstring> CRemoteWizard::Lines(HWND list) {
  std::vector<std::wstring> lines;
  const auto count = Send(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[1024] = {};
    Send(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    lines.emplace_back(text);
  }
  return lines;
}

std::wstring CRemoteWizard::SelectedLine(HWND list) {
  const auto line = Send(list, LB_GETCURSEL, 0, 0);
  if (line == LB_ERR) return {};
  return Lines(list).at(static_cast<std::size_t>(line));
}

void CRemoteWizard::SelectLine(HWND list, const std::wstring& text) const {
  const std::vector<std::wstring> lines = Lines(list);
  const auto found = std::find(lines.begin(), lines.end(), text);
  const WPARAM line = found == lines.end() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(found - lines.begin());
  Send(list, LB_SETCURSEL, line, 0);
  PostMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
}

std::vector<std::wstring> CRemoteWizard::Drives() const {
  HWND combo = Control(1, 1012);
  CRemoteMemory memory(m_process.hProcess, kTextOffset + kTextChars * sizeof(wchar_t));
  std::vector<std::wstring> drives;
  const auto count = Send(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT;
    item.iItem = i;
    item.pszText = reinterpret_cast<wchar_t*>(memory.Address() + kTextOffset);
    item.cchTextMax = kTextChars;
    memory.Write(0, &item, sizeof item);
    Send(combo, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.Address()));
    wchar_t text[kTextChars] = {};
    memory.Read(kTextOffset, text, sizeof text - sizeof(wchar_t));
    drives.emplace_back(text);
  }
  return drives;
}

std::wstring CRemoteWizard::SelectedDrive() const {
  const auto index = Send(Control(1, 1012), CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return {};
  return Drives().at(static_cast<std::size_t>(index));
}

void CRemoteWizard::SelectDrive(const std::wstring& text) const {
  HWND combo = Control(1, 1012);
  const std::vector<std::wstring> drives = Drives();
  const auto found = std::find(drives.begin(), drives.end(), text);
  Send(combo, CB_SETCURSEL, found == drives.end() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(found - drives.begin()), 0);
  PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(1012, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

std::wstring CRemoteWizard::TreeText(HTREEITEM item) const {
  CRemoteMemory memory(m_process.hProcess, kTextOffset + kTextChars * sizeof(wchar_t));
  TVITEMW data{};
  data.mask = TVIF_TEXT;
  data.hItem = item;
  data.pszText = reinterpret_cast<wchar_t*>(memory.Address() + kTextOffset);
  data.cchTextMax = kTextChars;
  memory.Write(0, &data, sizeof data);
  Send(Control(1, 1014), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.Address()));
  wchar_t text[kTextChars] = {};
  memory.Read(kTextOffset, text, sizeof text - sizeof(wchar_t));
  return text;
}

std::vector<std::wstring> CRemoteWizard::SelectedFolderPath() const {
  HWND tree = Control(1, 1014);
  std::vector<std::wstring> path;
  for (auto item = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)); item != nullptr;
       item = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)))) {
    path.insert(path.begin(), TreeText(item));
  }
  return path;
}

std::vector<std::wstring> CRemoteWizard::SelectedFolderChildren() const {
  HWND tree = Control(1, 1014);
  std::vector<std::wstring> children;
  const auto selected = Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
  for (auto item = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, selected)); item != nullptr;
       item = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
    children.push_back(TreeText(item));
  }
  return children;
}

int CRemoteWizard::SelectedFolderPicture() const {
  HWND tree = Control(1, 1014);
  CRemoteMemory memory(m_process.hProcess, sizeof(TVITEMW));
  TVITEMW data{};
  data.mask = TVIF_IMAGE;
  data.hItem = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  memory.Write(0, &data, sizeof data);
  Send(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.Address()));
  memory.Read(0, &data, sizeof data);
  return data.iImage;
}

void CRemoteWizard::DoubleClickSelectedFolder() const {
  HWND tree = Control(1, 1014);
  // The item's rectangle: the item goes in, its text's rectangle comes out.
  CRemoteMemory memory(m_process.hProcess, sizeof(RECT));
  const auto item = Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
  RECT rect{};
  auto measure = [&] {
    memory.Write(0, &item, sizeof item);
    Send(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(memory.Address()));
    memory.Read(0, &rect, sizeof rect);
  };
  RECT client{};
  GetClientRect(tree, &client);
  // A deep folder's text may lie to the right of the tree's window: the user scrolls
  // until it shows.
  measure();
  for (int i = 0; i < 200 && rect.right > client.right && rect.left > client.left + 4; ++i) {
    Send(tree, WM_HSCROLL, SB_LINERIGHT, 0);
    measure();
  }
  const LONG x = std::max(rect.left + 2, std::min((rect.left + rect.right) / 2, client.right - 3));
  const LPARAM point = MAKELPARAM(x, (rect.top + rect.bottom) / 2);
  // The double click alone: a button press first would start the tree's own wait for a
  // drag, which depends on where the real pointer is.
  PostMessageW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
  PostMessageW(tree, WM_LBUTTONUP, 0, point);
}

std::vector<HWND> CRemoteWizard::TopWindows() const {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{m_process.dwProcessId, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (pid == s->pid && IsWindowVisible(window) && std::wstring(name) == L"#32770") s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool CRemoteWizard::WaitForMessageBox(MessageBoxSeen* box, std::chrono::milliseconds timeout) const {
  // A message box is the wizard's dialog window with a text of id 0xFFFF and an OK button.
  return WaitFor([&] {
    for (HWND window : TopWindows()) {
      HWND text = GetDlgItem(window, 0xFFFF);
      if (window == m_hMain || text == nullptr || GetDlgItem(window, IDOK) == nullptr) continue;
      box->window = window;
      box->caption = Text(window);
      box->text = Text(text);
      return true;
    }
    return false;
  }, timeout);
}

void CRemoteWizard::Dismiss(const MessageBoxSeen& box) { PostMessageW(box.window, WM_COMMAND, IDOK, 0); }

HWND CRemoteWizard::BusyWindow() const {
  for (HWND window : TopWindows()) {
    if (window != m_hMain && GetDlgItem(window, IDOK) == nullptr && (GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU) == 0) {
      return window;
    }
  }
  return nullptr;
}

bool CRemoteWizard::IsRunning() const {
  return m_process.hProcess != nullptr && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

int CRemoteWizard::WaitForExit(std::chrono::milliseconds timeout) {
  if (WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(m_process.hProcess, &code);
  return static_cast<int>(code);
}

int PageTextWidth(const std::wstring& text) {
  HDC screen = GetDC(nullptr);
  HFONT font = CreateFontW(-MulDiv(11, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                           FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, L"Arial");
  HGDIOBJ old = SelectObject(screen, font);
  SIZE extent{};
  GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(screen, old);
  DeleteObject(font);
  ReleaseDC(nullptr, screen);
  return extent.cx;
}

std::wstring RunInConsole(std::wstring commandLine, std::chrono::milliseconds timeout) {
  // A console of this program's own, which the command inherits with its standard
  // handles; this program's output stays where it went.
  FreeConsole();
  if (!AllocConsole()) return {};
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring screen;
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    const bool ended = WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 1);  // not left behind on the test's console
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (ended && GetConsoleScreenBufferInfo(console, &info)) {
      screen.assign(static_cast<std::size_t>(info.dwSize.X) * (info.dwCursorPosition.Y + 1), L' ');
      DWORD read = 0;
      ReadConsoleOutputCharacterW(console, screen.data(), static_cast<DWORD>(screen.size()), COORD{0, 0}, &read);
      screen.resize(read);
    }
    CloseHandle(console);
  }
  FreeConsole();
  return screen;
}

HCURSOR CRemoteWizard::CursorOver(HWND window) {
  Send(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  CURSORINFO info{};
  info.cbSize = sizeof info;
  return GetCursorInfo(&info) ? info.hCursor : nullptr;
}

namespace {

// A bitmap's pixels, as 32-bit rows from the top.
CRemoteWizard::Pixels PixelsOf(HDC dc, HBITMAP bitmap, int width, int height) {
  CRemoteWizard::Pixels pixels{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
  BITMAPINFO format{};
  format.bmiHeader = {sizeof format.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.rgb.data(), &format, DIB_RGB_COLORS) != height) {
    return {};
  }
  for (std::uint32_t& pixel : pixels.rgb) pixel &= 0xFFFFFFu;
  return pixels;
}

}  // namespace

CRemoteWizard::Pixels CRemoteWizard::OnScreen(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return {};
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP copy = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, copy);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  Pixels pixels = PixelsOf(memory, copy, width, height);
  DeleteObject(copy);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

CRemoteWizard::Pixels CRemoteWizard::Picture(const std::string& program, const char* name) {
  HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return {};
  HBITMAP picture = static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  Pixels pixels;
  BITMAP info{};
  if (picture != nullptr && GetObject(picture, sizeof info, &info) != 0) {
    HDC screen = GetDC(nullptr);
    pixels = PixelsOf(screen, picture, info.bmWidth, info.bmHeight);
    ReleaseDC(nullptr, screen);
  }
  if (picture != nullptr) DeleteObject(picture);
  FreeLibrary(module);
  return pixels;
}

}  // namespace zerviko::remote
