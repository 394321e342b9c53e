// Renders the scalable icon to a square PNG, so the bitmap icon the desktop
// installs is drawn from the same picture: render_icon IN.svg SIDE OUT.png.
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: render_icon IN.svg SIDE OUT.png\n";
    return 2;
  }
  const int side = std::stoi(argv[2]);
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid() || side < 1 || side > 4096) {
    std::cerr << "render_icon: cannot render " << argv[1] << " at " << side << " pixels\n";
    return 1;
  }
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::cerr << "render_icon: cannot write " << argv[3] << "\n";
    return 1;
  }
  return 0;
}
