// The text of a slide. poppler's text_list() gives roughly one word per box,
// in reading order for left-to-right scripts; a word that sits beside the
// previous one on the same baseline continues its line, anything else
// starts a new line. Words poppler ends without a space but that stand apart
// on the page (the cells of a table row, shapes side by side) still get one.
#include "platform/slide_text.h"

#include <poppler-global.h>
#include <poppler-page.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "platform/utf8.h"

namespace quillet {
namespace {

constexpr double kSameLineOverlap = 0.5;    // of the smaller height, for a word to join a line
constexpr double kWordGap = 0.1;            // of the smaller height: a wider gap is a space
constexpr double kCellGap = 1.5;            // of the smaller height: a wider gap parts a table's cells
constexpr double kSameTypeSize = 0.98;      // sizes this close count as the same type
constexpr double kTitleSizeRatio = 1.15;    // a title's type is this much larger than the rest
constexpr std::size_t kLongestTitle = 200;  // bytes; longer text is not a title

struct Line {
  std::string text;
  double top = 0;
  double bottom = 0;
  double right = 0;
  double typeSize = 0;
  bool spaceAfter = false;
  double left = 0;        // of the line's first word
  double firstRight = 0;  // where the line's first word ends
  bool bullet = false;    // the line began with a bullet mark
  std::string font;       // of the line's first word
  bool cells = false;     // words stand far apart on it: a table's row
};

bool IsBulletMark(char32_t code) {
  static constexpr char32_t kMarks[] = {
      0x2022,  // •
      0x2023,  // ‣
      0x2043,  // ⁃
      0x2013,  // –
      0x25AA,  // ▪
      0x25AB,  // ▫
      0x25A0,  // ■
      0x25A1,  // □
      0x25CF,  // ●
      0x25CB,  // ○
      0x25E6,  // ◦
      0x25C6,  // ◆
      0x25C7,  // ◇
      0x25BA,  // ►
      0x25B8,  // ▸
      0x27A2,  // ➢
      0x27A4,  // ➤
      0x2713,  // ✓
      0x2714,  // ✔
      0x00B7,  // ·
  };
  if (code >= 0xE000 && code <= 0xF8FF) return true;  // symbol fonts map their glyphs here
  return std::find(std::begin(kMarks), std::end(kMarks), code) != std::end(kMarks);
}

// The word without control characters; at the start of a line also without
// leading bullet marks and spaces.
std::string CleanWord(std::string_view text, bool startsLine) {
  std::string clean;
  std::size_t at = 0;
  bool leading = startsLine;
  while (at < text.size()) {
    const utf8::CodePoint point = utf8::Decode(text, at);
    const char32_t code = point.code;
    const bool control = code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0);
    const bool skipped = control || (leading && (IsBulletMark(code) || code == ' ' || code == 0xA0));
    if (!skipped) {
      leading = false;
      if (point.valid)
        clean.append(text.substr(at, point.length));
      else
        utf8::Append(clean, utf8::kReplacement);  // never a malformed byte into the page
    }
    at += point.length;
  }
  return clean;
}

bool ContinuesLine(const Line& line, const PlacedWord& word) {
  const double lineHeight = line.bottom - line.top;
  const double wordHeight = word.bottom - word.top;
  const double smaller = std::min(lineHeight, wordHeight);
  const double overlap = std::min(line.bottom, word.bottom) - std::max(line.top, word.top);
  if (smaller <= 0 || overlap < kSameLineOverlap * smaller) return false;
  return word.left >= line.right - kSameLineOverlap * smaller;  // not back to the left: a new line or column
}

bool StartsWithBulletMark(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const utf8::CodePoint point = utf8::Decode(text, at);
    if (point.code != ' ' && point.code != 0xA0) return IsBulletMark(point.code);
    at += point.length;
  }
  return false;
}

std::vector<Line> JoinLines(const std::vector<PlacedWord>& words) {
  std::vector<Line> lines;
  bool bullet = false;  // a bullet mark stood alone before this word
  for (const PlacedWord& word : words) {
    const bool continues = !lines.empty() && ContinuesLine(lines.back(), word);
    const std::string text = CleanWord(word.text, !continues);
    if (text.empty()) {
      bullet = bullet || (!continues && StartsWithBulletMark(word.text));
      continue;
    }
    if (!continues) {
      Line line{text,       word.top,      word.bottom,
                word.right, word.typeSize, word.spaceAfter,
                word.left,  word.right,    bullet || StartsWithBulletMark(word.text),
                word.font};
      lines.push_back(std::move(line));
      bullet = false;
      continue;
    }
    Line& line = lines.back();
    const double smaller = std::min(line.bottom - line.top, word.bottom - word.top);
    if (line.spaceAfter || word.left - line.right > kWordGap * smaller) line.text += ' ';
    if (word.left - line.right > kCellGap * smaller) line.cells = true;
    line.text += text;
    line.top = std::min(line.top, word.top);
    line.bottom = std::max(line.bottom, word.bottom);
    line.right = word.right;
    line.typeSize = std::max(line.typeSize, word.typeSize);
    line.spaceAfter = word.spaceAfter;
  }
  for (Line& line : lines) {
    while (!line.text.empty() && line.text.back() == ' ') line.text.pop_back();
  }
  return lines;
}

