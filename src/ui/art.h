// The window's art, kept as SVG sources in src/ui/art/ and compiled in as Qt
// resources. Each picture is rendered at its design size (times the screen's
// device pixel ratio, so it stays sharp on dense screens). The six lit
// buttons are drawn together on one transparent layer in skin coordinates and
// cut out at their hover pictures' rectangles, so each lies exactly over the
// button it lights.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>

namespace quillet::ui {

QPixmap RenderArt(const QString& resourcePath, QSize size, qreal devicePixelRatio);

QPixmap SkinArt(qreal devicePixelRatio);
QPixmap HoverArt(const QRect& skinRectangle, qreal devicePixelRatio);
QPixmap SizeDotArt(qreal devicePixelRatio);
QPixmap ProgressFillArt(qreal devicePixelRatio);
QPixmap AboutArt(qreal devicePixelRatio);
QPixmap OptionsHeaderArt(qreal devicePixelRatio);
QIcon WindowIconArt();
QCursor PointingHandCursor();

}  // namespace quillet::ui
