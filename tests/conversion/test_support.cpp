// Shared helpers of the conversion tests.
#include "test_support.h"

#include "swf/tag_writer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/picture_file.h"

namespace quillet::testing {

std::string MakePdf(const std::vector<PdfPage>& pages, const std::vector<std::vector<PdfText>>& texts) {
  std::vector<std::string> objects;
  std::string kids;
  const int count = static_cast<int>(pages.size());
  for (int i = 0; i < count; ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
  objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) + " >>");
  const std::string font = std::to_string(3 + 2 * count) + " 0 R";
  for (int i = 0; i < count; ++i) {
    const PdfPage& page = pages[static_cast<std::size_t>(i)];
    std::ostringstream size;
    size << page.width << " " << page.height;
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + size.str() + "] /Resources << /Font << /F1 " +
                      font + " >> >> /Contents " + std::to_string(4 + 2 * i) + " 0 R >>");
    std::ostringstream content;
    content << page.colour.red / 255.0 << " " << page.colour.green / 255.0 << " " << page.colour.blue / 255.0
            << " rg 0 0 " << size.str() << " re f\n0 g\n";
    const std::vector<PdfText> none;
    for (const PdfText& text : static_cast<std::size_t>(i) < texts.size() ? texts[static_cast<std::size_t>(i)] : none) {
      std::string literal;
      for (char c : text.text) {
        if (c == '(' || c == ')' || c == '\\') literal += '\\';
        literal += c;
      }
      content << "BT /F1 " << text.size << " Tf " << text.x << " " << page.height - text.y << " Td (" << literal
              << ") Tj ET\n";
    }
    objects.push_back("<< /Length " + std::to_string(content.str().size()) + " >>\nstream\n" + content.str() +
                      "endstream");
  }
  objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

Rgb PageColour(int index) {
  return Rgb{static_cast<std::uint8_t>(20 + (index * 37) % 200), static_cast<std::uint8_t>(200 - (index * 13) % 150),
             static_cast<std::uint8_t>(60 + (index * 71) % 180)};
}

namespace {

class ByteReader {
 public:
  explicit ByteReader(const std::string& bytes) : bytes_(bytes) {}
  bool Has(std::size_t count) const { return bytes_.size() - at_ >= count; }
  std::uint32_t Unsigned(int byteCount) {
    std::uint32_t value = 0;
    for (int i = 0; i < byteCount; ++i) {
      value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[at_ + static_cast<std::size_t>(i)]))
               << (8 * i);
    }
    at_ += static_cast<std::size_t>(byteCount);
    return value;
  }
  std::string Take(std::size_t count) {
    std::string part = bytes_.substr(at_, count);
    at_ += count;
    return part;
  }
  std::size_t At() const { return at_; }
  void Skip(std::size_t count) { at_ += count; }

 private:
  const std::string& bytes_;
  std::size_t at_ = 0;
};

std::int32_t SignedBits(const std::string& bytes, std::size_t& bit, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i, ++bit) {
    const unsigned char byte = static_cast<unsigned char>(bytes[bit / 8]);
    value = (value << 1) | ((byte >> (7 - bit % 8)) & 1);
  }
  if (count > 0 && (value >> (count - 1)) & 1) value |= ~0u << count;
  return static_cast<std::int32_t>(value);
}

}  // namespace

SwfFile ReadSwf(const std::string& written) {
  SwfFile movie;
  if (written.size() < 21 || written.compare(1, 2, "WS") != 0) {
    ADD_FAILURE() << "not an SWF file";
    return movie;
  }
  movie.compressed = written[0] == 'C';
  std::string bytes;
  try {
    const std::vector<std::uint8_t> expanded =
        swf::ExpandMovie(std::vector<std::uint8_t>(written.begin(), written.end()));
    bytes.assign(expanded.begin(), expanded.end());
  } catch (const std::exception& error) {
    ADD_FAILURE() << error.what();
    return movie;
  }
  movie.version = static_cast<unsigned char>(bytes[3]);
  ByteReader header(bytes);
  header.Skip(4);
  EXPECT_EQ(header.Unsigned(4), bytes.size()) << "the file length in the header";
  std::size_t bit = 8 * 8;
  const int bits = static_cast<int>(static_cast<unsigned char>(bytes[8]) >> 3);
  bit += 5;
  movie.xMin = SignedBits(bytes, bit, bits);
  movie.xMax = SignedBits(bytes, bit, bits);
  movie.yMin = SignedBits(bytes, bit, bits);
  movie.yMax = SignedBits(bytes, bit, bits);
  ByteReader reader(bytes);
  reader.Skip((bit + 7) / 8);
  movie.frameRate = reader.Unsigned(2) / 256.0;
  movie.frameCount = static_cast<int>(reader.Unsigned(2));
  while (reader.Has(2)) {
    const std::uint32_t codeAndLength = reader.Unsigned(2);
    SwfTag tag;
    tag.code = static_cast<int>(codeAndLength >> 6);
    std::uint32_t length = codeAndLength & 0x3F;
    if (length == 0x3F) length = reader.Unsigned(4);
    if (!reader.Has(length)) {
      ADD_FAILURE() << "tag " << tag.code << " runs past the end of the file";
      break;
    }
    tag.body = reader.Take(length);
    movie.tags.push_back(tag);
    if (tag.code == kEnd) break;
  }
  return movie;
}

std::vector<std::vector<Surface>> FramePictures(const SwfFile& movie) {
  std::vector<std::vector<Surface>> frames(1);
  ScratchFolder scratch;
  for (const SwfTag& tag : movie.tags) {
    if (tag.code == kShowFrame) frames.emplace_back();
    if (tag.code != kDefineBitsJpeg2) continue;
    const std::filesystem::path file = scratch / "picture.jpg";
    WriteBytes(file, tag.body.substr(2));
    frames.back().push_back(LoadPicture(file));
  }
  frames.pop_back();  // after the last ShowFrame
  return frames;
}

Rgb MeanColour(const Surface& picture) {
  std::uint64_t sums[3] = {0, 0, 0};
  const auto& bytes = picture.Bytes();
  for (std::size_t i = 0; i < bytes.size(); ++i) sums[i % 3] += bytes[i];
  const std::uint64_t pixels = std::max<std::uint64_t>(1, bytes.size() / 3);
  return Rgb{static_cast<std::uint8_t>(sums[0] / pixels), static_cast<std::uint8_t>(sums[1] / pixels),
             static_cast<std::uint8_t>(sums[2] / pixels)};
}

void RecordingObserver::ShowProgress(int percent, int slidesDone, int slideCount) {
  events.push_back("progress " + std::to_string(percent) + " " + std::to_string(slidesDone) + "/" +
                   std::to_string(slideCount));
  percents.push_back(percent);
  if (onProgress) onProgress(slidesDone);
}
void RecordingObserver::ShowStatus(const std::string& text) { events.push_back("status " + text); }
void RecordingObserver::ClearProgress() { events.push_back("clear"); }
void RecordingObserver::ConversionComplete() { events.push_back("complete"); }
void RecordingObserver::Warning(const std::string& text) { events.push_back("warning " + text); }
void RecordingObserver::OpenPage(const std::filesystem::path& page) { events.push_back("open " + page.string()); }

}  // namespace quillet::testing
