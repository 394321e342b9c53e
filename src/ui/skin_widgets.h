// The three kinds of element a skinned window is made of: the skin itself,
// pictures laid on it (a lit button, the size dot, the progress fill) and
// transparent hot areas. A picture draws its pixmap from its top-left corner
// and clips it to its own width, so narrowing the progress fill uncovers the
// track. Pictures and hot areas keep the pointer's movements to themselves:
// only movement over the bare skin reaches the skin.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>

namespace quillet::ui {

class SkinSurface : public QWidget {
  Q_OBJECT

 public:
  SkinSurface(const QPixmap& skin, QWidget* parent);

 signals:
  // The pointer moved over the skin and over none of its children.
  void BareSkinHovered();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QPixmap skin_;
};

class SkinPicture : public QWidget {
  Q_OBJECT

 public:
  SkinPicture(const QPixmap& picture, QWidget* parent);
  const QPixmap& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QPixmap picture_;
};

// A transparent, caption-less clickable area. A click is a press and a
// release of the left button inside the area; any press is reported too (the
// drag strip moves the window on a press of any button). An area given a
// focus policy takes the keyboard: Space, Enter and Return click it, and it
// reports gaining and losing the focus, so the window can light it.
class HotArea : public QWidget {
  Q_OBJECT

 public:
  explicit HotArea(QWidget* parent);

 signals:
  void Hovered();
  void Pressed(Qt::MouseButton button, QPoint globalPosition);
  void DraggedTo(QPoint globalPosition);
  void Released();
  void Clicked();
  void FocusChanged(bool focused);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool pressed_ = false;
};

}  // namespace quillet::ui
