// Twips to pixels and the size choices.
#include "ui/form_layout.h"

#include <cmath>

namespace quillet::ui {

int TwipsToPixels(double twips) { return static_cast<int>(std::lrint(twips / kTwipsPerPixel)); }

QRect ToPixels(const TwipRect& twips) {
  return QRect(TwipsToPixels(twips.left), TwipsToPixels(twips.top), TwipsToPixels(twips.width),
               TwipsToPixels(twips.height));
}

int SizeDivisorFor(int sizeIndex) { return kSizeChoiceCount - sizeIndex; }

}  // namespace quillet::ui
