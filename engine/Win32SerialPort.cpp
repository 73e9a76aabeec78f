#include "engine/Win32SerialPort.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace zerviko {

namespace {

HANDLE Handle(void* port) { return static_cast<HANDLE>(port); }

bool ReadSettings(HANDLE port, DCB* dcb) {
  *dcb = DCB{};
  dcb->DCBlength = sizeof(DCB);
  return GetCommState(port, dcb) != FALSE;
}

// SetCommState may have changed part of the line before it failed; the settings read
// before the change are put back so that a refused change leaves the port as it was.
bool WriteSettings(HANDLE port, DCB* changed, DCB* before) {
  if (SetCommState(port, changed)) return true;
  SetCommState(port, before);
  return false;
}

// The path CreateFileA is given for a port name: "\\.\COMn" for COMn and the
// spooler's COMn: (the only form that reaches ports above COM9), any other name as it
// is.
std::string DevicePath(const std::string& name) {
  std::string port = name;
  if (!port.empty() && port.back() == ':') port.pop_back();
  const bool com = port.size() > 3 && _strnicmp(port.c_str(), "COM", 3) == 0 &&
                   std::all_of(port.begin() + 3, port.end(),
                               [](unsigned char c) { return std::isdigit(c) != 0; });
  return com ? "\\\\.\\" + port : name;
}

}  // namespace

Win32SerialPort::~Win32SerialPort() { Close(); }

bool Win32SerialPort::Open(const std::string& name) {
  Close();
  const std::string path = DevicePath(name);
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    m_nOpenError = GetLastError();
    return false;
  }
  m_hPort = port;
  m_nOpenError = 0;
  return true;
}

void Win32SerialPort::Close() {
  if (!m_hPort) return;
  CloseHandle(Handle(m_hPort));
  m_hPort = nullptr;
}

bool Win32SerialPort::Configure(const std::string& settings) {
  if (!m_hPort) return false;
  DCB before;
  if (!ReadSettings(Handle(m_hPort), &before)) return false;
  DCB dcb = before;
  // BuildCommDCBA takes a writable text; the caller's stays untouched.
  std::vector<char> text(settings.begin(), settings.end());
  text.push_back('\0');
  if (!BuildCommDCBA(text.data(), &dcb)) return false;
  return WriteSettings(Handle(m_hPort), &dcb, &before);
}

bool Win32SerialPort::SetBaudRate(std::int32_t rate) {
  if (!m_hPort || rate <= 0) return false;
  DCB before;
  if (!ReadSettings(Handle(m_hPort), &before)) return false;
  DCB dcb = before;
  dcb.BaudRate = static_cast<DWORD>(rate);
  return WriteSettings(Handle(m_hPort), &dcb, &before);
}

bool Win32SerialPort::SetBufferSizes(std::uint32_t inputSize, std::uint32_t outputSize) {
  return m_hPort && SetupComm(Handle(m_hPort), inputSize, outputSize);
}

bool Win32SerialPort::SetReadTimeout(std::uint32_t milliseconds) {
  if (!m_hPort) return false;
  COMMTIMEOUTS timeouts{};
  if (!GetCommTimeouts(Handle(m_hPort), &timeouts)) return false;
  if (milliseconds == 0) {
    // Return at once with whatever has arrived.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
  } else {
    // Wait up to the time in all for the bytes asked for.
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = milliseconds;
  }
  return SetCommTimeouts(Handle(m_hPort), &timeouts);
}

bool Win32SerialPort::PurgeInput() { return m_hPort && PurgeComm(Handle(m_hPort), PURGE_RXCLEAR); }

// The control field of the settings record changes, and SetCommState takes it to the
// line at once; a later SetCommState (a new rate) keeps it so. Not EscapeCommFunction:
// a change made through it alone would be undone by that later SetCommState, and Wine
// refuses it on a pseudo-terminal, where it does carry the settings record.
bool Win32SerialPort::SetModemLine(bool rts, bool on) {
  if (!m_hPort) return false;
  DCB before;
  if (!ReadSettings(Handle(m_hPort), &before)) return false;
  DCB dcb = before;
  if (rts) {
    dcb.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  } else {
    dcb.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  }
  return WriteSettings(Handle(m_hPort), &dcb, &before);
}

bool Win32SerialPort::SetRts(bool on) { return SetModemLine(true, on); }

bool Win32SerialPort::SetDtr(bool on) { return SetModemLine(false, on); }

bool Win32SerialPort::WriteByte(std::uint8_t byte) {
  DWORD written = 0;
  return m_hPort && WriteFile(Handle(m_hPort), &byte, 1, &written, nullptr) && written == 1;
}

bool Win32SerialPort::Read(std::uint8_t* buffer, std::size_t count, std::size_t* countRead) {
  if (countRead) *countRead = 0;
  if (!m_hPort) return false;
  DWORD got = 0;
  const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(count, MAXDWORD));
  if (!ReadFile(Handle(m_hPort), buffer, asked, &got, nullptr)) return false;
  if (countRead) *countRead = got;
  return true;
}

bool Win32SerialPort::ReadByte(std::uint8_t* byte) {
  std::size_t got = 0;
  return Read(byte, 1, &got) && got == 1;
}

}  // namespace zerviko
