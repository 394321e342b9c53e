// Reading UTF-8 one code point at a time, the same way everywhere: a
// malformed sequence (a stray continuation byte, a cut-off sequence, an
// overlong form, a surrogate, anything past U+10FFFF) reads as one byte that
// is no code point.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

struct CodePoint {
  char32_t code = kReplacement;  // kReplacement when !valid
  std::size_t length = 1;        // bytes taken, at least 1
  bool valid = false;
};

// The code point that starts at `at` (< text.size()).
constexpr CodePoint Decode(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = 0;
  char32_t code = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return {};
  }
  if (text.size() - at < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return {};
    code = (code << 6) | (next & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
  return {code, length, true};
}

constexpr bool IsValid(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const CodePoint point = Decode(text, at);
    if (!point.valid) return false;
    at += point.length;
  }
  return true;
}

// Appends `code` (a valid code point) to `out` in UTF-8.
inline void Append(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace quillet::utf8
