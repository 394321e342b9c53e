// The web page. The movie's name is one value, yet the template uses it in
// three kinds of place: as text of the page, as a relative URL and inside a
// script. FillPageTemplate follows the HTML far enough to know which kind of
// place each "[[filename]]" stands in (text, a tag's attribute value, a
// <script> or <style> element, a comment) and escapes the name for it. The
// same walk puts the transcript, which is markup, only where markup can stand.
#include "conversion/web_page.h"

#include <array>
#include <cctype>
#include <cstdint>

#include "platform/percent_encoding.h"
#include "platform/utf8.h"

namespace quillet {
namespace {

constexpr std::string_view kFileNamePlaceholder = "[[filename]]";
constexpr std::string_view kWidthPlaceholder = "[[width]]";
constexpr std::string_view kHeightPlaceholder = "[[height]]";
constexpr std::string_view kPlayerPlaceholder = "[[player]]";
constexpr std::string_view kTranscriptPlaceholder = "[[transcript]]";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// kText is the page's text between tags; kHtml is an attribute value or a
// comment, which take the same escaping but no markup.
enum class NameContext { kText, kHtml, kUrl, kScript };

std::string ToLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  return ToLower(text.substr(at, prefix.size())) == prefix;
}

bool IsNameCharacter(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '-' || c == '_' || c == ':' || c == '.';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

NameContext AttributeContext(const std::string& tag, const std::string& attribute) {
  static constexpr std::array<std::string_view, 6> kUrlAttributes = {"src",    "href",   "data",
                                                                     "action", "poster", "codebase"};
  for (std::string_view url : kUrlAttributes) {
    if (attribute == url) return NameContext::kUrl;
  }
  if (tag == "param" && attribute == "value") return NameContext::kUrl;
  if (attribute.rfind("on", 0) == 0) return NameContext::kScript;
  return NameContext::kHtml;
}

std::string Escape(std::string_view text, NameContext context) {
  switch (context) {
    case NameContext::kText:
    case NameContext::kHtml: return EscapeHtml(text);
    case NameContext::kUrl: return EscapeUrlComponent(text);
    case NameContext::kScript: return EscapeScriptString(text);
  }
  return {};
}

// Walks the template, copying it and replacing [[filename]] and [[transcript]].
class FileNameFiller {
 public:
  FileNameFiller(std::string_view page, const std::string& name, std::string_view transcript)
      : page_(page), name_(name), transcript_(transcript) {}

  std::string Fill() {
    while (at_ < page_.size()) {
      if (StartsWithNoCase(page_, at_, "<!--")) {
        CopyUntil("-->", NameContext::kHtml);
      } else if (page_[at_] == '<' && at_ + 1 < page_.size() &&
                 (std::isalpha(static_cast<unsigned char>(page_[at_ + 1])) || page_[at_ + 1] == '/')) {
        Tag();
      } else {
        CopyOne(NameContext::kText);
      }
    }
    return out_;
  }

 private:
  // Copies one character, or the escaped name where a placeholder starts. The
  // transcript goes only into the page's text; elsewhere it would break the
  // attribute, script or comment it stands in, so it is left out there.
  void CopyOne(NameContext context) {
    if (page_.compare(at_, kFileNamePlaceholder.size(), kFileNamePlaceholder) == 0) {
      out_ += Escape(name_, context);
      at_ += kFileNamePlaceholder.size();
      return;
    }
    if (page_.compare(at_, kTranscriptPlaceholder.size(), kTranscriptPlaceholder) == 0) {
      if (context == NameContext::kText) out_.append(transcript_);
      at_ += kTranscriptPlaceholder.size();
      return;
    }
    out_ += page_[at_++];
  }

  // Copies up to and including `end` (case-insensitive), or to the end.
  void CopyUntil(std::string_view end, NameContext context) {
    while (at_ < page_.size() && !StartsWithNoCase(page_, at_, end)) CopyOne(context);
    const std::size_t count = std::min(end.size(), page_.size() - at_);
    out_.append(page_.substr(at_, count));
    at_ += count;
  }

  // Copies the raw text of a <script> or <style> element, up to its end tag.
  void CopyRawText(const std::string& tag, NameContext context) {
    const std::string endTag = "</" + tag;
    while (at_ < page_.size() && !StartsWithNoCase(page_, at_, endTag)) CopyOne(context);
  }

  void Tag() {
    out_ += page_[at_++];  // <
    const bool endTag = page_[at_] == '/';
    if (endTag) out_ += page_[at_++];
    const std::size_t nameStart = at_;
    while (at_ < page_.size() && IsNameCharacter(page_[at_])) out_ += page_[at_++];
    const std::string tag = ToLower(page_.substr(nameStart, at_ - nameStart));
    while (at_ < page_.size() && page_[at_] != '>') {
      if (IsNameCharacter(page_[at_])) {
        Attribute(tag);
      } else {
        CopyOne(NameContext::kHtml);
      }
    }
    if (at_ < page_.size()) out_ += page_[at_++];  // >
    if (endTag) return;
    if (tag == "script") CopyRawText(tag, NameContext::kScript);
    if (tag == "style") CopyRawText(tag, NameContext::kUrl);
  }

  void Attribute(const std::string& tag) {
    const std::size_t nameStart = at_;
    while (at_ < page_.size() && IsNameCharacter(page_[at_])) out_ += page_[at_++];
    const std::string attribute = ToLower(page_.substr(nameStart, at_ - nameStart));
    std::size_t look = at_;
    while (look < page_.size() && IsSpace(page_[look])) ++look;
    if (look >= page_.size() || page_[look] != '=') return;
    while (at_ <= look) out_ += page_[at_++];  // spaces and "="
    while (at_ < page_.size() && IsSpace(page_[at_])) out_ += page_[at_++];
    if (at_ >= page_.size()) return;
    const NameContext context = AttributeContext(tag, attribute);
    const char quote = page_[at_];
    if (quote == '"' || quote == '\'') {
      out_ += page_[at_++];
      while (at_ < page_.size() && page_[at_] != quote) CopyOne(context);
      if (at_ < page_.size()) out_ += page_[at_++];
      return;
    }
    while (at_ < page_.size() && !IsSpace(page_[at_]) && page_[at_] != '>') CopyOne(context);
  }

  std::string_view page_;
  const std::string& name_;
  std::string_view transcript_;
  std::string out_;
  std::size_t at_ = 0;
};

std::string ReplaceAll(std::string text, std::string_view placeholder, const std::string& value) {
  std::size_t at = 0;
  while ((at = text.find(placeholder, at)) != std::string::npos) {
    text.replace(at, placeholder.size(), value);
    at += value.size();
  }
  return text;
}

void AppendUnicodeEscape(std::string& out, char32_t unit) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '[': out += "&#91;"; break;
      case ']': out += "&#93;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string EscapeUrlComponent(std::string_view text) { return PercentEncode(text); }

std::string EscapeScriptString(std::string_view text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const utf8::CodePoint point = utf8::Decode(text, at);  // invalid bytes give U+FFFD, one byte each
    const char32_t code = point.code;
    at += point.length;
    const bool plain = code < 0x80 && (std::isalnum(static_cast<int>(code)) || code == ' ' || code == '.' ||
                                       code == '-' || code == '_' || code == ',' || code == '(' || code == ')');
    if (plain) {
      out += static_cast<char>(code);
    } else if (code < 0x10000) {
      AppendUnicodeEscape(out, code);
    } else {  // a surrogate pair
      const char32_t offset = code - 0x10000;
      AppendUnicodeEscape(out, 0xD800 + (offset >> 10));
      AppendUnicodeEscape(out, 0xDC00 + (offset & 0x3FF));
    }
  }
  return out;
}

std::string TranscriptHtml(std::string_view deckName, const std::vector<SlideText>& slides) {
  if (slides.empty()) return {};
  const std::string count = std::to_string(slides.size());
  std::string html = "<details id=\"slide-text\" data-slides=\"" + count + "\">\n<summary>Text of the slides of " +
                     EscapeHtml(deckName) + "</summary>\n";
  for (std::size_t index = 0; index < slides.size(); ++index) {
    const SlideText& slide = slides[index];
    const std::string number = std::to_string(index + 1);
    html += "<section>\n<h2 id=\"slide-text-" + number + "\">Slide " + number + " of " + count;
    if (!slide.title.empty()) html += ": " + EscapeHtml(slide.title);
    html += "</h2>\n";
    if (slide.title.empty() && slide.lines.empty()) html += "<p class=\"no-text\">(no text on this slide)</p>\n";
    for (const std::string& line : slide.lines) html += "<p>" + EscapeHtml(line) + "</p>\n";
    html += "</section>\n";
  }
  return html + "</details>";
}

std::string FillPageTemplate(std::string_view pageTemplate, const std::string& movieFileName, int width, int height,
                             std::string_view transcript, PlayerSource player, std::string_view afterPlayer) {
  std::string page = FileNameFiller(pageTemplate, movieFileName, transcript).Fill();
  page = ReplaceAll(std::move(page), kWidthPlaceholder, std::to_string(width));
  page = ReplaceAll(std::move(page), kHeightPlaceholder, std::to_string(height));
  return ReplaceAll(std::move(page), kPlayerPlaceholder, PlayerScriptElement(player) + std::string(afterPlayer));
}

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t at = 0;
  for (; at + 3 <= bytes.size(); at += 3) {
    const std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 16 |
                                static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
                                static_cast<unsigned char>(bytes[at + 2]);
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  const std::size_t left = bytes.size() - at;
  if (left == 0) return out;
  std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 16;
  if (left == 2) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
  out += kAlphabet[group >> 18];
  out += kAlphabet[(group >> 12) & 63];
  out += left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
  out += '=';
  return out;
}

std::string MovieScript(const std::string& movieFileName, std::string_view movieBytes) {
  return "(window.swfData = window.swfData || {})[\"" + EscapeScriptString(movieFileName) + "\"] = \"" +
         Base64(movieBytes) + "\";\n";
}

}  // namespace quillet
