// The window as an installed desktop program: the default output folder, the
// choices remembered between runs (the Options panel's too), a deck handed
// over on the command line and a file dropped on the window.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "window_test_support.h"

using namespace quillet::ui;
using namespace quillet::ui::test;

namespace {

struct Window {
  FakeDialogs dialogs;
  std::unique_ptr<Form1> form;
  QString Field(const char* name) { return Child<QLineEdit>(*form, name)->text(); }
};

std::unique_ptr<Window> Open(const QString& programFolder, QSettings* settings = nullptr,
                             ConversionFunction convert = {}) {
  auto window = std::make_unique<Window>();
  window->form = std::make_unique<Form1>(Form1Services{window->dialogs, std::move(convert), programFolder, settings});
  return window;
}

void Touch(const QString& path) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("deck");
}

// Drags `paths` over the window and drops them; true when the window took
// the drag.
bool Drop(Form1& form, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  const QPoint point(200, 120);
  QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &drop);
  QCoreApplication::processEvents();
  return true;
}

}  // namespace

class WindowDesktopTests : public QObject {
  Q_OBJECT

 private slots:
  // The home folder stands in for a program folder the user cannot fill.
  void defaultOutputFolder() {
    QTemporaryDir scratch;
    const QString bin = scratch.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    QCOMPARE(Open(bin)->Field("txtSwf"), bin);
    QCOMPARE(Open(QStringLiteral("/proc"))->Field("txtSwf"), QDir::homePath());  // read-only, even to root
    QVERIFY(QDir().mkpath(scratch.filePath(QStringLiteral("share/quillet"))));
    QCOMPARE(Open(bin)->Field("txtSwf"), QDir::homePath());  // installed
  }

  void remembersFolderAndSize() {
    QTemporaryDir scratch;
    const QString program = scratch.filePath(QStringLiteral("program"));
    const QString chosen = scratch.filePath(QStringLiteral("slides"));
    QVERIFY(QDir().mkpath(program));
    QVERIFY(QDir().mkpath(chosen));
    QSettings settings(scratch.filePath(QStringLiteral("quillet.conf")), QSettings::IniFormat);
    {
      auto first = Open(program, &settings);
      first->dialogs.folderAnswers << chosen + QStringLiteral("/");
      Click(*first->form, "LabelSave");
      Click(*first->form, "lblSize0");
    }
    auto second = Open(program, &settings);
    QCOMPARE(second->Field("txtSwf"), chosen);
    QCOMPARE(second->form->Job().m_SizeDivisor, 3);
    QCOMPARE(Child(*second->form, "imgSizeDot")->x(), 70);

    QVERIFY(QDir(chosen).removeRecursively());
    auto third = Open(program, &settings);
    QCOMPARE(third->Field("txtSwf"), program);
    QCOMPARE(third->form->Job().m_SizeDivisor, 3);
  }

