// The window tests' fake dialogs and helpers.
#include "window_test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <utility>

namespace quillet::ui::test {

namespace {
// On a real X server the pointer's movement comes back as events a moment
// later; the offscreen platform delivers it at once.
constexpr int kPointerSettle = 30;
}  // namespace

void FakeDialogs::ShowMessage(QWidget*, const QString& text, const QString& caption, MessageKind kind,
                              MessageButtons buttons) {
  messages.push_back({text, caption, kind, buttons});
  if (onMessage) onMessage(messages.back());
}

QString FakeDialogs::ChooseOpenFile(QWidget*) {
  ++openCalls;
  return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
}

QString FakeDialogs::ChooseFolder(QWidget*, const QString& title) {
  folderTitles << title;
  return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

void FakeDialogs::OpenPage(QWidget* owner, const QString& pagePath, std::function<void()> failed) {
  openedPages << pagePath;
  if (realPageOpener) QtDialogs().OpenPage(owner, pagePath, std::move(failed));
}

std::unique_ptr<TestWindow> MakeWindow(ConversionFunction convert, const QString& programFolder) {
  auto window = std::make_unique<TestWindow>();
  const QString folder = programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
  window->form = std::make_unique<Form1>(Form1Services{window->dialogs, std::move(convert), folder});
  return window;
}

void Click(QWidget& form, const char* name, Qt::MouseButton button) {
  QWidget* target = Child(form, name);
  QVERIFY2(target, name);
  QTest::mouseClick(target, button, Qt::NoModifier, target->rect().center());
}

void HoverSkin(QWidget& form, QPoint skinPoint) {
  QWidget* skin = Child(form, "picSkin");
  QTest::mouseMove(skin, skinPoint);
  QTest::qWait(kPointerSettle);
}

void HoverChild(QWidget& form, const char* name) {
  QWidget* target = Child(form, name);
  QVERIFY2(target, name);
  QTest::mouseMove(target, target->rect().center());
  QTest::qWait(kPointerSettle);
}

bool ShowAndWait(QWidget& form) {
  form.show();
  return QTest::qWaitForWindowExposed(&form);
}

bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
  QDeadlineTimer deadline(milliseconds);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qSleep(2);
  }
  return true;
}

}  // namespace quillet::ui::test
