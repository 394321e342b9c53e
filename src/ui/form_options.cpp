// The Options panel: its groups of choices, built from kWindowOptions, and
// its painting in the colours of the skin and the about window.
#include "ui/form_options.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/art.h"
#include "ui/form_layout.h"

namespace quillet::ui {

namespace {

constexpr QColor kBodyColour{0xf7, 0xf8, 0xfc};
constexpr QColor kFrameColour{0xc9, 0xce, 0xde};
constexpr QColor kRuleColour{0xe1, 0xe4, 0xee};
constexpr QColor kTextColour{0x2e, 0x34, 0x50};
constexpr QColor kHintColour{0x7a, 0x81, 0x94};
constexpr QColor kChosenColour{0x44, 0x53, 0xe6};
constexpr QColor kRingColour{0x6c, 0x7b, 0xff};
constexpr QColor kDotFrameColour{0xb8, 0xbf, 0xd0};

// Pixels. A choice keeps a small pad around its dot and label for the focus
// ring, so the headings and hints are indented by the same pad to line up.
constexpr int kMargin = 24;
constexpr int kChoicePad = 6;
constexpr int kDotSide = 10;
constexpr int kDotGap = 6;
constexpr int kChoiceHeight = 24;
constexpr double kDotRadius = 4.6;
constexpr int kRowGap = 14;
constexpr int kRuleGap = 16;       // above and below the rule over Done
constexpr int kButtonRing = 2;     // Done's face lies this far inside its focus ring
constexpr int kBottomMargin = 20;  // from Done's face to the panel's edge

QFont SkinFont(int pixels, bool bold = false) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QLabel* MakeText(const QString& text, const QFont& font, const QColor& colour, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
  label->setContentsMargins(kChoicePad, 0, 0, 0);
  return label;
}

// One value of an option, drawn as the main window's size choice: a ring, or
// the size dot when chosen, and the label. The whole of it takes the click.
class SkinChoice : public QRadioButton {
 public:
  SkinChoice(const QString& label, QWidget* parent) : QRadioButton(label, parent) {
    dot_ = SizeDotArt(devicePixelRatioF());
    setFont(SkinFont(12));
    setCursor(PointingHandCursor());
    setAttribute(Qt::WA_Hover);
  }

  QSize sizeHint() const override {
    return {kChoicePad + kDotSide + kDotGap + fontMetrics().horizontalAdvance(text()) + kChoicePad, kChoiceHeight};
  }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  bool hitButton(const QPoint& position) const override { return rect().contains(position); }

  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
      painter.setPen(QPen(kRingColour, 1.5));
      painter.setBrush(Qt::NoBrush);
      painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 4, 4);
    }
    const QRectF dot(kChoicePad, (height() - kDotSide) / 2.0, kDotSide, kDotSide);
    if (isChecked()) {
      painter.drawPixmap(dot.topLeft(), dot_);
    } else {
      painter.setPen(QPen(underMouse() ? kRingColour : kDotFrameColour, 1.2));
      painter.setBrush(Qt::white);
      painter.drawEllipse(dot.center(), kDotRadius, kDotRadius);
    }
    painter.setPen(isChecked() ? kChosenColour : kTextColour);
    painter.setFont(font());
    const int textLeft = kChoicePad + kDotSide + kDotGap;
    painter.drawText(QRect(textLeft, 0, width() - textLeft, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
  }

 private:
  QPixmap dot_;
};

// Done, drawn as the about window's Continue, lit like Convert under the
// pointer, with a ring around it when it has the focus.
class SkinButton : public QPushButton {
 public:
  SkinButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFont(SkinFont(13, true));
    setCursor(PointingHandCursor());
    setAttribute(Qt::WA_Hover);
    setFixedSize(95 + 2 * kButtonRing, 23 + 2 * kButtonRing);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(kButtonRing, kButtonRing, -kButtonRing, -kButtonRing);
    const bool lit = underMouse() || isDown();
    QLinearGradient fill(face.topLeft(), lit ? face.bottomRight() : face.bottomLeft());
    fill.setColorAt(0, lit ? QColor(0x74, 0x82, 0xff) : QColor(0x64, 0x73, 0xff));
    fill.setColorAt(1, lit ? QColor(0x8b, 0x5c, 0xf6) : QColor(0x4f, 0x5e, 0xf0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(face, 4, 4);
    if (hasFocus()) {
      painter.setPen(QPen(kRingColour, 1.5));
      painter.setBrush(Qt::NoBrush);
      painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 5, 5);
    }
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(face, Qt::AlignCenter, text());
  }
};

}  // namespace

