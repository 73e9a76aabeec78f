#include "cli/Text.h"

#include <cstdint>
#include <nlohmann/json.hpp>

namespace zerviko::cli {
namespace {

bool IsUtf8(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t follow = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++at;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      follow = 1;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      follow = 2;
      code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      follow = 3;
      code = lead & 0x07u;
    } else {
      return false;
    }
    if (at + follow >= text.size()) return false;  // cut short by the end of the text
    for (std::size_t i = 1; i <= follow; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms, UTF-16 surrogates and code points beyond Unicode are not UTF-8.
    if ((follow == 2 && code < 0x800) || (follow == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    at += follow + 1;
  }
  return true;
}

// Windows-1252 bytes 0x80 to 0x9F; the five the code page leaves undefined keep their
// C1 control code points, as Windows itself converts them.
constexpr char16_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Cp1252ToUtf8(const std::string& text) {
  std::string utf8;
  utf8.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const std::uint32_t code = byte >= 0x80 && byte <= 0x9F ? CP1252_HIGH[byte - 0x80] : byte;
    if (code < 0x80) {
      utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
      utf8 += static_cast<char>(0xC0 | (code >> 6));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | (code >> 12));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}

void MakeUtf8(nlohmann::ordered_json& value) {
  if (value.is_string()) {
    value = Utf8Text(value.get_ref<const std::string&>());
  } else if (value.is_structured()) {
    for (auto& item : value) MakeUtf8(item);
  }
}

}  // namespace

std::string JsonLine(const nlohmann::ordered_json& object) {
  nlohmann::ordered_json utf8 = object;
  MakeUtf8(utf8);
  return utf8.dump();
}

std::string Utf8Text(const std::string& text) { return IsUtf8(text) ? text : Cp1252ToUtf8(text); }

std::string PrintableText(const std::string& text) {
  const std::string utf8 = Utf8Text(text);
  std::string shown;
  shown.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size(); ++at) {
    auto code = static_cast<unsigned char>(utf8[at]);
    // C1 controls, U+0080 to U+009F, are two bytes in UTF-8: 0xC2 and the code.
    const bool c1 = code == 0xC2 && at + 1 < utf8.size() &&
                    static_cast<unsigned char>(utf8[at + 1]) >= 0x80 &&
                    static_cast<unsigned char>(utf8[at + 1]) <= 0x9F;
    if (c1) code = static_cast<unsigned char>(utf8[++at]);
    if (code < 0x20 || code == 0x7F || c1) {
      constexpr char HEX[] = "0123456789abcdef";
      shown += "\\x";
      shown += HEX[code >> 4];
      shown += HEX[code & 0x0F];
    } else {
      shown += utf8[at];
    }
  }
  return shown;
}

}  // namespace zerviko::cli
