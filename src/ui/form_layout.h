// Where everything sits on the main window and the about window. The window
// was drawn at 15 twips per pixel, so every place is kept here in twips, as
// drawn, and turned into pixels in one function. The hot areas are data: a
// rectangle, the pointer it shows, the lit picture it has and what a click
// does, so the window builds them and tests can hit them from the table.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>

namespace quillet::ui {

inline constexpr int kTwipsPerPixel = 15;

struct TwipRect {
  int left;
  int top;
  int width;
  int height;
};

// Nearest pixel, halves to even (1445 twips -> 96.33 -> 96 pixels).
int TwipsToPixels(double twips);
QRect ToPixels(const TwipRect& twips);

// The window itself and the skin picture that covers it.
inline constexpr TwipRect kFormArea{0, 0, 6660, 3900};   // 444 x 260, held by the resize rule
inline constexpr TwipRect kSkinArea{0, 15, 6660, 3900};  // picSkin, 1 pixel down

// Elements other than the hot areas, relative to picSkin.
inline constexpr TwipRect kTxtPPTArea{555, 1710, 3360, 225};
inline constexpr TwipRect kTxtSwfArea{585, 2160, 3345, 225};
inline constexpr TwipRect kSizeDotArea{1740, 1445, 150, 150};
inline constexpr TwipRect kProgressArea{1755, 3540, 3405, 105};
inline constexpr TwipRect kLabelProgressArea{3075, 3300, 240, 195};

// The lit pictures, in the order the bare skin hides them.
enum class HoverPicture { imgConvertOver, ImageOpenOver, ImageSaveasOver, Image1, Image2, Image3, ImageOptionsOver };
inline constexpr int kHoverPictureCount = 7;

struct HoverPictureEntry {
  HoverPicture picture;
  const char* objectName;
  TwipRect area;
};

inline constexpr std::array<HoverPictureEntry, kHoverPictureCount> kHoverPictures{{
    {HoverPicture::imgConvertOver, "imgConvertOver", {2580, 2700, 1380, 345}},
    {HoverPicture::ImageOpenOver, "ImageOpenOver", {4035, 1665, 1485, 345}},
    {HoverPicture::ImageSaveasOver, "ImageSaveasOver", {4035, 2115, 1485, 345}},
    {HoverPicture::Image1, "Image1", {5865, 15, 330, 390}},
    {HoverPicture::Image2, "Image2", {6195, 15, 330, 390}},
    {HoverPicture::Image3, "Image3", {165, 975, 450, 450}},
    {HoverPicture::ImageOptionsOver, "ImageOptionsOver", {4035, 1215, 1485, 345}},
}};

enum class HotAction { ShowAbout, ShowOptions, Minimise, Close, Open, SaveTo, Convert, Drag, ChooseSize };
enum class Pointer { PointingHand, Arrow };

struct HotAreaEntry {
  const char* objectName;
  TwipRect area;
  HotAction action;
  Pointer pointer;
  bool hasHoverPicture;
  HoverPicture hover;  // meaningful when hasHoverPicture
  int sizeIndex;       // lblSize index for ChooseSize, else -1
};

// Top first, as the window stacks them.
inline constexpr std::array<HotAreaEntry, 11> kHotAreas{{
    {"lblSize2", {2670, 1350, 195, 300}, HotAction::ChooseSize, Pointer::Arrow, false, HoverPicture::Image1, 2},
    {"lblSize1", {1725, 1365, 195, 300}, HotAction::ChooseSize, Pointer::Arrow, false, HoverPicture::Image1, 1},
    {"lblSize0", {1050, 1350, 195, 300}, HotAction::ChooseSize, Pointer::Arrow, false, HoverPicture::Image1, 0},
    {"LabelAbout", {165, 1035, 420, 435}, HotAction::ShowAbout, Pointer::PointingHand, true, HoverPicture::Image3, -1},
    {"LabelClose", {6270, 105, 240, 225}, HotAction::Close, Pointer::PointingHand, true, HoverPicture::Image2, -1},
    {"LabelMin", {5895, 90, 255, 225}, HotAction::Minimise, Pointer::PointingHand, true, HoverPicture::Image1, -1},
    {"LabelOptions",
     {4035, 1215, 1485, 345},
     HotAction::ShowOptions,
     Pointer::PointingHand,
     true,
     HoverPicture::ImageOptionsOver,
     -1},
    {"LabelSave",
     {4050, 2115, 1470, 330},
     HotAction::SaveTo,
     Pointer::PointingHand,
     true,
     HoverPicture::ImageSaveasOver,
     -1},
    {"LabelOpen",
     {4035, 1665, 1485, 345},
     HotAction::Open,
     Pointer::PointingHand,
     true,
     HoverPicture::ImageOpenOver,
     -1},
    {"LabelConvert",
     {2580, 2700, 1410, 375},
     HotAction::Convert,
     Pointer::PointingHand,
     true,
     HoverPicture::imgConvertOver,
     -1},
    {"LabelMove", {45, 45, 5655, 345}, HotAction::Drag, Pointer::PointingHand, false, HoverPicture::Image1, -1},
}};

// The size choices: lblSize(i) selects divisor 3 - i.
inline constexpr int kSizeChoiceCount = 3;
int SizeDivisorFor(int sizeIndex);

// The about window: 459 x 345 with one hot area over its Continue button.
inline constexpr TwipRect kAboutArea{0, 0, 6885, 5175};
inline constexpr TwipRect kLabelExitArea{4440, 4470, 1425, 345};

// The Options panel: as wide as its header band, as tall as its choices
// need (it is laid out in pixels, not drawn).
inline constexpr QSize kOptionsHeaderSize{320, 64};

// The pointing hand's hot spot: the fingertip of the 32 x 32 cursor.
inline constexpr QPoint kPointerHotSpot{5, 0};

}  // namespace quillet::ui