  // The player and the package, chosen from the keyboard alone in the Options panel: kept
  // under the key and value the window has always stored, shown again by
  // the next run and handed to its conversion.
  void optionsPanelChoiceIsRememberedAndConverted() {
    QTemporaryDir scratch;
    const QString deck = scratch.filePath(QStringLiteral("talk.ppt"));
    Touch(deck);
    QSettings settings(scratch.filePath(QStringLiteral("quillet.conf")), QSettings::IniFormat);
    {
      auto first = Open(scratch.path(), &settings);
      Form1& form = *first->form;
      QVERIFY(ShowAndWait(form));
      QVERIFY(QTest::qWaitForWindowActive(&form));
      QWidget* options = Child(form, "LabelOptions");
      QVERIFY(!options->accessibleName().isEmpty());
      Child(form, "txtSwf")->setFocus();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), options);
      QVERIFY(Child(form, "ImageOptionsOver")->isVisible());
      QTest::keyClick(options, Qt::Key_Space);
      QPointer<FormOptions> panel = form.OptionsWindow();
      QVERIFY(panel);
      QVERIFY(WaitUntil([&] { return QApplication::activeWindow() == panel; }));
      auto* online = Child<QAbstractButton>(*panel, "player.online");
      auto* local = Child<QAbstractButton>(*panel, "player.local");
      QVERIFY(online->isChecked());
      QCOMPARE(QApplication::focusWidget(), online);
      for (auto* control : panel->findChildren<QWidget*>())
        if (control->focusPolicy() != Qt::NoFocus)
          QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
      QTest::keyClick(online, Qt::Key_Right);
      QVERIFY(local->isChecked());
      QCOMPARE(QApplication::focusWidget(), local);
      QCOMPARE(settings.value(QStringLiteral("player")).toString(), QStringLiteral("local"));
      // Tab leaves each group for the next one's first choice, which Right
      // turns on (full HD, then the package, then the notes); the last
      // group's Tab goes to Done. Escape closes the panel.
      QTest::keyClick(local, Qt::Key_Tab);
      auto* fullHd = Child<QAbstractButton>(*panel, "fullscreen.hd");
      QCOMPARE(QApplication::focusWidget(), Child(*panel, "fullscreen.no"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
      QVERIFY(fullHd->isChecked());
      QCOMPARE(settings.value(QStringLiteral("fullscreen")).toString(), QStringLiteral("hd"));
      QTest::keyClick(fullHd, Qt::Key_Tab);
      auto* package = Child<QAbstractButton>(*panel, "scorm.on");
      QCOMPARE(QApplication::focusWidget(), Child(*panel, "scorm.off"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
      QVERIFY(package->isChecked());
      QCOMPARE(settings.value(QStringLiteral("scorm")).toString(), QStringLiteral("on"));
      QTest::keyClick(package, Qt::Key_Tab);
      auto* withoutNotes = Child<QAbstractButton>(*panel, "notes.without");
      QVERIFY(withoutNotes->isChecked());
      QCOMPARE(QApplication::focusWidget(), withoutNotes);
      QTest::keyClick(withoutNotes, Qt::Key_Right);
      QCOMPARE(settings.value(QStringLiteral("notes")).toString(), QStringLiteral("with"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), Child(*panel, "ButtonDone"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
      QVERIFY(WaitUntil([&] { return panel.isNull(); }));
    }

    quillet::PlayerSource player = quillet::PlayerSource::kOnline;
    bool fullHd = false;
    bool learningPackage = false;
    bool notes = false;
    int conversions = 0;
    auto second =
        Open(scratch.path(), &settings,
             [&](quillet::JobState&, const std::string&, const std::string&, const quillet::ConversionSetup& setup,
                 quillet::ConversionObserver&, const quillet::CancelFlag&) {
               player = setup.player;
               fullHd = setup.fullHd;
               learningPackage = setup.learningPackage;
               notes = setup.notes;
               ++conversions;
               return quillet::ConversionOutcome{};
             });
    Form1& form = *second->form;
    Click(form, "LabelOptions");
    QVERIFY(form.OptionsWindow());
    QVERIFY(Child<QAbstractButton>(*form.OptionsWindow(), "player.local")->isChecked());
    QVERIFY(form.ChooseDeck(deck));
    Click(form, "LabelConvert");
    QVERIFY(WaitUntil([&] { return conversions == 1 && !form.IsConverting(); }));
    QCOMPARE(player, quillet::PlayerSource::kBesidePage);
    QVERIFY(fullHd);
    QVERIFY(learningPackage);
    QVERIFY(notes);
  }

  // `quillet DECK` from the deck's folder: the window shows the full path.
  void deckFromTheCommandLine() {
    QTemporaryDir scratch;
    Touch(scratch.filePath(QStringLiteral("talk.pptx")));
    const QString before = QDir::currentPath();
    QDir::setCurrent(scratch.path());
    auto window = Open(scratch.path());
    const bool chosen = window->form->ChooseDeck(QStringLiteral("talk.pptx"));
    const bool missing = window->form->ChooseDeck(QStringLiteral("gone.ppt"));
    QDir::setCurrent(before);
    QVERIFY(chosen);
    QVERIFY(!missing);
    const QString deck = scratch.filePath(QStringLiteral("talk.pptx"));
    QCOMPARE(window->Field("txtPPT"), deck);
    QCOMPARE(window->form->Job().m_PptPath, deck.toStdString());
    QCOMPARE(window->dialogs.messages.size(), std::size_t{1});
    QCOMPARE(window->dialogs.messages[0].text, QString::fromUtf8(kSelectDeckMessage));
  }

  void dropChoosesADeckAndRefusesTheRest() {
    QTemporaryDir scratch;
    const QString deck = scratch.filePath(QStringLiteral("Q3 review.odp"));
    const QString notes = scratch.filePath(QStringLiteral("notes.txt"));
    Touch(deck);
    Touch(notes);
    auto window = Open(scratch.path());
    Form1& form = *window->form;
    QVERIFY(Drop(form, {deck}));
    QCOMPARE(window->Field("txtPPT"), deck);
    QCOMPARE(form.Job().m_PptPath, deck.toStdString());
    QVERIFY(window->dialogs.messages.empty());

    QVERIFY(Drop(form, {notes}));
    QVERIFY(Drop(form, {deck, deck}));
    QVERIFY(Drop(form, {scratch.path()}));
    QCOMPARE(window->dialogs.messages.size(), std::size_t{3});
    for (const ShownMessage& message : window->dialogs.messages) {
      QCOMPARE(message.text, QString::fromUtf8(kSelectDeckMessage));
      QCOMPARE(message.kind, MessageKind::Warning);
    }
    QCOMPARE(window->Field("txtPPT"), deck);
    QCOMPARE(form.Job().m_PptPath, deck.toStdString());
  }
};

QTEST_MAIN(WindowDesktopTests)
#include "window_desktop_test.moc"
