// The about window.
#include "ui/form_about.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

#include "ui/art.h"
#include "ui/form_layout.h"
#include "ui/skin_widgets.h"

namespace quillet::ui {

FormAbout::FormAbout(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(AboutArt(devicePixelRatioF())) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(QStringLiteral("About Quillet"));
  setWindowIcon(WindowIconArt());
  setFixedSize(ToPixels(kAboutArea).size());

  // The version is the program's, not the picture's.
  auto* version = new QLabel(this);
  version->setObjectName(QStringLiteral("LabelVersion"));
  const QString number = QCoreApplication::applicationVersion();
  version->setText(number.isEmpty() ? QString() : QStringLiteral("Version ") + number);
  QPalette palette = version->palette();
  palette.setColor(QPalette::WindowText, QColor(0x8a, 0x93, 0xa6));
  version->setPalette(palette);
  QFont font = version->font();
  font.setPointSizeF(8.25);
  version->setFont(font);
  version->move(36, 306);
  version->adjustSize();

  auto* labelExit = new HotArea(this);
  labelExit->setObjectName(QStringLiteral("LabelExit"));
  labelExit->setGeometry(ToPixels(kLabelExitArea));
  labelExit->setCursor(PointingHandCursor());
  connect(labelExit, &HotArea::Clicked, this, &QWidget::close);
}

void FormAbout::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
}

void FormAbout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace quillet::ui
