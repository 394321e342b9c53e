// What the window's tests share: a Dialogs fake that records every message
// and answers the pickers from a script, a way to build Form1 with it, and
// helpers that click, hover and wait.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "ui/dialogs.h"
#include "ui/form1.h"

namespace quillet::ui::test {

struct ShownMessage {
  QString text;
  QString caption;
  MessageKind kind;
  MessageButtons buttons;
};

class FakeDialogs : public Dialogs {
 public:
  void ShowMessage(QWidget* owner, const QString& text, const QString& caption, MessageKind kind,
                   MessageButtons buttons) override;
  QString ChooseOpenFile(QWidget* owner) override;
  QString ChooseFolder(QWidget* owner, const QString& title) override;
  void OpenPage(QWidget* owner, const QString& pagePath, std::function<void()> failed) override;
  bool realPageOpener = false;  // true: QtDialogs opens pages, with the xdg-open found on PATH

  // Answers, used front first; an empty list answers like a cancel.
  QStringList openAnswers;
  QStringList folderAnswers;

  std::vector<ShownMessage> messages;
  int openCalls = 0;
  QStringList folderTitles;
  QStringList openedPages;
  // Runs while a message box would be open.
  std::function<void(const ShownMessage&)> onMessage;
};

struct TestWindow {
  FakeDialogs dialogs;
  std::unique_ptr<Form1> form;
};

// Form1 on the fake dialogs and the given conversion, not yet shown.
std::unique_ptr<TestWindow> MakeWindow(ConversionFunction convert = {}, const QString& programFolder = QString());

template <typename Widget = QWidget>
Widget* Child(QWidget& form, const char* name) {
  return form.findChild<Widget*>(QString::fromUtf8(name));
}

void Click(QWidget& form, const char* name, Qt::MouseButton button = Qt::LeftButton);
// Moves the pointer (through the window system, as a person would) to a
// point of picSkin.
void HoverSkin(QWidget& form, QPoint skinPoint);
void HoverChild(QWidget& form, const char* name);
// Shows the window and waits until it is on the (offscreen) screen.
bool ShowAndWait(QWidget& form);
// Processes events until `done` or the time is up.
bool WaitUntil(const std::function<bool()>& done, int milliseconds = 10000);

}  // namespace quillet::ui::test
