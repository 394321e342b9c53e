// FormAbout: a frameless 459 x 345 picture that floats above other windows,
// with one hot area over its painted Continue button that closes it. Escape
// closes it too.
#pragma once

#include <QWidget>

namespace quillet::ui {

class FormAbout : public QWidget {
  Q_OBJECT

 public:
  explicit FormAbout(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPixmap picture_;
};

}  // namespace quillet::ui
