// The window as an installed desktop program: the default output folder, the
// choices remembered between runs, a deck handed over on the command line and
// a file dropped on the window.
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
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

std::unique_ptr<Window> Open(const QString& programFolder, QSettings* settings = nullptr) {
  auto window = std::make_unique<Window>();
  window->form = std::make_unique<Form1>(Form1Services{window->dialogs, {}, programFolder, settings});
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

  void remembersFolderSizeAndPlayer() {
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
      auto* player = Child<QComboBox>(*first->form, "cboPlayer");
      QCOMPARE(player->currentData().toString(), QStringLiteral("online"));
      player->setCurrentIndex(1);
      emit player->activated(1);
    }
    auto second = Open(program, &settings);
    QCOMPARE(second->Field("txtSwf"), chosen);
    QCOMPARE(second->form->Job().m_SizeDivisor, 3);
    QCOMPARE(Child(*second->form, "imgSizeDot")->x(), 70);
    QCOMPARE(Child<QComboBox>(*second->form, "cboPlayer")->currentText(), QStringLiteral("player: beside the page"));

    QVERIFY(QDir(chosen).removeRecursively());
    auto third = Open(program, &settings);
    QCOMPARE(third->Field("txtSwf"), program);
    QCOMPARE(third->form->Job().m_SizeDivisor, 3);
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
#include "window_desktop_tests.moc"