// A line that ends a sentence (. ! ? :) before one that starts with a
// capital: two paragraphs may meet there, which geometry cannot tell, so
// they stay apart.
bool EndsSentence(const Line& above, const Line& line) {
  const char last = above.text.empty() ? ' ' : above.text.back();
  const auto first = static_cast<unsigned char>(line.text.empty() ? ' ' : line.text.front());
  return (last == '.' || last == '!' || last == '?' || last == ':') && (std::isupper(first) || first >= 0x80);
}

// A slide's lines wrap where its text box ends, not where a sentence does.
// Lines form a block when each starts no bullet, is in the same type and
// font as the one above, starts where it starts, follows it closely
// (paragraphs stand further apart) and is no table's row; the block's
// widest line tells where its box ends. The block is one paragraph when the
// first word of each of its lines would not have fitted at the end of the
// line above (but for sentence ends, EndsSentence); else (a list's items,
// short and long) its lines stay apart.
std::vector<Line> JoinParagraphs(std::vector<Line> lines) {
  constexpr double kSameSize = 0.05;  // of the type size
  constexpr double kLineGap = 0.3;    // of the upper line's height: more is a new paragraph
  constexpr double kAligned = 0.5;    // of the upper line's height
  constexpr double kSpace = 0.25;     // a space's width, of the type size
  const auto inBlock = [&](const Line& above, const Line& line) {
    const double height = above.bottom - above.top;
    return !line.bullet && !line.cells && !above.cells && line.font == above.font && above.typeSize > 0 && height > 0 &&
           std::abs(line.typeSize - above.typeSize) <= kSameSize * above.typeSize &&
           line.top >= above.bottom - kLineGap * height && line.top - above.bottom <= kLineGap * height &&
           std::abs(line.left - above.left) <= kAligned * height;
  };
  std::vector<bool> joinsAbove(lines.size(), false);
  for (std::size_t first = 0; first < lines.size();) {
    std::size_t end = first + 1;
    double right = lines[first].right;
    while (end < lines.size() && inBlock(lines[end - 1], lines[end])) right = std::max(right, lines[end++].right);
    bool wrapped = true;
    for (std::size_t i = first + 1; i < end; ++i) {
      const double firstWord = lines[i].firstRight - lines[i].left;
      wrapped = wrapped && lines[i - 1].right + kSpace * lines[i - 1].typeSize + firstWord > right;
    }
    for (std::size_t i = first + 1; i < end; ++i) joinsAbove[i] = wrapped && !EndsSentence(lines[i - 1], lines[i]);
    first = end;
  }
  std::vector<Line> paragraphs;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Line& line = lines[i];
    if (joinsAbove[i] && !paragraphs.empty()) {
      Line& paragraph = paragraphs.back();
      {
        paragraph.text += ' ' + line.text;
        paragraph.bottom = line.bottom;
        continue;
      }
    }
    paragraphs.push_back(std::move(line));
  }
  return paragraphs;
}

