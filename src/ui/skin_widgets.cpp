// Painting and pointer handling of the skin, its pictures and hot areas.
#include "ui/skin_widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace quillet::ui {

SkinSurface::SkinSurface(const QPixmap& skin, QWidget* parent) : QWidget(parent), skin_(skin) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void SkinSurface::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, skin_);
}

void SkinSurface::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  emit BareSkinHovered();
}

SkinPicture::SkinPicture(const QPixmap& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
  setAttribute(Qt::WA_NoMousePropagation);
  setMouseTracking(true);
}

void SkinPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
}

void SkinPicture::mouseMoveEvent(QMouseEvent* event) { event->accept(); }

HotArea::HotArea(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_NoMousePropagation);
  setMouseTracking(true);
}

void HotArea::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  emit Hovered();
  if (pressed_) emit DraggedTo(event->globalPosition().toPoint());
}

void HotArea::mousePressEvent(QMouseEvent* event) {
  event->accept();
  pressed_ = true;
  emit Pressed(event->button(), event->globalPosition().toPoint());
}

void HotArea::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  const bool wasPressed = pressed_;
  pressed_ = false;
  emit Released();
  if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit Clicked();
}

void HotArea::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Enter:
    case Qt::Key_Return:
      if (event->isAutoRepeat()) return;
      emit Clicked();
      return;
    default: QWidget::keyPressEvent(event);
  }
}

void HotArea::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  emit FocusChanged(true);
}

void HotArea::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  emit FocusChanged(false);
}

}  // namespace quillet::ui