FormOptions::FormOptions(const OptionChoices& chosen, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint), header_(OptionsHeaderArt(devicePixelRatioF())) {
  setObjectName(QStringLiteral("FormOptions"));
  setWindowTitle(QStringLiteral("Quillet options"));
  setAccessibleName(QStringLiteral("Options"));
  setWindowIcon(WindowIconArt());

  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(kMargin - kChoicePad, kOptionsHeaderSize.height() + kRowGap, kMargin - kChoicePad,
                           kBottomMargin - kButtonRing);
  rows->setSpacing(0);
  for (int option = 0; option < kWindowOptionCount; ++option) {
    const WindowOption& entry = kWindowOptions[static_cast<std::size_t>(option)];
    const QString name = QString::fromUtf8(entry.name);
    const QString description = QString::fromUtf8(entry.description);
    rows->addWidget(MakeText(name, SkinFont(13, true), kTextColour, this));
    rows->addSpacing(2);

    auto* values = new QHBoxLayout;
    values->setSpacing(8);
    auto* group = new QButtonGroup(this);
    if (!firstGroup_) firstGroup_ = group;
    for (std::size_t value = 0; value < entry.values.size(); ++value) {
      const QString label = QString::fromUtf8(entry.values[value].label);
      auto* choice = new SkinChoice(label, this);
      choice->setObjectName(QStringLiteral("%1.%2").arg(QString::fromUtf8(entry.settingsKey),
                                                        QString::fromUtf8(entry.values[value].stored)));
      choice->setAccessibleName(name + QStringLiteral(": ") + label);
      choice->setAccessibleDescription(description);
      group->addButton(choice, static_cast<int>(value));
      values->addWidget(choice);
    }
    values->addStretch();
    rows->addLayout(values);
    if (QAbstractButton* current = group->button(chosen[static_cast<std::size_t>(option)])) current->setChecked(true);
    connect(group, &QButtonGroup::idClicked, this, [this, option](int value) { emit OptionChosen(option, value); });

    QLabel* hint = MakeText(description, SkinFont(11), kHintColour, this);
    hint->setWordWrap(true);
    rows->addWidget(hint);
    rows->addSpacing(kRowGap);
  }

  auto* footer = new QHBoxLayout;
  footer->addStretch();
  auto* done = new SkinButton(QStringLiteral("Done"), this);
  done->setObjectName(QStringLiteral("ButtonDone"));
  done->setAccessibleName(QStringLiteral("Done"));
  done->setAccessibleDescription(QStringLiteral("Closes the options; every choice is already kept"));
  connect(done, &QPushButton::clicked, this, &QWidget::close);
  footer->addWidget(done);
  rows->addSpacing(2 * kRuleGap + 1 - kRowGap - kButtonRing);
  rows->addLayout(footer);
  done_ = done;

  const int width = kOptionsHeaderSize.width();
  setFixedSize(width, rows->hasHeightForWidth() ? rows->totalHeightForWidth(width) : rows->totalSizeHint().height());
}

// The checked choice of the first option has the keyboard as the panel opens.
void FormOptions::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (QAbstractButton* first = firstGroup_ ? firstGroup_->checkedButton() : nullptr)
    first->setFocus(Qt::TabFocusReason);
}

void FormOptions::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBodyColour);
  painter.drawPixmap(0, 0, header_);
  painter.fillRect(0, done_->y() + kButtonRing - kRuleGap - 1, width(), 1, kRuleColour);
  painter.setPen(kFrameColour);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void FormOptions::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Enter:
    case Qt::Key_Return: close(); return;
    default: QWidget::keyPressEvent(event);
  }
}

}  // namespace quillet::ui
