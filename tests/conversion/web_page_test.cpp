// The web page: placeholder replacement in order, the escaping of the movie's
// name for each place it stands in, and the movie's script.
#include "conversion/web_page.h"

#include <gtest/gtest.h>

#include "platform/slide_exporter.h"
#include "test_support.h"

#ifndef QUILLET_PAGE_TEMPLATE
#error "QUILLET_PAGE_TEMPLATE names the shipped qzp.html"
#endif

namespace quillet {
namespace {

using testing::MakePdf;
using testing::PdfPage;
using testing::PdfText;
using testing::ScratchFolder;
using testing::WriteBytes;

std::string Fill(std::string_view page, const std::string& name = "intro.swf", int width = 360, int height = 270) {
  return FillPageTemplate(page, name, width, height);
}

std::size_t Count(const std::string& text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

TEST(FillPageTemplateTest, ReplacesEveryPlaceholderInOrder) {
  EXPECT_EQ(Fill("[[filename]] is [[width]] x [[height]]; again [[width]]"), "intro.swf is 360 x 270; again 360");
}

TEST(FillPageTemplateTest, PlaceholdersInOtherCaseStay) {
  EXPECT_EQ(Fill("[[FILENAME]] [[Width]] [[HEIGHT]] [[width]]"), "[[FILENAME]] [[Width]] [[HEIGHT]] 360");
}

TEST(FillPageTemplateTest, EverythingElseStaysByteForByte) {
  const std::string page = "<p class=x>caf\xc3\xa9 &amp; [[ not one ]] [[width]\r\n</p>";
  EXPECT_EQ(Fill(page), page);
}

TEST(FillPageTemplateTest, NameHoldingAPlaceholderIsNotReplacedAgain) {
  const std::string name = "talk[[width]][[height]].swf";
  EXPECT_EQ(Fill("<p>[[filename]]</p>", name), "<p>talk&#91;&#91;width&#93;&#93;&#91;&#91;height&#93;&#93;.swf</p>");
  EXPECT_EQ(Fill("<embed src=\"[[filename]]\">", name), "<embed src=\"talk%5B%5Bwidth%5D%5D%5B%5Bheight%5D%5D.swf\">");
  EXPECT_EQ(Fill("<script>n = \"[[filename]]\";</script>", name),
            "<script>n = \"talk\\u005B\\u005Bwidth\\u005D\\u005D\\u005B\\u005Bheight\\u005D\\u005D.swf\";</script>");
}

struct ContextCase {
  const char* where;
  const char* page;
  const char* filled;
};

class NameContextTest : public ::testing::TestWithParam<ContextCase> {};

TEST_P(NameContextTest, NameIsEscapedForWhereItStands) {
  EXPECT_EQ(Fill(GetParam().page, "a \"b\" & <c>#%'.swf"), GetParam().filled) << GetParam().where;
}

INSTANTIATE_TEST_SUITE_P(
    Places, NameContextTest,
    ::testing::Values(
        ContextCase{"text", "<title>[[filename]]</title>", "<title>a &quot;b&quot; &amp; &lt;c&gt;#%&#39;.swf</title>"},
        ContextCase{"plain attribute", "<div title='[[filename]]'>",
                    "<div title='a &quot;b&quot; &amp; &lt;c&gt;#%&#39;.swf'>"},
        ContextCase{"src", "<embed src=\"[[filename]]\" width=\"[[width]]\">",
                    "<embed src=\"a%20%22b%22%20%26%20%3Cc%3E%23%25%27.swf\" width=\"360\">"},
        ContextCase{"data, unquoted", "<object data=[[filename]]>",
                    "<object data=a%20%22b%22%20%26%20%3Cc%3E%23%25%27.swf>"},
        ContextCase{"param value", "<PARAM name=\"movie\" VALUE=\"[[filename]]\">",
                    "<PARAM name=\"movie\" VALUE=\"a%20%22b%22%20%26%20%3Cc%3E%23%25%27.swf\">"},
        ContextCase{"script", "<script>var n = '[[filename]]';</script><p>[[filename]]</p>",
                    "<script>var n = 'a \\u0022b\\u0022 \\u0026 \\u003Cc\\u003E\\u0023\\u0025\\u0027.swf';</script>"
                    "<p>a &quot;b&quot; &amp; &lt;c&gt;#%&#39;.swf</p>"},
        ContextCase{"event attribute", "<a onclick=\"go('[[filename]]')\">",
                    "<a onclick=\"go('a \\u0022b\\u0022 \\u0026 \\u003Cc\\u003E\\u0023\\u0025\\u0027.swf')\">"},
        ContextCase{"comment", "<!-- [[filename]] -->", "<!-- a &quot;b&quot; &amp; &lt;c&gt;#%&#39;.swf -->"}));

TEST(TranscriptTest, HeadsEachSlideAndEscapesEveryText) {
  const std::vector<SlideText> slides = {SlideText{"Q&A <now>", {"a < b", "[[width]] \"x\""}}, SlideText{},
                                         SlideText{"", {"only text"}}};
  EXPECT_EQ(TranscriptHtml("Deck <i>1</i>", slides),
            "<details id=\"slide-text\" data-slides=\"3\">\n"
            "<summary>Text of the slides of Deck &lt;i&gt;1&lt;/i&gt;</summary>\n"
            "<section>\n<h2 id=\"slide-text-1\">Slide 1 of 3: Q&amp;A &lt;now&gt;</h2>\n"
            "<p>a &lt; b</p>\n<p>&#91;&#91;width&#93;&#93; &quot;x&quot;</p>\n</section>\n"
            "<section>\n<h2 id=\"slide-text-2\">Slide 2 of 3</h2>\n"
            "<p class=\"no-text\">(no text on this slide)</p>\n</section>\n"
            "<section>\n<h2 id=\"slide-text-3\">Slide 3 of 3</h2>\n<p>only text</p>\n</section>\n"
            "</details>");
  EXPECT_EQ(TranscriptHtml("Deck", {}), "");
}

// Read from a real PDF: a sentence wrapped over two lines is one paragraph
// (a short list beside it stays apart), and the footer on every slide is
// stated once, at the top. A slide's links and notes follow its lines.
TEST(TranscriptTest, ReadsAsTextFromTheSlides) {
  ScratchFolder folder;
  const std::vector<PdfText> slide = {PdfText{60, 60, 36, "Lessons"},
                                      PdfText{60, 140, 20, "Buses that are kept well use less fuel and"},
                                      PdfText{60, 163, 20, "last longer."},
                                      PdfText{60, 220, 20, "Oil"},
                                      PdfText{60, 243, 20, "Brakes and tyres"},
                                      PdfText{60, 266, 20, "Filters"},
                                      PdfText{20, 520, 10, "Fleet Workshop 2004"}};
  const std::vector<PdfText> other = {PdfText{60, 60, 36, "More"}, PdfText{60, 140, 20, "Something else"},
                                      PdfText{20, 520, 10, "Fleet Workshop 2004"}};
  WriteBytes(folder / "deck.pdf", MakePdf({PdfPage{}, PdfPage{}, PdfPage{}}, {slide, other, other}));
  std::filesystem::create_directory(folder / "work");
  std::vector<SlideText> slides;
  SlideExportSettings settings;
  settings.slideTexts = &slides;
  ASSERT_EQ(ExportSlides(folder / "deck.pdf", folder / "work", settings), 3);
  slides[0].links = {TextLink{"Fleet & more", "https://example.com/?a=1&b=2"}};
  slides[0].notes = {"Ask about fuel."};
  const std::string html = TranscriptHtml("d", slides);
  EXPECT_EQ(Count(html, "<p class=\"every-slide\">On every slide: Fleet Workshop 2004</p>\n<section>"), 1u) << html;
  EXPECT_EQ(Count(html, "Fleet Workshop"), 1u);
  EXPECT_EQ(Count(html,
                  "<h2 id=\"slide-text-1\">Slide 1 of 3: Lessons</h2>\n"
                  "<p>Buses that are kept well use less fuel and last longer.</p>\n"
                  "<p>Oil</p>\n<p>Brakes and tyres</p>\n<p>Filters</p>\n"
                  "<ul class=\"links\" aria-label=\"Links of slide 1\">\n"
                  "<li><a href=\"https://example.com/?a=1&amp;b=2\">Fleet &amp; more</a></li>\n</ul>\n"
                  "<h3>Notes</h3>\n<p>Ask about fuel.</p>\n</section>"),
            1u)
      << html;
}

TEST(TranscriptTest, GoesOnlyWhereMarkupCanStand) {
  const std::string transcript = TranscriptHtml("d", {SlideText{"T", {}}});
  EXPECT_EQ(FillPageTemplate("<main>[[transcript]]</main>", "d.swf", 1, 1, transcript),
            "<main>" + transcript + "</main>");
  EXPECT_EQ(FillPageTemplate("<p title=\"[[transcript]]\"><script>t='[[transcript]]'</script><!--[[transcript]]-->",
                             "d.swf", 1, 1, transcript),
            "<p title=\"\"><script>t=''</script><!---->");
  EXPECT_EQ(Fill("<p>[[width]]</p>"), "<p>360</p>");  // a template without it: no transcript
}

TEST(EscapeTest, Html) {
  EXPECT_EQ(EscapeHtml("<a href=\"x\">&'[]"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&#91;&#93;");
}

TEST(EscapeTest, UrlKeepsOnlyUnreservedCharacters) {
  EXPECT_EQ(EscapeUrlComponent("My talk #1 (50%) caf\xc3\xa9.swf"), "My%20talk%20%231%20%2850%25%29%20caf%C3%A9.swf");
  EXPECT_EQ(EscapeUrlComponent("a:b/c?.swf"), "a%3Ab%2Fc%3F.swf");
}

TEST(EscapeTest, ScriptStringHidesQuotesTagsAndLineBreaks) {
  EXPECT_EQ(EscapeScriptString("</script>\"'`${x}\\\n"),
            "\\u003C\\u002Fscript\\u003E\\u0022\\u0027\\u0060\\u0024\\u007Bx\\u007D\\u005C\\u000A");
}

TEST(EscapeTest, ScriptStringSpellsOutNonAsciiLetters) {
  EXPECT_EQ(EscapeScriptString("caf\xc3\xa9 \xe2\x80\xa8 \xf0\x9f\x98\x80"), "caf\\u00E9 \\u2028 \\uD83D\\uDE00");
  EXPECT_EQ(EscapeScriptString("bad \xff byte"), "bad \\uFFFD byte");  // not UTF-8: the replacement character
}

TEST(Base64Test, Rfc4648Vectors) {
  const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [bytes, text] : vectors) EXPECT_EQ(Base64(bytes), text) << bytes;
  EXPECT_EQ(Base64(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(MovieScriptTest, StoresTheMovieUnderItsName) {
  EXPECT_EQ(MovieScript("caf\xc3\xa9 \"1\".swf", "FWS"),
            "(window.swfData = window.swfData || {})[\"caf\\u00E9 \\u00221\\u0022.swf\"] = \"RldT\";\n");
}

TEST(ShippedTemplateTest, BuiltInPageIsTheShippedTemplate) {
  EXPECT_EQ(std::string(kDefaultPageTemplate), testing::ReadBytes(QUILLET_PAGE_TEMPLATE));
}

TEST(ShippedTemplateTest, HoldsOnlyTheFivePlaceholdersAndNoneRemainsFilled) {
  const std::string page(kDefaultPageTemplate);
  EXPECT_EQ(Count(page, "[["), Count(page, "[[filename]]") + Count(page, "[[width]]") + Count(page, "[[height]]") +
                                   Count(page, "[[transcript]]") + Count(page, "[[player]]"));
  EXPECT_EQ(Count(page, "[[transcript]]"), 1u);
  EXPECT_EQ(Count(page, "[[player]]"), 1u);
  const std::string transcript = TranscriptHtml("d", {SlideText{"T", {}}});
  EXPECT_EQ(Count(FillPageTemplate(page, "d.swf", 1, 1, transcript), transcript), 1u);
  EXPECT_GE(Count(page, "[[filename]]"), 4u);
  EXPECT_GE(Count(page, "[[width]]"), 2u);
  const std::string filled = Fill(page, "x</script><script>alert(1)</script>.swf", 361, 271);
  EXPECT_EQ(Count(filled, "[["), 0u);
  EXPECT_EQ(Count(filled, "<script"), Count(page, "<script") + 1);  // the player's
  EXPECT_NE(filled.find("width=\"361\" height=\"271\""), std::string::npos);
  // The player at the pinned version, its ruffle.js checked by its hash; or beside the page.
  const std::string online = "<script id=\"player-script\" src=\"https://unpkg.com/@ruffle-rs/ruffle@" +
                             std::string(kRuffleVersion) + "/ruffle.js\" integrity=\"sha384-";
  EXPECT_NE(filled.find(online), std::string::npos);
  EXPECT_TRUE(std::string(kRuffleIntegrity).size() == 71) << kRuffleIntegrity;  // "sha384-" and 48 bytes in base64
  const std::string beside = FillPageTemplate(page, "d.swf", 1, 1, {}, PlayerSource::kBesidePage);
  EXPECT_NE(beside.find("<script id=\"player-script\" src=\"ruffle/ruffle.js\"></script>"), std::string::npos);
  EXPECT_EQ(beside.find("https://unpkg.com/@ruffle-rs"), std::string::npos);
  for (const char* setting : {"autoplay: \"on\"", "unmuteOverlay: \"hidden\"", "warnOnUnsupportedContent: false"}) {
    EXPECT_NE(filled.find(setting), std::string::npos) << setting;
  }
}

}  // namespace
}  // namespace quillet
