// Page filling: any deck name fills the built-in page without adding markup
// (the page has exactly as many < > " ' characters as with a plain name and
// no placeholder left), and every script keeps its code: outside its string
// literals it reads as with a plain name, each literal is closed on its line
// with valid escapes, and nothing in it can end the script element.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/web_page.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  __builtin_trap();
  (void)what;
}

// The code of a script with every string literal replaced by "": fails on a
// literal that is not closed on its line or has a broken escape.
std::string CodeOutsideStrings(std::string_view script) {
  std::string code;
  std::size_t at = 0;
  while (at < script.size()) {
    const char c = script[at++];
    if (c == '/' && at < script.size() && (script[at] == '/' || script[at] == '*')) {  // a comment, kept as code
      const std::size_t end = script[at] == '/' ? script.find('\n', at) : script.find("*/", at);
      const std::size_t stop = end == std::string_view::npos ? script.size() : end;
      code += c;
      code += script.substr(at, stop - at);
      at = stop;
      continue;
    }
    if (c != '"' && c != '\'' && c != '`') {
      code += c;
      continue;
    }
    code += "\"\"";
    for (;;) {
      if (at >= script.size()) Fail("unclosed string");
      if (c != '`' && (script[at] == '\n' || script[at] == '\r')) Fail("string broken over lines");
      const char inside = script[at++];
      if (inside == c) break;
      if (inside != '\\') continue;
      if (at >= script.size()) Fail("escape at the end");
      const char escaped = script[at++];
      if (escaped == 'u') {
        for (int digit = 0; digit < 4; ++digit) {
          if (at >= script.size() || !std::isxdigit(static_cast<unsigned char>(script[at++]))) Fail("bad \\u");
        }
      } else if (escaped == 'x') {
        for (int digit = 0; digit < 2; ++digit) {
          if (at >= script.size() || !std::isxdigit(static_cast<unsigned char>(script[at++]))) Fail("bad \\x");
        }
      }
    }
  }
  return code;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// The bodies of the page's <script> elements, code only.
std::vector<std::string> Scripts(const std::string& page) {
  const std::string lower = Lower(page);
  std::vector<std::string> scripts;
  std::size_t at = 0;
  while ((at = lower.find("<script", at)) != std::string::npos) {
    const std::size_t open = lower.find('>', at);
    const std::size_t close = lower.find("</script", open);
    if (open == std::string::npos || close == std::string::npos) Fail("script element not closed");
    scripts.push_back(CodeOutsideStrings(std::string_view(page).substr(open + 1, close - open - 1)));
    at = close + 1;
  }
  return scripts;
}

std::size_t Count(const std::string& text, char c) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  static const std::string plain = quillet::FillPageTemplate(quillet::kDefaultPageTemplate, "plain.swf", 720, 540);
  static const std::vector<std::string> plainScripts = Scripts(plain);
  const std::string page = quillet::FillPageTemplate(quillet::kDefaultPageTemplate, name + ".swf", 720, 540);
  for (const char c : {'<', '>', '"', '\''}) {
    if (Count(page, c) != Count(plain, c)) Fail("markup from the name");
  }
  for (const char* placeholder : {"[[filename]]", "[[width]]", "[[height]]"}) {
    if (page.find(placeholder) != std::string::npos) Fail("placeholder left");
  }
  if (Scripts(page) != plainScripts) Fail("script code changed");
  return 0;
}
