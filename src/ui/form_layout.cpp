// Twips to pixels and the look-ups over the hot-area table.
#include "ui/form_layout.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quillet::ui {

int TwipsToPixels(double twips) { return static_cast<int>(std::lrint(twips / kTwipsPerPixel)); }

QRect ToPixels(const TwipRect& twips) {
  return QRect(TwipsToPixels(twips.left), TwipsToPixels(twips.top), TwipsToPixels(twips.width),
               TwipsToPixels(twips.height));
}

int SizeDivisorFor(int sizeIndex) { return kSizeChoiceCount - sizeIndex; }

const HotAreaEntry* HotAreaAt(QPoint skinPoint) {
  for (const HotAreaEntry& entry : kHotAreas) {
    if (ToPixels(entry.area).contains(skinPoint)) return &entry;
  }
  return nullptr;
}

const HotAreaEntry& HotAreaNamed(const char* objectName) {
  for (const HotAreaEntry& entry : kHotAreas) {
    if (std::strcmp(entry.objectName, objectName) == 0) return entry;
  }
  throw std::invalid_argument(std::string("no hot area named ") + objectName);
}

}  // namespace quillet::ui
