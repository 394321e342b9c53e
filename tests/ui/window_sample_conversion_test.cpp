// The sample deck converted through the window with the real driver and
// LibreOffice: progress in order, the completion box once the page is in
// place, the page opened afterwards; and Close in the middle of a
// conversion, which leaves no file behind and no LibreOffice running.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QSize>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>

#include "ui/conversion_runner.h"
#include "ui/default_conversion.h"
#include "ui/progress_display.h"
#include "window_test_support.h"

using namespace quillet::ui;
using namespace quillet::ui::test;

namespace {

struct SeenProgress {
  int percent;
  QString caption;
  int barWidth;
};

// Processes whose parent is this test: LibreOffice must not outlive a
// cancelled conversion.
QStringList ChildProcesses() {
  QStringList children;
  const QString self = QString::number(::getpid());
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool isNumber = false;
    entry.toInt(&isNumber);
    if (!isNumber) continue;
    std::ifstream stat(("/proc/" + entry + "/stat").toStdString());
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    std::string state, parent;
    rest >> state >> parent;
    if (QString::fromStdString(parent) == self && state != "Z")
      children << QString::fromStdString(line.substr(0, close + 1));
  }
  return children;
}

// Width and height of an SWF header's frame RECT (Xmin, Xmax, Ymin, Ymax,
// each Nbits wide after a 5-bit Nbits).
QSize FrameTwips(const QByteArray& rect) {
  int bit = 0;
  const auto read = [&](int count) {
    std::int64_t value = 0;
    for (int i = 0; i < count; ++i, ++bit) {
      value = value << 1 | ((static_cast<unsigned char>(rect.at(bit / 8)) >> (7 - bit % 8)) & 1);
    }
    return value;
  };
  const int bits = static_cast<int>(read(5));
  const auto field = [&] {
    const std::int64_t value = read(bits);
    return value >= (std::int64_t{1} << (bits - 1)) ? value - (std::int64_t{1} << bits) : value;
  };
  const std::int64_t xMin = field(), xMax = field(), yMin = field(), yMax = field();
  return QSize(static_cast<int>(xMax - xMin), static_cast<int>(yMax - yMin));
}

}  // namespace

class WindowSampleConversionTests : public QObject {
  Q_OBJECT

 private slots:
  void wholeConversionOfTheSampleDeck() {
    QTemporaryDir output;
    auto window = MakeWindow(DefaultConversion());
    Form1& form = *window->form;
    FakeDialogs& dialogs = window->dialogs;
    dialogs.openAnswers = {QStringLiteral(QUILLET_SAMPLE_DECK)};
    dialogs.folderAnswers = {output.path()};
    QVERIFY(ShowAndWait(form));
    Click(form, "LabelOpen");
    Click(form, "LabelSave");
    Click(form, "lblSize0");

    const QString page = QDir(output.path()).filePath(QStringLiteral("sample-deck.html"));
    auto* caption = Child<QLabel>(form, "LabelProgress");
    QWidget* bar = Child(form, "picProgress");
    std::vector<SeenProgress> seen;
    auto* runner = form.findChild<ConversionRunner*>();
    connect(runner, &ConversionRunner::ProgressShown, this, [&](int percent) {
      seen.push_back({percent, caption->text(), bar->width()});
    });
    bool pageExistedAtTheBox = false;
    int barAtTheBox = -1;
    dialogs.onMessage = [&](const ShownMessage&) {
      pageExistedAtTheBox = QFile::exists(page);
      barAtTheBox = bar->width();
    };

    Click(form, "LabelConvert");
    QCOMPARE(caption->text(), QStringLiteral("Converting..."));
    QVERIFY(WaitUntil([&] { return !form.IsConverting(); }, 300000));

    QCOMPARE(dialogs.messages.size(), std::size_t{1});
    QCOMPARE(dialogs.messages[0].text, QStringLiteral("Conversion complete."));
    QVERIFY(!seen.empty());
    QCOMPARE(seen.front().percent, 0);
    for (std::size_t i = 0; i < seen.size(); ++i) {
      if (i > 0) QVERIFY(seen[i].percent > seen[i - 1].percent);
      QVERIFY(seen[i].percent < 100);
      QCOMPARE(seen[i].caption, QStringLiteral("%1%").arg(seen[i].percent));
      QCOMPARE(seen[i].barWidth, ProgressBarPixels(seen[i].percent));
    }
    QVERIFY(pageExistedAtTheBox);  // "Conversion complete." once every output is in place
    QCOMPARE(barAtTheBox, 0);
    QCOMPARE(caption->text(), QString());
    QCOMPARE(dialogs.openedPages, QStringList{page});
    QVERIFY(QFile::exists(page));
    const QString movie = QDir(output.path()).filePath(QStringLiteral("sample-deck.swf"));
    QCOMPARE(form.Job().m_SwfPath, movie.toStdString());
    QFile movieFile(movie);
    QVERIFY(movieFile.open(QIODevice::ReadOnly));
    QCOMPARE(movieFile.read(3), QByteArray("CWS"));
    // lblSize0 chose the small size: the frame is a third of the 720 x 540
    // slide, 240 x 180 pixels of 20 twips.
    movieFile.read(1);                            // version
    const QByteArray length = movieFile.read(4);  // little-endian; qUncompress takes the body's size big-endian
    QByteArray expected(4, '\0');
    const quint32 bodySize = qFromLittleEndian<quint32>(length.constData()) - 8;
    qToBigEndian(bodySize, expected.data());
    const QByteArray body = qUncompress(expected + movieFile.readAll());
    QCOMPARE(FrameTwips(body.left(17)), QSize(4800, 3600));
    QVERIFY(QFile::exists(movie + QStringLiteral(".js")));
  }

  void closeDuringConversionLeavesNoFiles() {
    QTemporaryDir output;
    auto window = MakeWindow(DefaultConversion());
    Form1& form = *window->form;
    FakeDialogs& dialogs = window->dialogs;
    dialogs.openAnswers = {QStringLiteral(QUILLET_SAMPLE_DECK)};
    dialogs.folderAnswers = {output.path()};
    QVERIFY(ShowAndWait(form));
    Click(form, "LabelOpen");
    Click(form, "LabelSave");
    QSignalSpy finished(&form, &Form1::ConversionFinished);
    Click(form, "LabelConvert");
    // Close the window once LibreOffice has started.
    QVERIFY(WaitUntil([] { return !ChildProcesses().isEmpty(); }, 60000));
    QVERIFY(form.IsConverting());
    Click(form, "LabelClose");
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished[0][0].value<ConversionEnding>(), ConversionEnding::Cancelled);
    QVERIFY(!form.isVisible());
    QCOMPARE(QDir(output.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
    QVERIFY(dialogs.messages.empty());
    QVERIFY(dialogs.openedPages.isEmpty());
    QVERIFY(WaitUntil([] { return ChildProcesses().isEmpty(); }, 10000));
  }
};

QTEST_MAIN(WindowSampleConversionTests)
#include "window_sample_conversion_test.moc"
