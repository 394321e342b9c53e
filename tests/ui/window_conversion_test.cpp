// A conversion through the window with a stand-in driver that reports like
// the real one: the worker thread, progress in order, the outputs in place
// before the completion box and the page opened after it, commands ignored
// while converting, a failure's message,
// and Close in the middle of a conversion.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/error.h"
#include "platform/page_opener.h"
#include "ui/conversion_runner.h"
#include "window_test_support.h"

using namespace quillet::ui;
using namespace quillet::ui::test;
using quillet::CancelFlag;
using quillet::ConversionObserver;
using quillet::ConversionOutcome;
using quillet::ConversionSetup;
using quillet::JobState;

namespace {

namespace fs = std::filesystem;

// What the window showed each time a percentage arrived.
struct SeenProgress {
  int percent;
  QString caption;
  int barWidth;
};

// The stand-in driver: three slides, then the driver's completion sequence.
// `hold` keeps it waiting after the first slide until it is cleared or the
// conversion is cancelled; on cancel it removes what it wrote and says so.
struct FakeDriver {
  std::atomic<int> calls{0};
  std::atomic<bool> hold{false};
  std::atomic<bool> ranOffTheWindowThread{false};
  std::atomic<bool> holding{false};
  bool failWithError = false;
  quillet::FailureCause failureCause = quillet::FailureCause::kOther;
  std::string warning;  // told to the observer when not empty

  ConversionOutcome operator()(JobState& job, const std::string& deckText, const std::string& outputFolder,
                               const ConversionSetup&, ConversionObserver& observer, const CancelFlag& cancel) {
    ++calls;
    ranOffTheWindowThread = QThread::currentThread() != QApplication::instance()->thread();
    job.m_PptPath = deckText;
    const fs::path folder(outputFolder);
    job.m_SwfPath = (folder / "deck.swf").string();
    observer.ShowStatus("Exporting slides...");
    if (!warning.empty()) observer.Warning(warning);
    const fs::path partial = folder / "deck.swf.part";
    std::ofstream(partial) << "partial";
    for (int slide = 0; slide < 3; ++slide) {
      observer.ShowProgress(slide * 100 / 3, slide + 1, 3);
      while (hold && slide == 0 && !cancel.IsCancelled()) {
        holding = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      holding = false;
      if (cancel.IsCancelled()) {
        fs::remove(partial);
        throw quillet::ConversionCancelled();
      }
    }
    if (failWithError) {
      fs::remove(partial);
      throw quillet::Error(quillet::kGeneral, "LibreOffice could not read deck.ppt.", failureCause);
    }
    // As the real driver does: the movie and the page are in place before
    // "Conversion complete." is said; the page is opened after the box.
    fs::rename(partial, job.m_SwfPath);
    const fs::path page = folder / "deck.html";
    std::ofstream(page) << "<html></html>";
    observer.ClearProgress();
    observer.ConversionComplete();
    observer.OpenPage(page);
    ConversionOutcome outcome;
    outcome.movie = job.m_SwfPath;
    outcome.page = page;
    return outcome;
  }
};

class Fixture {
 public:
  Fixture() {
    window_ = MakeWindow([this](JobState& job, const std::string& deckText, const std::string& outputFolder,
                                const ConversionSetup& setup, ConversionObserver& observer, const CancelFlag& cancel) {
      return driver(job, deckText, outputFolder, setup, observer, cancel);
    });
    deck_ = output_.filePath(QStringLiteral("deck.ppt"));
    QFile file(deck_);
    file.open(QIODevice::WriteOnly);
    file.write("deck");
    output_.setAutoRemove(true);
    QDir().mkpath(OutputFolder());
    window_->dialogs.openAnswers = {deck_};
    window_->dialogs.folderAnswers = {OutputFolder()};
    Click(Form(), "LabelOpen");
    Click(Form(), "LabelSave");
    QObject::connect(Runner(), &ConversionRunner::ProgressShown, Runner(), [this](int percent) {
      seen.push_back({percent, Caption(), Child(Form(), "picProgress")->width()});
    });
  }

  Form1& Form() { return *window_->form; }
  FakeDialogs& Dialogs() { return window_->dialogs; }
  ConversionRunner* Runner() { return Form().findChild<ConversionRunner*>(); }
  QString OutputFolder() const { return output_.filePath(QStringLiteral("out")); }
  QStringList OutputFiles() const { return QDir(OutputFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
  QString Caption() { return Child<QLabel>(Form(), "LabelProgress")->text(); }
  int BarWidth() { return Child(Form(), "picProgress")->width(); }
  bool WaitForEnd() {
    return WaitUntil([this] { return !Form().IsConverting(); }, 20000);
  }
  void ReleaseForm() { window_.reset(); }

  FakeDriver driver;
  std::vector<SeenProgress> seen;

 private:
  QTemporaryDir output_;
  QString deck_;
  std::unique_ptr<TestWindow> window_;
};

}  // namespace

class WindowConversionTests : public QObject {
  Q_OBJECT