// A number as charts and tables show them: 1,500 or 3.5 or 75% or $22,000.
bool IsNumber(std::string_view text) {
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '$' || text[at] == '-' || text[at] == '+')) ++at;
  const std::size_t digits = at;
  while (at < text.size() && (std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.' || text[at] == ','))
    ++at;
  if (at < text.size() && text[at] == '%') ++at;
  return at == text.size() && at > digits && std::isdigit(static_cast<unsigned char>(text[digits]));
}

bool IsNumbersOnly(const std::string& text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    if (!IsNumber(std::string_view(text).substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

// The numbers of a chart's axis or a table's column come one to a line: a
// run of lines holding only numbers is one line.
std::vector<std::string> JoinNumberRuns(const std::vector<std::string>& lines) {
  std::vector<std::string> joined;
  bool lastWasNumbers = false;
  for (const std::string& line : lines) {
    const bool numbers = IsNumbersOnly(line);
    if (numbers && lastWasNumbers) {
      joined.back() += ' ' + line;
    } else {
      joined.push_back(line);
    }
    lastWasNumbers = numbers;
  }
  return joined;
}

// The first and one-past-last line of the title, if the slide has one.
std::optional<std::pair<std::size_t, std::size_t>> FindTitle(const std::vector<Line>& lines, double pageHeight) {
  if (lines.empty()) return std::nullopt;
  double largest = 0;
  for (const Line& line : lines) largest = std::max(largest, line.typeSize);
  const auto inLargestType = [&](const Line& line) { return largest > 0 && line.typeSize >= kSameTypeSize * largest; };
  std::size_t first = 0;
  if (lines.size() > 1) {
    if (largest <= 0) return std::nullopt;
    while (!inLargestType(lines[first])) ++first;
  }
  std::size_t end = first + 1;
  while (end < lines.size() && inLargestType(lines[end])) ++end;
  if (lines.size() > 1 && end - first == lines.size()) return std::nullopt;  // all in one type: no telling
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool inTitle = i >= first && i < end;
    if (!inTitle && lines[i].typeSize * kTitleSizeRatio > largest) return std::nullopt;
  }
  if (pageHeight > 0 && lines[first].top >= pageHeight / 2) return std::nullopt;
  std::size_t length = 0;
  for (std::size_t i = first; i < end; ++i) length += lines[i].text.size() + 1;
  if (length > kLongestTitle) return std::nullopt;
  return std::make_pair(first, end);
}

std::string Utf8(const poppler::ustring& text) {
  const poppler::byte_array bytes = text.to_utf8();
  return std::string(bytes.begin(), bytes.end());
}

std::vector<PlacedWord> PageWords(const poppler::page& page) {
  std::vector<PlacedWord> words;
  for (const poppler::text_box& box : page.text_list(poppler::page::text_list_include_font)) {
    const poppler::rectf area = box.bbox();
    PlacedWord word;
    word.text = Utf8(box.text());
    word.left = area.left();
    word.top = area.top();
    word.right = area.right();
    word.bottom = area.bottom();
    word.typeSize = box.has_font_info() ? box.get_font_size() : 0;
    if (box.has_font_info()) word.font = box.get_font_name();
    word.spaceAfter = box.has_space_after();
    words.push_back(std::move(word));
  }
  return words;
}

// Where the slide's picture ends on the notes page (y down, points): found
// through the slide's first word, or else below the words that begin the
// notes page as they begin the slide; 0 when the notes page shows none of
// the slide's words.
double SlidePictureBottom(const std::vector<PlacedWord>& slideWords, double slideHeight,
                          const std::vector<PlacedWord>& notesWords) {
  constexpr double kLeastScale = 0.05, kLargestScale = 2, kTolerance = 2;  // points
  std::vector<const PlacedWord*> slide;
  for (const PlacedWord& word : slideWords)
    if (!word.text.empty() && word.right > word.left) slide.push_back(&word);
  if (slide.empty()) return 0;  // nothing of the slide's to tell apart
  const PlacedWord& first = *slide.front();
  const PlacedWord& last = *slide.back();
  for (const PlacedWord& shown : notesWords) {
    if (shown.text != first.text) continue;
    const double scale = (shown.right - shown.left) / (first.right - first.left);
    if (scale < kLeastScale || scale > kLargestScale) break;
    const double offset = shown.top - scale * first.top;
    const double lastTop = offset + scale * last.top;
    const bool checked = std::any_of(notesWords.begin(), notesWords.end(), [&](const PlacedWord& word) {
      return word.text == last.text && std::abs(word.top - lastTop) <= kTolerance;
    });
    if (checked) return offset + scale * slideHeight;
    break;
  }
  double bottom = 0;
  for (std::size_t i = 0; i < notesWords.size() && i < slide.size() && notesWords[i].text == slide[i]->text; ++i)
    bottom = std::max(bottom, notesWords[i].bottom);
  return bottom;
}

}  // namespace

std::vector<std::string> ArrangeNotesText(const std::vector<PlacedWord>& slideWords, double slideHeight,
                                          const std::vector<PlacedWord>& notesWords, int slideNumber) {
  const double bottom = SlidePictureBottom(slideWords, slideHeight, notesWords);
  std::vector<PlacedWord> below;
  for (const PlacedWord& word : notesWords)
    if (word.top >= bottom) below.push_back(word);
  std::vector<std::string> notes;
  const std::string number = std::to_string(slideNumber);
  for (const Line& line : JoinParagraphs(JoinLines(below)))
    if (line.text != number) notes.push_back(line.text);
  return notes;
}

std::vector<std::string> ReadNotesText(const poppler::page& slide, const poppler::page& notes, int slideNumber) {
  return ArrangeNotesText(PageWords(slide), slide.page_rect().height(), PageWords(notes), slideNumber);
}

SlideText ArrangeSlideText(const std::vector<PlacedWord>& words, double pageHeight) {
  const std::vector<Line> lines = JoinParagraphs(JoinLines(words));
  const auto title = FindTitle(lines, pageHeight);
  SlideText slide;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool inTitle = title && i >= title->first && i < title->second;
    if (!inTitle) {
      slide.lines.push_back(lines[i].text);
      continue;
    }
    if (!slide.title.empty()) slide.title += ' ';
    slide.title += lines[i].text;
  }
  slide.lines = JoinNumberRuns(slide.lines);
  return slide;
}

SlideText ReadSlideText(const poppler::page& page) {
  return ArrangeSlideText(PageWords(page), page.page_rect().height());
}

}  // namespace quillet
