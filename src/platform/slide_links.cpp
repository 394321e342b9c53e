// The links of a deck's slides. poppler-glib gives each page's link mapping
// in PDF space (points, y up from the page's bottom, the crop box's corner at
// 0); the areas are turned into fractions of the page, y down. A link's text
// is the characters of the page whose boxes (from the text layout, y down)
// have their centre inside the area.
#include "platform/slide_links.h"

#include <glib.h>
#include <poppler.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/error.h"

namespace quillet {
namespace {

constexpr std::size_t kLongestAddress = 2000;

struct GObjectFree {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectFree>;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The page's text and each character's box, for the words under a link.
struct PageText {
  std::vector<std::string> characters;  // UTF-8, one per box
  std::vector<PopplerRectangle> boxes;
};

PageText ReadPageText(PopplerPage* page) {
  PageText text;
  char* all = poppler_page_get_text(page);
  PopplerRectangle* boxes = nullptr;
  guint count = 0;
  if (all != nullptr && poppler_page_get_text_layout(page, &boxes, &count)) {
    const char* at = all;
    for (guint i = 0; i < count && *at != '\0'; ++i) {
      const char* next = g_utf8_next_char(at);
      text.characters.emplace_back(at, next);
      text.boxes.push_back(boxes[i]);
      at = next;
    }
  }
  g_free(boxes);
  g_free(all);
  return text;
}

// The characters inside the area (y down), spaces and line breaks made
// single spaces.
std::string TextInside(const PageText& text, double x1, double y1, double x2, double y2) {
  std::string inside;
  for (std::size_t i = 0; i < text.characters.size(); ++i) {
    const PopplerRectangle& box = text.boxes[i];
    const double x = (box.x1 + box.x2) / 2;
    const double y = (box.y1 + box.y2) / 2;
    if (x < x1 || x > x2 || y < y1 || y > y2) continue;
    const std::string& character = text.characters[i];
    const bool space = character == " " || character == "\n" || character == "\r" || character == "\t";
    if (space) {
      if (!inside.empty() && inside.back() != ' ') inside += ' ';
    } else {
      inside += character;
    }
  }
  while (!inside.empty() && inside.back() == ' ') inside.pop_back();
  return inside;
}

// The 1-based page a go-to action leads to, or 0.
int DestinationPage(PopplerDocument* document, const PopplerDest* destination) {
  if (destination == nullptr) return 0;
  if (destination->type != POPPLER_DEST_NAMED) return destination->page_num;
  PopplerDest* found = poppler_document_find_dest(document, destination->named_dest);
  const int page = found != nullptr ? found->page_num : 0;
  if (found != nullptr) poppler_dest_free(found);
  return page;
}

// What a link does, for the list of dropped links.
std::string Describe(const PopplerAction* action) {
  switch (action->type) {
    case POPPLER_ACTION_URI: return action->uri.uri != nullptr ? action->uri.uri : "an empty address";
    case POPPLER_ACTION_LAUNCH: return "a program or file to launch";
    case POPPLER_ACTION_GOTO_REMOTE: return "a page of another file";
    case POPPLER_ACTION_JAVASCRIPT: return "a script";
    case POPPLER_ACTION_NAMED:
      return std::string("the viewer's action ") +
             (action->named.named_dest != nullptr ? action->named.named_dest : "");
    default: return "an action of another kind";
  }
}

}  // namespace

bool IsKeptAddress(std::string_view address) {
  if (address.empty() || address.size() > kLongestAddress) return false;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
  }
  const std::string lower = Lower(address.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0 || lower.rfind("mailto:", 0) == 0;
}

DeckLinks ReadSlideLinks(const std::filesystem::path& pdf, int slides) {
  GError* error = nullptr;
  gchar* uri = g_filename_to_uri(std::filesystem::absolute(pdf).c_str(), nullptr, &error);
  if (uri == nullptr) {
    const std::string reason = error != nullptr ? error->message : "no file address";
    g_clear_error(&error);
    throw Error(kGeneral, "cannot read the links of " + pdf.string() + ": " + reason);
  }
  GObjectPtr<PopplerDocument> document(poppler_document_new_from_file(uri, nullptr, &error));
  g_free(uri);
  if (!document) {
    const std::string reason = error != nullptr ? error->message : "poppler-glib cannot open it";
    g_clear_error(&error);
    throw Error(kGeneral, "cannot read the links of " + pdf.string() + ": " + reason);
  }
  const int pages = poppler_document_get_n_pages(document.get());
  const int count = slides > 0 ? std::min(slides, pages) : pages;
  DeckLinks links;
  links.slides.resize(static_cast<std::size_t>(count));
  links.pageWidths.assign(static_cast<std::size_t>(count), 0);
  links.pageHeights.assign(static_cast<std::size_t>(count), 0);
  for (int index = 0; index < count; ++index) {
    GObjectPtr<PopplerPage> page(poppler_document_get_page(document.get(), index));
    if (!page) continue;
    double width = 0, height = 0;
    poppler_page_get_size(page.get(), &width, &height);
    links.pageWidths[static_cast<std::size_t>(index)] = width;
    links.pageHeights[static_cast<std::size_t>(index)] = height;
    if (width <= 0 || height <= 0) continue;
    GList* mapping = poppler_page_get_link_mapping(page.get());
    if (mapping == nullptr) continue;
    const PageText text = ReadPageText(page.get());
    // poppler lists a page's links last first.
    std::vector<SlideLink>& kept = links.slides[static_cast<std::size_t>(index)];
    const std::string where = "slide " + std::to_string(index + 1) + ": ";
    for (GList* item = g_list_last(mapping); item != nullptr; item = item->prev) {
      const auto* link = static_cast<const PopplerLinkMapping*>(item->data);
      if (link->action == nullptr) continue;
      SlideLink slide;
      const double x1 = std::clamp(std::min(link->area.x1, link->area.x2), 0.0, width);
      const double x2 = std::clamp(std::max(link->area.x1, link->area.x2), 0.0, width);
      const double y1 = std::clamp(height - std::max(link->area.y1, link->area.y2), 0.0, height);
      const double y2 = std::clamp(height - std::min(link->area.y1, link->area.y2), 0.0, height);
      slide.left = x1 / width;
      slide.right = x2 / width;
      slide.top = y1 / height;
      slide.bottom = y2 / height;
      if (link->action->type == POPPLER_ACTION_URI && link->action->uri.uri != nullptr &&
          IsKeptAddress(link->action->uri.uri)) {
        slide.address = link->action->uri.uri;
      } else if (link->action->type == POPPLER_ACTION_GOTO_DEST) {
        slide.slide = DestinationPage(document.get(), link->action->goto_dest.dest);
        if (slide.slide < 1 || slide.slide > count) {
          links.dropped.push_back(where + "a jump to page " + std::to_string(slide.slide) + ", not a slide");
          continue;
        }
      } else {
        links.dropped.push_back(where + Describe(link->action));
        continue;
      }
      if (x2 <= x1 || y2 <= y1) continue;
      slide.text = TextInside(text, x1, y1, x2, y2);
      kept.push_back(std::move(slide));
    }
    poppler_page_free_link_mapping(mapping);
  }
  return links;
}

}  // namespace quillet
