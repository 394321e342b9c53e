// The progress display: the fill bar picProgress growing from the left end of
// the painted track and the grey caption LabelProgress above it. A percentage
// p gives a bar of 3405 / 100 * p twips (227 pixels at 100); values outside
// 0..100 leave both untouched. The caption reads "Converting..." at the start
// (with no bar, as nothing is known yet), then the stage of the slide export
// ("Exporting slides with LibreOffice... 7 s", "Rendering slide 12/40"), "N%"
// after each re-encoded slide and nothing once the display is cleared.
#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace quillet::ui {

inline constexpr const char* kConvertingCaption = "Converting...";

// Bar width for a percentage, in twips as stored (single precision) and in
// whole pixels as drawn.
float ProgressBarTwips(int percent);
int ProgressBarPixels(int percent);

class ProgressDisplay {
 public:
  ProgressDisplay(QWidget& bar, QLabel& caption) : bar_(bar), caption_(caption) {}

  // The Convert command, before the driver runs: no bar, "Converting...".
  void Start();
  // One update; returns false when the percentage was out of range and
  // nothing changed.
  bool Show(int percent);
  // A stage of the conversion that moves no percentage.
  void ShowStatus(const QString& text);
  void Clear();

 private:
  void SetCaption(const QString& text);

  QWidget& bar_;
  QLabel& caption_;
};

}  // namespace quillet::ui
