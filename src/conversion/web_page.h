// The web page: the template qzp.html with its placeholders filled in, and
// the movie's script NAME.swf.js, which hands the movie to the Ruffle
// player when the page is opened from disk (a browser will not fetch a file
// beside a file:// page, but it will run a script beside it).
#pragma once

#include <string>
#include <string_view>

#include <vector>
#include "conversion/player_files.h"

#include "platform/slide_text.h"

namespace quillet {

// The page used when qzp.html is missing beside the program: the template the
// build ships, built in.
extern const std::string_view kDefaultPageTemplate;

// The three escapings the movie's name gets on its way into the page.
std::string EscapeHtml(std::string_view text);          // text and attribute values
std::string EscapeUrlComponent(std::string_view text);  // a relative URL of one path segment
std::string EscapeScriptString(std::string_view text);  // inside a JavaScript string literal

// The transcript of the slides, for the page: a <details> element whose
// summary reads "Text of the slides of NAME", then for each slide a heading
// "Slide 3 of 12: TITLE" (": TITLE" only where the slide has a title) and its
// lines as paragraphs, or "(no text on this slide)". Every text is escaped
// for HTML. The heading of slide N has the id "slide-text-N" and the element
// the slide count in data-slides, for the page's script. No slides, no
// transcript: an empty text.
std::string TranscriptHtml(std::string_view deckName, const std::vector<SlideText>& slides);

// Fills the template. First every "[[filename]]" is replaced by
// `movieFileName`, escaped for where the placeholder stands: percent-encoded
// in URL attributes (src, href, data, action, poster, codebase, and value of
// a <param>), and in <style> elements; escaped for a JavaScript string inside
// <script> elements and in on... event attributes; escaped for HTML
// everywhere else. In the same pass every "[[transcript]]" in the page's text
// becomes `transcript` (markup, put in as it is; see TranscriptHtml) and one
// standing inside a tag, a script, a style or a comment becomes nothing.
// Every escaping also hides "[" and "]", so neither the name nor the
// transcript can form a placeholder. Then every "[[width]]" becomes `width`
// and then every "[[height]]" becomes `height`, as decimal text. Last, every
// "[[player]]" becomes the <script> element that loads the Ruffle player
// from `player` (PlayerScriptElement), followed by `afterPlayer` (markup, put
// in as it is). Placeholders are matched exactly (case-sensitive); every
// other character is left as it is.
std::string FillPageTemplate(std::string_view pageTemplate, const std::string& movieFileName, int width, int height,
                             std::string_view transcript = {}, PlayerSource player = PlayerSource::kOnline,
                             std::string_view afterPlayer = {});

// The movie as a script: (window.swfData = window.swfData || {})["NAME.swf"] = "BASE64";
std::string MovieScript(const std::string& movieFileName, std::string_view movieBytes);

// RFC 4648 base64 with padding.
std::string Base64(std::string_view bytes);

}  // namespace quillet