 private slots:
  void wholeConversion() {
    Fixture fixture;
    Form1& form = fixture.Form();
    QVERIFY(ShowAndWait(form));
    bool pageExistedAtTheBox = false;
    qsizetype pagesOpenedAtTheBox = -1;
    QString captionAtTheBox = QStringLiteral("unset");
    int barAtTheBox = -1;
    fixture.Dialogs().onMessage = [&](const ShownMessage&) {
      pageExistedAtTheBox = QFile::exists(QDir(fixture.OutputFolder()).filePath("deck.html"));
      pagesOpenedAtTheBox = fixture.Dialogs().openedPages.size();
      captionAtTheBox = fixture.Caption();
      barAtTheBox = fixture.BarWidth();
    };
    QSignalSpy finished(&form, &Form1::ConversionFinished);
    Click(form, "LabelConvert");
    QCOMPARE(fixture.Caption(), QStringLiteral("Converting..."));
    QCOMPARE(form.Job().m_Percent, 0);
    QVERIFY(form.IsConverting());
    QVERIFY(fixture.WaitForEnd());

    QVERIFY(fixture.driver.ranOffTheWindowThread);
    QCOMPARE(fixture.seen.size(), std::size_t{3});
    const int percents[] = {0, 33, 66};
    const int widths[] = {0, 75, 150};  // 33 % = 1123.65 twips = 74.9 pixels
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(fixture.seen[i].percent, percents[i]);
      QCOMPARE(fixture.seen[i].caption, QStringLiteral("%1%").arg(percents[i]));
      QCOMPARE(fixture.seen[i].barWidth, widths[i]);
    }
    QCOMPARE(fixture.Dialogs().messages.size(), std::size_t{1});
    QCOMPARE(fixture.Dialogs().messages[0].text, QStringLiteral("Conversion complete."));
    QCOMPARE(fixture.Dialogs().messages[0].caption, QStringLiteral("Conversion complete."));
    QVERIFY(pageExistedAtTheBox);
    QCOMPARE(pagesOpenedAtTheBox, 0);
    QCOMPARE(captionAtTheBox, QString());
    QCOMPARE(barAtTheBox, 0);
    const QString page = QDir(fixture.OutputFolder()).filePath("deck.html");
    QCOMPARE(fixture.Dialogs().openedPages, QStringList{page});
    QCOMPARE(fixture.OutputFiles(), (QStringList{"deck.html", "deck.swf"}));
    QCOMPARE(form.Job().m_SwfPath, QDir(fixture.OutputFolder()).filePath("deck.swf").toStdString());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].value<ConversionEnding>(), ConversionEnding::Completed);
    QCOMPARE(form.Job().m_Percent, 66);
  }

  // The real opener with a stand-in xdg-open first on PATH. One that fails
  // at once leaves the box as it was and a note that names the page. One
  // still running after the grace has given the page to a browser: no note,
  // the window did not wait for it, and its end is collected (no zombie).
  void pageOpenerOnPath() {
    QTemporaryDir bin;
    const QString opener = bin.filePath(QStringLiteral("xdg-open"));
    const auto standIn = [&](const QString& body) {
      QFile script(opener);
      QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
      script.write(("#!/bin/sh\n" + body + "\n").toUtf8());
      script.close();
      script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });
    Fixture fixture;
    Form1& form = fixture.Form();
    fixture.Dialogs().realPageOpener = true;
    const QString page = QDir(fixture.OutputFolder()).filePath("deck.html");

    const QString asked = bin.filePath(QStringLiteral("asked"));
    standIn(QStringLiteral("echo \"$1\" > '%1'\nexit 3").arg(asked));
    Click(form, "LabelConvert");
    QVERIFY(fixture.WaitForEnd());
    QVERIFY(WaitUntil([&] { return fixture.Dialogs().messages.size() == 2; }));
    QCOMPARE(fixture.Dialogs().messages[0].text, QStringLiteral("Conversion complete."));
    const ShownMessage& note = fixture.Dialogs().messages[1];
    QVERIFY2(note.text.endsWith(QStringLiteral("\n") + page), qPrintable(note.text));
    QCOMPARE(note.kind, MessageKind::Information);
    QFile askedFile(asked);
    QVERIFY(askedFile.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(askedFile.readAll()), page + "\n");

