// FormOptions: the Options panel, a frameless window in the about window's
// style that holds the conversion's choices (window_options.h), one group of
// choices per option. Each value is a radio button painted like the main
// window's size choice; Tab moves between the groups and Done, the arrow keys
// choose within a group, and Escape, Enter and Return close the panel, as
// Done does. The panel keeps no choice itself: it reports each one and the
// main window remembers it.
#pragma once

#include <QPixmap>
#include <QWidget>

#include <array>

#include "ui/window_options.h"

class QButtonGroup;

namespace quillet::ui {

// The value chosen for each row of kWindowOptions, by index.
using OptionChoices = std::array<int, kWindowOptionCount>;

class FormOptions : public QWidget {
  Q_OBJECT

 public:
  FormOptions(const OptionChoices& chosen, QWidget* parent);

 signals:
  void OptionChosen(int option, int value);

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPixmap header_;
  QWidget* done_ = nullptr;
  QButtonGroup* firstGroup_ = nullptr;
};

}  // namespace quillet::ui
