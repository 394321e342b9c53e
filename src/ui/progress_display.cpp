// Bar width and caption of the progress display.
#include "ui/progress_display.h"

#include <QLabel>
#include <QWidget>

#include "ui/form_layout.h"

namespace quillet::ui {

namespace {
constexpr int kFullPercent = 100;
}  // namespace

float ProgressBarTwips(int percent) {
  return static_cast<float>(static_cast<double>(kProgressArea.width) / kFullPercent * percent);
}

int ProgressBarPixels(int percent) { return TwipsToPixels(ProgressBarTwips(percent)); }

// Nothing is known yet, so no bar.
void ProgressDisplay::Start() {
  bar_.resize(0, bar_.height());
  SetCaption(QString::fromUtf8(kConvertingCaption));
}

bool ProgressDisplay::Show(int percent) {
  if (percent < 0 || percent > kFullPercent) return false;
  bar_.resize(ProgressBarPixels(percent), bar_.height());
  SetCaption(QString::number(percent) + QLatin1Char('%'));
  return true;
}

void ProgressDisplay::ShowStatus(const QString& text) { SetCaption(text); }

void ProgressDisplay::Clear() {
  bar_.resize(0, bar_.height());
  SetCaption(QString());
}

// The caption sizes itself to its text; its left edge stays where it is.
void ProgressDisplay::SetCaption(const QString& text) {
  caption_.setText(text);
  caption_.adjustSize();
}

}  // namespace quillet::ui