    const QString pidFile = bin.filePath(QStringLiteral("pid"));
    const QString release = bin.filePath(QStringLiteral("release"));
    standIn(QStringLiteral("echo $$ > '%1'\nwhile [ ! -e '%2' ]; do sleep 0.05; done").arg(pidFile, release));
    QElapsedTimer converting;
    converting.start();
    Click(form, "LabelConvert");
    QVERIFY(fixture.WaitForEnd());
    QVERIFY2(converting.elapsed() < quillet::kOpenerGrace.count(), "the window waited for the opener");
    QVERIFY(WaitUntil([&] { return QFileInfo(pidFile).size() > 0; }));
    QTest::qWait(static_cast<int>(quillet::kOpenerGrace.count()) + 500);
    QCOMPARE(fixture.Dialogs().messages.size(), std::size_t{3});
    QCOMPARE(fixture.Dialogs().messages[2].text, QStringLiteral("Conversion complete."));
    QFile pidText(pidFile);
    QVERIFY(pidText.open(QIODevice::ReadOnly));
    const QString process = QStringLiteral("/proc/") + QString::fromUtf8(pidText.readAll().trimmed());
    QVERIFY(QFileInfo::exists(process));
    QFile(release).open(QIODevice::WriteOnly);
    QVERIFY2(WaitUntil([&] { return !QFileInfo::exists(process); }), "the opener's end was not collected");
  }

  void twoConversionsInARow() {
    Fixture fixture;
    Form1& form = fixture.Form();
    Click(form, "LabelConvert");
    QVERIFY(fixture.WaitForEnd());
    Click(form, "LabelConvert");
    QCOMPARE(fixture.Caption(), QStringLiteral("Converting..."));
    QCOMPARE(fixture.BarWidth(), 0);
    QVERIFY(fixture.WaitForEnd());
    QCOMPARE(fixture.driver.calls.load(), 2);
    QCOMPARE(fixture.Dialogs().messages.size(), std::size_t{2});
  }

  // The window keeps working while the driver is busy: it paints progress,
  // lights buttons and drags, and ignores Convert, Open, Save to and size.
  void commandsIgnoredWhileConverting() {
    Fixture fixture;
    Form1& form = fixture.Form();
    QVERIFY(ShowAndWait(form));
    fixture.driver.hold = true;
    Click(form, "LabelConvert");
    QVERIFY(WaitUntil([&] { return fixture.driver.holding.load() && !fixture.seen.empty(); }));
    QCOMPARE(fixture.Caption(), QStringLiteral("0%"));

    const int openCalls = fixture.Dialogs().openCalls;
    Click(form, "LabelConvert");
    Click(form, "LabelOpen");
    Click(form, "LabelSave");
    Click(form, "lblSize0");
    QApplication::processEvents();
    QCOMPARE(fixture.driver.calls.load(), 1);
    QCOMPARE(fixture.Dialogs().openCalls, openCalls);
    QCOMPARE(fixture.Dialogs().folderTitles.size(), 1);  // the fixture's own choice
    QCOMPARE(form.Job().m_SizeDivisor, 2);
    QCOMPARE(Child(form, "imgSizeDot")->x(), 116);
    QVERIFY(fixture.Dialogs().messages.empty());
    HoverChild(form, "LabelOpen");
    QVERIFY(Child(form, "ImageOpenOver")->isVisible());

    fixture.driver.hold = false;
    QVERIFY(fixture.WaitForEnd());
    Click(form, "lblSize0");
    QCOMPARE(form.Job().m_SizeDivisor, 3);
  }

  // Close cancels, waits for the worker and only then closes; the driver
  // has removed its partial output by then and no box is shown.
  void closeDuringConversion() {
    Fixture fixture;
    Form1& form = fixture.Form();
    QVERIFY(ShowAndWait(form));
    fixture.driver.hold = true;
    QSignalSpy finished(&form, &Form1::ConversionFinished);
    Click(form, "LabelConvert");
    QVERIFY(WaitUntil([&] { return fixture.driver.holding.load(); }));
    QCOMPARE(fixture.OutputFiles(), QStringList{"deck.swf.part"});
    Click(form, "LabelClose");
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished[0][0].value<ConversionEnding>(), ConversionEnding::Cancelled);
    QVERIFY(!form.isVisible());
    QVERIFY(!form.IsConverting());
    QCOMPARE(fixture.OutputFiles(), QStringList());
    QVERIFY(fixture.Dialogs().messages.empty());
    QVERIFY(fixture.Dialogs().openedPages.isEmpty());
  }

  // Until the worker has ended the window stays open, saying it cancels.
  void closeWaitsForTheWorker() {
    Fixture fixture;
    Form1& form = fixture.Form();
    QVERIFY(ShowAndWait(form));
    fixture.driver.hold = true;
    Click(form, "LabelConvert");
    QVERIFY(WaitUntil([&] { return fixture.driver.holding.load(); }));
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(fixture.Caption(), QStringLiteral("Cancelling..."));
    QVERIFY(WaitUntil([&] { return !form.isVisible(); }));
  }

  void destroyingTheWindowStopsTheWorker() {
    Fixture fixture;
    fixture.driver.hold = true;
    Click(fixture.Form(), "LabelConvert");
    QVERIFY(WaitUntil([&] { return fixture.driver.holding.load(); }));
    fixture.ReleaseForm();
    QVERIFY(!fixture.driver.holding.load());
    QCOMPARE(fixture.OutputFiles(), QStringList());
  }

  void failedConversion() {
    Fixture fixture;
    Form1& form = fixture.Form();
    fixture.driver.failWithError = true;
    QSignalSpy finished(&form, &Form1::ConversionFinished);
    Click(form, "LabelConvert");
    QVERIFY(fixture.WaitForEnd());
    QCOMPARE(fixture.Dialogs().messages.size(), std::size_t{1});
    const ShownMessage& box = fixture.Dialogs().messages[0];
    QCOMPARE(box.caption, QStringLiteral("Quillet"));
    QCOMPARE(box.kind, MessageKind::Failure);
    QVERIFY2(box.text.contains("LibreOffice could not read deck.ppt."), qPrintable(box.text));
    QVERIFY2(box.text.contains("press Convert again"), qPrintable(box.text));
    QVERIFY2(!box.text.contains("LibreOffice Impress"), qPrintable(box.text));
    QCOMPARE(fixture.Caption(), QString());
    QCOMPARE(fixture.BarWidth(), 0);
    QCOMPARE(finished[0][0].value<ConversionEnding>(), ConversionEnding::Failed);
    QVERIFY(fixture.Dialogs().openedPages.isEmpty());
    // The window is usable again.
    fixture.driver.failWithError = false;
    Click(form, "LabelConvert");
    QVERIFY(fixture.WaitForEnd());
    QCOMPARE(fixture.Dialogs().messages.back().text, QStringLiteral("Conversion complete."));
  }

  // The failure box gives the advice that fits the cause, and only that.
  void failureWordsFollowTheCause_data() {
    QTest::addColumn<quillet::FailureCause>("cause");
    QTest::addColumn<QString>("advice");
    QTest::addColumn<QString>("notAdvice");
    QTest::newRow("unreadable") << quillet::FailureCause::kDeckUnreadable << "save it again as .pptx"
                                << "output folder cannot";
    QTest::newRow("folder") << quillet::FailureCause::kOutputFolder << "Choose another with Save to"
                            << "LibreOffice cannot";
    QTest::newRow("missing") << quillet::FailureCause::kLibreOfficeMissing
                             << "Install the package libreoffice-impress-nogui"
                             << "save it again";
  }
  void failureWordsFollowTheCause() {
    QFETCH(quillet::FailureCause, cause);
    QFETCH(QString, advice);
    QFETCH(QString, notAdvice);
    Fixture fixture;
    fixture.driver.failWithError = true;
    fixture.driver.failureCause = cause;
    Click(fixture.Form(), "LabelConvert");
    QVERIFY(fixture.WaitForEnd());
    QCOMPARE(fixture.Dialogs().messages.size(), std::size_t{1});
    const QString text = fixture.Dialogs().messages[0].text;
    QVERIFY2(text.contains(advice), qPrintable(text));
    QVERIFY2(!text.contains(notAdvice), qPrintable(text));
  }

  // A warning is shown and the conversion goes on to its end.
  void warningDoesNotStopTheConversion() {
    Fixture fixture;
    Form1& form = fixture.Form();
    fixture.driver.warning = "Slide 3 is hidden and stays out of the show.";
    Click(form, "LabelConvert");
    QVERIFY(fixture.WaitForEnd());
    QCOMPARE(fixture.Dialogs().messages.size(), std::size_t{2});
    QCOMPARE(fixture.Dialogs().messages[0].text, QStringLiteral("Slide 3 is hidden and stays out of the show."));
    QCOMPARE(fixture.Dialogs().messages[0].caption, QStringLiteral("Quillet"));
    QCOMPARE(fixture.Dialogs().messages[0].kind, MessageKind::Warning);
    QCOMPARE(fixture.Dialogs().messages[1].text, QStringLiteral("Conversion complete."));
    QCOMPARE(fixture.Dialogs().openedPages.size(), 1);
  }

  // The driver's m_PptPath comes from the text box; the window keeps it.
  void driverTakesTheTypedDeck() {
    Fixture fixture;
    Form1& form = fixture.Form();
    auto* txtPPT = Child<QLineEdit>(form, "txtPPT");
    const QString typed = txtPPT->text() + QStringLiteral(".copy");
    txtPPT->setText(typed);
    Click(form, "LabelConvert");
    QVERIFY(fixture.WaitForEnd());
    QCOMPARE(form.Job().m_PptPath, typed.toStdString());
  }
};

QTEST_MAIN(WindowConversionTests)
#include "window_conversion_test.moc"
