// The progress display: bar widths and captions per percentage, values out
// of range, the start and clear steps, and how the caption and the text
// boxes look.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "ui/progress_display.h"
#include "window_test_support.h"

using namespace quillet::ui;
using namespace quillet::ui::test;

class ProgressDisplayTests : public QObject {
  Q_OBJECT

 private slots:
  void widths_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<float>("twips");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("caption");
    QTest::newRow("0") << 0 << 0.0f << 0 << "0%";
    QTest::newRow("1") << 1 << 34.05f << 2 << "1%";
    QTest::newRow("7") << 7 << 238.35f << 16 << "7%";
    QTest::newRow("50") << 50 << 1702.5f << 114 << "50%";  // 113.5 pixels, halves to even
    QTest::newRow("99") << 99 << 3370.95f << 225 << "99%";
    QTest::newRow("100") << 100 << 3405.0f << 227 << "100%";
  }
  void widths() {
    QFETCH(int, percent);
    QFETCH(float, twips);
    QFETCH(int, pixels);
    QFETCH(QString, caption);
    QCOMPARE(ProgressBarTwips(percent), twips);
    QCOMPARE(ProgressBarPixels(percent), pixels);

    auto window = MakeWindow();
    QWidget* bar = Child(*window->form, "picProgress");
    auto* label = Child<QLabel>(*window->form, "LabelProgress");
    ProgressDisplay display(*bar, *label);
    display.Clear();
    QVERIFY(display.Show(percent));
    QCOMPARE(bar->geometry(), QRect(117, 236, pixels, 7));
    QCOMPARE(label->text(), caption);
  }

  void outOfRangeChangesNothing_data() {
    QTest::addColumn<int>("percent");
    QTest::newRow("101") << 101;
    QTest::newRow("32767") << 32767;
    QTest::newRow("-1") << -1;
  }
  void outOfRangeChangesNothing() {
    QFETCH(int, percent);
    auto window = MakeWindow();
    QWidget* bar = Child(*window->form, "picProgress");
    auto* label = Child<QLabel>(*window->form, "LabelProgress");
    ProgressDisplay display(*bar, *label);
    QVERIFY(display.Show(50));
    QVERIFY(!display.Show(percent));
    QCOMPARE(bar->width(), 114);
    QCOMPARE(label->text(), QStringLiteral("50%"));
  }

  // Nothing is known yet: no bar (the window starts with a full one).
  void startEmptiesTheBar() {
    auto window = MakeWindow();
    QWidget* bar = Child(*window->form, "picProgress");
    auto* label = Child<QLabel>(*window->form, "LabelProgress");
    QCOMPARE(bar->width(), 227);
    ProgressDisplay display(*bar, *label);
    display.Start();
    QCOMPARE(label->text(), QStringLiteral("Converting..."));
    QCOMPARE(bar->width(), 0);
  }

  void clear() {
    auto window = MakeWindow();
    QWidget* bar = Child(*window->form, "picProgress");
    auto* label = Child<QLabel>(*window->form, "LabelProgress");
    ProgressDisplay display(*bar, *label);
    display.Show(70);
    display.Clear();
    QCOMPARE(bar->width(), 0);
    QCOMPARE(label->text(), QString());
  }

  // The caption grows to the right from a fixed left edge.
  void captionSizesToItsText() {
    auto window = MakeWindow();
    QWidget* bar = Child(*window->form, "picProgress");
    auto* label = Child<QLabel>(*window->form, "LabelProgress");
    ProgressDisplay display(*bar, *label);
    display.Show(5);
    const int narrow = label->width();
    display.Start();
    QCOMPARE(label->pos(), QPoint(205, 220));
    QVERIFY(label->width() > narrow);
    QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    // The longest stage still ends inside the window.
    display.ShowStatus(QStringLiteral("Exporting slides with LibreOffice... 888 s"));
    QVERIFY2(label->geometry().right() < label->parentWidget()->width(), qPrintable(QString::number(label->width())));
  }

  void pathFieldsLook_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("txtPPT") << "txtPPT";
    QTest::newRow("txtSwf") << "txtSwf";
  }
  void pathFieldsLook() {
    QFETCH(QString, name);
    auto window = MakeWindow();
    auto* field = window->form->findChild<QLineEdit*>(name);
    QVERIFY(!field->hasFrame());
    QCOMPARE(field->palette().color(QPalette::Text), QColor(64, 64, 64));
    QCOMPARE(field->font(), QApplication::font());
  }
};

QTEST_MAIN(ProgressDisplayTests)
#include "progress_display_test.moc"
