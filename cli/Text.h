// Texts from outside the program (package texts, printer descriptions, file names) as
// zerviko-flash prints them.
#pragma once

#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <string>

namespace zerviko::cli {

// 8-bit text as UTF-8. Text that is valid UTF-8 (the code page of a Linux system, and
// of our sample packages) stays as it is; any other is read as Windows-1252, the
// Western European code page packages written on Windows use, byte for byte, so
// nothing is lost and the result is always valid UTF-8.
std::string Utf8Text(const std::string& text);

// Utf8Text for a terminal or a plain-text report: every control character (C0, DEL
// and C1, a lone CR and a tab too) is shown as \x and its two hex digits, so that no
// text from outside can move the cursor, recolour, retitle or rewrite the user's
// terminal. A backslash stays as it is; the exact text is what --json gives.
std::string PrintableText(const std::string& text);

// object as one line of JSON, every string in it made UTF-8 as Utf8Text does: what
// zerviko-flash gives in --json and in a station's record, the same text the terminal
// shows, and never a replacement character that would make two serials one.
std::string JsonLine(const nlohmann::ordered_json& object);

// A path as the program holds it (UTF-8 on every system) for std::filesystem, which
// on Windows would otherwise read the bytes in another code page.
inline std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace zerviko::cli
