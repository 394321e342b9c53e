// The main window as it opens: its frame, every element's place and size in
// pixels, the hot areas' pointers and stacking, the art's sizes, the resize
// rule, centring, and the about window.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include "ui/art.h"
#include "ui/form_about.h"
#include "ui/form_layout.h"
#include "ui/skin_widgets.h"
#include "window_test_support.h"

using namespace quillet::ui;
using namespace quillet::ui::test;

namespace {
const char* const kHoverNames[] = {"imgConvertOver", "ImageOpenOver", "ImageSaveasOver", "Image1",
                                   "Image2",         "Image3",        "ImageOptionsOver"};
}

class WindowLayoutTests : public QObject {
  Q_OBJECT

 private slots:
  void freshStart() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QCOMPARE(Child<QLineEdit>(form, "txtPPT")->text(), QString());
    QCOMPARE(form.Job().m_PptPath, std::string());
    QCOMPARE(form.Job().m_SizeDivisor, 2);
    QCOMPARE(Child(form, "imgSizeDot")->geometry(), QRect(116, 96, 10, 10));
    for (const char* name : kHoverNames) QVERIFY2(Child(form, name)->isHidden(), name);
    QCOMPARE(Child<QLabel>(form, "LabelProgress")->text(), QString());
    QCOMPARE(Child(form, "picProgress")->width(), 227);  // the full fill until a conversion
    QVERIFY(!form.IsConverting());
  }

  void defaultOutputFolderIsTheProgramFolder() {
    auto window = MakeWindow();
    QCOMPARE(Child<QLineEdit>(*window->form, "txtSwf")->text(),
             QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
  }

  void frame() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Quillet"));
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!form.windowIcon().isNull());
    QVERIFY(form.windowIcon().availableSizes().contains(QSize(32, 32)));
    QCOMPARE(form.size(), QSize(444, 260));
  }

  void geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("expected");
    // Pixels as drawn: twips / 15, rounded.
    const std::pair<const char*, QRect> rows[] = {
        {"picSkin", {0, 1, 444, 260}},          {"txtPPT", {37, 114, 224, 15}},
        {"txtSwf", {39, 144, 223, 15}},         {"imgSizeDot", {116, 96, 10, 10}},
        {"picProgress", {117, 236, 227, 7}},    {"LabelAbout", {11, 69, 28, 29}},
        {"LabelMin", {393, 6, 17, 15}},         {"LabelClose", {418, 7, 16, 15}},
        {"LabelOpen", {269, 111, 99, 23}},      {"LabelSave", {270, 141, 98, 22}},
        {"LabelConvert", {172, 180, 94, 25}},   {"LabelMove", {3, 3, 377, 23}},
        {"lblSize0", {70, 90, 13, 20}},         {"lblSize1", {115, 91, 13, 20}},
        {"lblSize2", {178, 90, 13, 20}},        {"Image3", {11, 65, 30, 30}},
        {"Image1", {391, 1, 22, 26}},           {"Image2", {413, 1, 22, 26}},
        {"ImageOpenOver", {269, 111, 99, 23}},  {"ImageSaveasOver", {269, 141, 99, 23}},
        {"imgConvertOver", {172, 180, 92, 23}}, {"LabelOptions", {269, 81, 99, 23}},
    };
    for (const auto& [name, rect] : rows) QTest::newRow(name) << QString::fromUtf8(name) << rect;
  }
  void geometry() {
    QFETCH(QString, name);
    QFETCH(QRect, expected);
    auto window = MakeWindow();
    QWidget* element = window->form->findChild<QWidget*>(name);
    QVERIFY(element);
    QCOMPARE(element->geometry(), expected);
  }

  void progressCaptionPlace() {
    auto window = MakeWindow();
    QCOMPARE(Child(*window->form, "LabelProgress")->pos(), QPoint(205, 220));
  }

  // Every hot area is the topmost element at its own centre, both in the
  // table and among the window's widgets.
  void hotAreasAreOnTop_data() {
    QTest::addColumn<QString>("name");
    for (const HotAreaEntry& entry : kHotAreas) QTest::newRow(entry.objectName) << QString::fromUtf8(entry.objectName);
  }
  void hotAreasAreOnTop() {
    QFETCH(QString, name);
    auto window = MakeWindow();
    QWidget* skin = Child(*window->form, "picSkin");
    QWidget* area = skin->findChild<QWidget*>(name);
    const QPoint centre = area->geometry().center();
    QCOMPARE(skin->childAt(centre), area);
  }

  void pointers_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hand");
    for (const char* name : {"LabelAbout", "LabelMin", "LabelClose", "LabelOptions", "LabelOpen", "LabelSave",
                             "LabelConvert", "LabelMove"})
      QTest::newRow(name) << QString::fromUtf8(name) << true;
    for (const char* name : {"lblSize0", "lblSize1", "lblSize2"})
      QTest::newRow(name) << QString::fromUtf8(name) << false;
  }
  void pointers() {
    QFETCH(QString, name);
    QFETCH(bool, hand);
    auto window = MakeWindow();
    QWidget* area = window->form->findChild<QWidget*>(name);
    if (!hand) {
      QVERIFY(!area->testAttribute(Qt::WA_SetCursor));
      return;
    }
    const QCursor cursor = area->cursor();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), QPoint(5, 0));
    QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
    // The fingertip is drawn: the hot spot's column is opaque a row below it.
    const QImage hand32 = cursor.pixmap().toImage();
    QVERIFY(qAlpha(hand32.pixel(5, 1)) > 0);
  }

  // Top first: each element lies above every one after it.
  void stackingOrder() {
    const char* const order[] = {"picProgress",     "txtPPT",     "txtSwf",        "lblSize2",     "lblSize1",
                                 "lblSize0",        "imgSizeDot", "LabelProgress", "LabelAbout",   "Image3",
                                 "LabelClose",      "LabelMin",   "Image2",        "Image1",       "LabelSave",
                                 "ImageSaveasOver", "LabelOpen",  "ImageOpenOver", "LabelConvert", "imgConvertOver",
                                 "LabelMove"};
    auto window = MakeWindow();
    QWidget* skin = Child(*window->form, "picSkin");
    QList<QWidget*> bottomToTop;
    for (QObject* child : skin->children())
      if (auto* widget = qobject_cast<QWidget*>(child)) bottomToTop << widget;
    int previous = bottomToTop.size();
    for (const char* name : order) {
      const int index = bottomToTop.indexOf(skin->findChild<QWidget*>(QString::fromUtf8(name)));
      QVERIFY2(index >= 0 && index < previous, name);
      previous = index;
    }
  }

  void artSizes() {
    QCOMPARE(SkinArt(1.0).size(), QSize(444, 260));
    QCOMPARE(SizeDotArt(1.0).size(), QSize(10, 10));
    QCOMPARE(ProgressFillArt(1.0).size(), QSize(227, 7));
    QCOMPARE(AboutArt(1.0).size(), QSize(459, 345));
    QCOMPARE(SkinArt(2.0).deviceIndependentSize(), QSizeF(444, 260));
  }

  // Each lit picture has its table size and really differs from the skin
  // under it, so lighting a button shows.
  void hoverArtLightsItsButton_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < kHoverPictureCount; ++i) QTest::newRow(kHoverPictures[i].objectName) << i;
  }
  void hoverArtLightsItsButton() {
    QFETCH(int, index);
    const QRect area = ToPixels(kHoverPictures[index].area);
    const QPixmap lit = HoverArt(area, 1.0);
    QCOMPARE(lit.size(), area.size());
    const QImage skin = SkinArt(1.0).toImage().copy(area).convertToFormat(QImage::Format_RGB32);
    QImage shown = skin;
    QPainter painter(&shown);
    painter.drawPixmap(0, 0, lit);
    painter.end();
    int changed = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x)
        if (shown.pixel(x, y) != skin.pixel(x, y)) ++changed;
    QVERIFY2(changed > area.width() * area.height() / 4, qPrintable(QString::number(changed)));
  }

  void resizeRule() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    form.resize(600, 400);
    QApplication::processEvents();
    QCOMPARE(form.size(), QSize(444, 260));
    form.resize(100, 80);
    QApplication::processEvents();
    QCOMPARE(form.size(), QSize(444, 260));
  }

  void minimisedIsLeftAloneAndRestoreSnapsBack() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    form.setWindowState(Qt::WindowMinimized);
    form.resize(160, 40);
    QApplication::processEvents();
    QCOMPARE(form.size(), QSize(160, 40));
    form.setWindowState(Qt::WindowNoState);
    QApplication::processEvents();
    QCOMPARE(form.size(), QSize(444, 260));
  }

  void centredWhenFirstShown() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    const QPoint screenCentre = form.screen()->availableGeometry().center();
    QVERIFY((form.geometry().center() - screenCentre).manhattanLength() <= 1);
  }

  void aboutWindow() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    Click(form, "LabelAbout");
    QPointer<FormAbout> about = form.AboutWindow();
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QVERIFY(about->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(about->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(about->parentWidget(), nullptr);
    QCOMPARE(about->size(), QSize(459, 345));
    // One instance: a second click brings the same window forward.
    Click(form, "LabelAbout");
    QCOMPARE(form.AboutWindow(), about.data());
    QWidget* labelExit = Child(*about, "LabelExit");
    QCOMPARE(labelExit->geometry(), QRect(296, 298, 95, 23));
    QCOMPARE(labelExit->cursor().hotSpot(), QPoint(5, 0));
    // Continue closes it; the main window stays.
    Click(*about, "LabelExit");
    QVERIFY(WaitUntil([&] { return about.isNull(); }));
    QVERIFY(form.isVisible());
    QCOMPARE(form.AboutWindow(), nullptr);
  }
};

QTEST_MAIN(WindowLayoutTests)
#include "window_layout_test.moc"
