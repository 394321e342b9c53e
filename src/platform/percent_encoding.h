// Percent-encoding (RFC 3986) for the URLs Quillet writes: a file:// URL for
// LibreOffice's profile and the movie's name in the page.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

// `text` with every byte outside the unreserved set (ASCII letters and
// digits, "-", ".", "_", "~") and outside `alsoKept` written as %XX.
inline std::string PercentEncode(std::string_view text, std::string_view alsoKept = {}) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved || alsoKept.find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

}  // namespace quillet
