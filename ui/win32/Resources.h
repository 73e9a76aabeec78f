// Where the wizard's resources come from: the program's own, or a language library's
// wholesale (loaded as data at start-up). Every dialog, string and picture is looked up
// through ResourceModule().
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "wizard/StringIds.h"

namespace zerviko::win32 {

HINSTANCE ResourceModule();
void SetResourceModule(HINSTANCE module);

// The text of a string-table entry in the interface's language; empty when missing.
std::wstring LoadText(int id);
// The same with %1, %2... filled in from args, in order.
std::wstring LoadText(int id, const std::vector<std::wstring>& args);

// A name from the system's 8-bit interfaces (a port, a drive, a file), in the
// process's code page (UTF-8), as the controls show it.
std::wstring Wide(const std::string& ansi);

// A bitmap resource by number or by name; null when there is none. The caller frees it.
HBITMAP LoadPicture(const char* name);
HBITMAP LoadPicture(int id);

// Text from outside the program (a package's texts), shown as it was written: UTF-8
// when it is valid UTF-8, otherwise the system's ANSI code page (PackageCodePage);
// LF line ends become CR LF for the edit controls.
std::wstring DisplayText(const std::string& bytes);

// The code page package texts are written in: the ANSI code page of the system's
// locale, whatever the process's own.
UINT PackageCodePage();

// Sets a control's text from such bytes.
void SetControlText(HWND control, const std::string& bytes);

}  // namespace zerviko::win32
