// The main window's commands through its hot areas: the size choice, the
// hover rule, Open, Save to, the Convert command's file check, minimise,
// close and the drag strip.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ui/form_layout.h"
#include "window_test_support.h"

using namespace quillet::ui;
using namespace quillet::ui::test;

namespace {

const char* const kHoverNames[] = {"imgConvertOver", "ImageOpenOver", "ImageSaveasOver", "Image1",
                                   "Image2",         "Image3",        "ImageOptionsOver"};

QStringList LitPictures(QWidget& form) {
  QStringList lit;
  for (const char* name : kHoverNames)
    if (Child(form, name)->isVisible()) lit << QString::fromUtf8(name);
  return lit;
}

}  // namespace

class WindowCommandTests : public QObject {
  Q_OBJECT

 private slots:
  void sizeChoice_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<int>("dotLeft");
    QTest::newRow("small") << 0 << 3 << 70;
    QTest::newRow("medium") << 1 << 2 << 115;
    QTest::newRow("big") << 2 << 1 << 178;
  }
  void sizeChoice() {
    QFETCH(int, index);
    QFETCH(int, divisor);
    QFETCH(int, dotLeft);
    auto window = MakeWindow();
    Form1& form = *window->form;
    // Start from another choice, so the click has something to change.
    form.lblSize_Click(index == 0 ? 2 : 0);
    Click(form, QStringLiteral("lblSize%1").arg(index).toUtf8().constData());
    QCOMPARE(form.Job().m_SizeDivisor, divisor);
    QCOMPARE(Child(form, "imgSizeDot")->geometry(), QRect(dotLeft, 96, 10, 10));
  }

  void hoverShowsItsPicture_data() {
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("picture");
    QTest::newRow("about") << "LabelAbout"
                           << "Image3";
    QTest::newRow("minimise") << "LabelMin"
                              << "Image1";
    QTest::newRow("close") << "LabelClose"
                           << "Image2";
    QTest::newRow("open") << "LabelOpen"
                          << "ImageOpenOver";
    QTest::newRow("save") << "LabelSave"
                          << "ImageSaveasOver";
    QTest::newRow("convert") << "LabelConvert"
                             << "imgConvertOver";
    QTest::newRow("options") << "LabelOptions"
                             << "ImageOptionsOver";
  }
  void hoverShowsItsPicture() {
    QFETCH(QString, area);
    QFETCH(QString, picture);
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    HoverSkin(form, QPoint(300, 60));
    HoverChild(form, area.toUtf8().constData());
    QCOMPARE(LitPictures(form), QStringList{picture});
  }

  // A lit picture stays lit over other children (a text box, a hot area
  // without a picture, another lit button) and all go out on the bare skin.
  void hoverHideAllRule() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    HoverChild(form, "LabelOpen");
    HoverChild(form, "txtPPT");
    HoverChild(form, "LabelMove");
    HoverChild(form, "lblSize1");
    QCOMPARE(LitPictures(form), QStringList{QStringLiteral("ImageOpenOver")});
    HoverChild(form, "LabelConvert");
    HoverChild(form, "LabelAbout");
    QCOMPARE(LitPictures(form).size(), 3);
    HoverSkin(form, QPoint(300, 60));
    QCOMPARE(LitPictures(form), QStringList());
  }

  // Leaving the window straight from a lit button puts it out too.
  void leavingTheWindowPutsOutTheButtons() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    HoverChild(form, "LabelClose");
    QCOMPARE(LitPictures(form), QStringList{QStringLiteral("Image2")});
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&form, &leave);
    QCOMPARE(LitPictures(form), QStringList());
  }

  void openStoresTheChosenDeck() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    window->dialogs.openAnswers = {QStringLiteral("/talks/intro.ppt")};
    Click(form, "LabelOpen");
    QCOMPARE(window->dialogs.openCalls, 1);
    QCOMPARE(Child<QLineEdit>(form, "txtPPT")->text(), QStringLiteral("/talks/intro.ppt"));
    QCOMPARE(form.Job().m_PptPath, std::string("/talks/intro.ppt"));
  }

  void cancelledOpenKeepsTheEarlierDeck() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    window->dialogs.openAnswers = {QStringLiteral("/talks/intro.ppt"), QString()};
    Click(form, "LabelOpen");
    Click(form, "LabelOpen");
    QCOMPARE(window->dialogs.openCalls, 2);
    QCOMPARE(Child<QLineEdit>(form, "txtPPT")->text(), QStringLiteral("/talks/intro.ppt"));
    QCOMPARE(form.Job().m_PptPath, std::string("/talks/intro.ppt"));
  }

  void saveTo_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain folder") << "/home/ann/shows"
                                  << "/home/ann/shows";
    QTest::newRow("trailing separator") << "/home/ann/shows/"
                                        << "/home/ann/shows";
    QTest::newRow("two trailing separators") << "/home/ann/shows//"
                                             << "/home/ann/shows";
    QTest::newRow("root stays root") << "/"
                                     << "/";
    QTest::newRow("cancel keeps the folder") << ""
                                             << "/earlier";
  }
  void saveTo() {
    QFETCH(QString, answer);
    QFETCH(QString, shown);
    auto window = MakeWindow();
    Form1& form = *window->form;
    window->dialogs.folderAnswers = {QStringLiteral("/earlier"), answer};
    Click(form, "LabelSave");
    Click(form, "LabelSave");
    QCOMPARE(window->dialogs.folderTitles,
             (QStringList{QStringLiteral("Select a Folder"), QStringLiteral("Select a Folder")}));
    QCOMPARE(Child<QLineEdit>(form, "txtSwf")->text(), shown);
  }

  void typingDoesNotChangeTheStoredDeck() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    window->dialogs.openAnswers = {QStringLiteral("/talks/intro.ppt")};
    Click(form, "LabelOpen");
    auto* txtPPT = Child<QLineEdit>(form, "txtPPT");
    txtPPT->clear();
    QTest::keyClicks(txtPPT, QStringLiteral("/talks/other.ppt"));
    QCOMPARE(txtPPT->text(), QStringLiteral("/talks/other.ppt"));
    QCOMPARE(form.Job().m_PptPath, std::string("/talks/intro.ppt"));
  }

  void convertWithoutDeck_data() {
    QTest::addColumn<QString>("storedDeck");
    QTest::newRow("never chosen") << QString();
    QTest::newRow("since deleted") << QStringLiteral("/no/such/folder/deck.ppt");
  }
  void convertWithoutDeck() {
    QFETCH(QString, storedDeck);
    int conversions = 0;
    auto window = MakeWindow([&](auto&&...) -> quillet::ConversionOutcome {
      ++conversions;
      return {};
    });
    Form1& form = *window->form;
    form.Job().m_PptPath = storedDeck.toStdString();
    // A real file typed into the box does not count: the stored path does.
    QTemporaryDir folder;
    const QString typed = folder.filePath(QStringLiteral("typed.ppt"));
    QFile(typed).open(QIODevice::WriteOnly);
    Child<QLineEdit>(form, "txtPPT")->setText(typed);
    Click(form, "LabelConvert");
    QCOMPARE(window->dialogs.messages.size(), std::size_t{1});
    QCOMPARE(window->dialogs.messages[0].text, QStringLiteral("Please select the PowerPoint file."));
    QCOMPARE(window->dialogs.messages[0].caption, QStringLiteral("Quillet"));
    QCOMPARE(Child<QLabel>(form, "LabelProgress")->text(), QString());
    QVERIFY(!form.IsConverting());
    QApplication::processEvents();
    QCOMPARE(conversions, 0);
  }

  // The desktop's boxes carry the buttons asked for; either one closes them.
  void messageBoxButtons_data() {
    QTest::addColumn<MessageButtons>("buttons");
    QTest::addColumn<int>("shown");
    QTest::newRow("OK") << MessageButtons::Ok << int(QMessageBox::Ok);
    QTest::newRow("OK and Cancel") << MessageButtons::OkCancel << int(QMessageBox::Ok | QMessageBox::Cancel);
  }
  void messageBoxButtons() {
    QFETCH(MessageButtons, buttons);
    QFETCH(int, shown);
    int seen = 0;
    QString caption;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      poll.stop();
      seen = int(box->standardButtons());
      caption = box->windowTitle();
      box->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    QtDialogs().ShowMessage(nullptr, QStringLiteral("Error Number: 5"), QStringLiteral("Error"), MessageKind::Failure,
                            buttons);
    QCOMPARE(seen, shown);
    QCOMPARE(caption, QStringLiteral("Error"));
  }

  // A check that fails for another reason than a missing file says so
  // first (here: a file name longer than the file system allows).
  void convertCheckFailure() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    form.Job().m_PptPath = "/tmp/" + std::string(300, 'a') + ".ppt";
    Click(form, "LabelConvert");
    QCOMPARE(window->dialogs.messages.size(), std::size_t{2});
    QCOMPARE(window->dialogs.messages[0].caption, QStringLiteral("Error"));
    QCOMPARE(window->dialogs.messages[0].buttons, MessageButtons::OkCancel);
    QVERIFY2(window->dialogs.messages[0].text.startsWith(QStringLiteral("Error Number: 36")),
             qPrintable(window->dialogs.messages[0].text));
    QCOMPARE(window->dialogs.messages[1].text, QStringLiteral("Please select the PowerPoint file."));
    QCOMPARE(window->dialogs.messages[1].buttons, MessageButtons::Ok);
    QVERIFY(!form.IsConverting());
  }

  void minimise() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    Click(form, "LabelMin");
    QVERIFY(form.windowState() & Qt::WindowMinimized);
  }

  void close() {
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    Click(form, "LabelClose");
    QVERIFY(!form.isVisible());
  }

  // Where the window system runs no move loop (the offscreen platform, a
  // bare X server) the strip drags the window itself, with any button.
  void dragStrip_data() {
    QTest::addColumn<int>("button");
    QTest::newRow("left") << int(Qt::LeftButton);
    QTest::newRow("right") << int(Qt::RightButton);
  }
  void dragStrip() {
    QFETCH(int, button);
    const auto mouseButton = Qt::MouseButton(button);
    auto window = MakeWindow();
    Form1& form = *window->form;
    QVERIFY(ShowAndWait(form));
    const QPoint start = form.pos();
    QWidget* strip = Child(form, "LabelMove");
    const QPoint grip(40, 10);
    QTest::mousePress(strip, mouseButton, Qt::NoModifier, grip);
    const QPoint to = grip + QPoint(30, 20);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(strip->mapToGlobal(to)), Qt::NoButton, mouseButton,
                     Qt::NoModifier);
    QApplication::sendEvent(strip, &move);
    QTest::mouseRelease(strip, mouseButton, Qt::NoModifier, to);
    QCOMPARE(form.pos(), start + QPoint(30, 20));
  }
};

QTEST_MAIN(WindowCommandTests)
#include "window_command_test.moc"
