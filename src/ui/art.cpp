// Rendering the SVG art with QtSvg.
#include "ui/art.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include "ui/form_layout.h"

// Q_INIT_RESOURCE must be used outside any namespace; a static library's
// resources are linked in only through this reference.
static void LoadArtResources() { Q_INIT_RESOURCE(art); }

namespace quillet::ui {

namespace {

QImage RenderImage(const QString& resourcePath, QSize size, qreal devicePixelRatio) {
  static const bool loaded = (LoadArtResources(), true);
  Q_UNUSED(loaded);
  QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QSvgRenderer renderer(resourcePath);
  Q_ASSERT_X(renderer.isValid(), "RenderArt", qPrintable(resourcePath));
  QPainter painter(&image);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
  painter.end();
  image.setDevicePixelRatio(devicePixelRatio);
  return image;
}

}  // namespace

QPixmap RenderArt(const QString& resourcePath, QSize size, qreal devicePixelRatio) {
  return QPixmap::fromImage(RenderImage(resourcePath, size, devicePixelRatio));
}

QPixmap SkinArt(qreal devicePixelRatio) {
  return RenderArt(QStringLiteral(":/quillet/art/skin.svg"), ToPixels(kSkinArea).size(), devicePixelRatio);
}

QPixmap HoverArt(const QRect& skinRectangle, qreal devicePixelRatio) {
  const QImage layer =
      RenderImage(QStringLiteral(":/quillet/art/hover.svg"), ToPixels(kSkinArea).size(), devicePixelRatio);
  const QRect scaled(skinRectangle.topLeft() * devicePixelRatio, skinRectangle.size() * devicePixelRatio);
  QImage cut = layer.copy(scaled);
  cut.setDevicePixelRatio(devicePixelRatio);
  return QPixmap::fromImage(cut);
}

QPixmap SizeDotArt(qreal devicePixelRatio) {
  return RenderArt(QStringLiteral(":/quillet/art/size-dot.svg"), ToPixels(kSizeDotArea).size(), devicePixelRatio);
}

QPixmap ProgressFillArt(qreal devicePixelRatio) {
  return RenderArt(QStringLiteral(":/quillet/art/progress-fill.svg"), ToPixels(kProgressArea).size(), devicePixelRatio);
}

QPixmap AboutArt(qreal devicePixelRatio) {
  return RenderArt(QStringLiteral(":/quillet/art/about.svg"), ToPixels(kAboutArea).size(), devicePixelRatio);
}

QPixmap OptionsHeaderArt(qreal devicePixelRatio) {
  return RenderArt(QStringLiteral(":/quillet/art/options.svg"), kOptionsHeaderSize, devicePixelRatio);
}

QIcon WindowIconArt() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(RenderArt(QStringLiteral(":/quillet/art/icon.svg"), QSize(side, side), 1.0));
  return icon;
}

QCursor PointingHandCursor() {
  const QPixmap hand = RenderArt(QStringLiteral(":/quillet/art/pointer.svg"), QSize(32, 32), 1.0);
  return QCursor(hand, kPointerHotSpot.x(), kPointerHotSpot.y());
}

}  // namespace quillet::ui
