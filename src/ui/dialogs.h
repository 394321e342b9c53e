// Everything the window asks of the desktop that would stop and wait for a
// person (message boxes, the file and folder pickers) or leave the program
// (opening the page in the browser). The window talks to this interface only;
// QtDialogs is the real one and tests put a recording fake in its place.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace quillet::ui {

enum class MessageKind { Information, Warning, Failure };
// Which button is pressed does not matter: every box only informs.
enum class MessageButtons { Ok, OkCancel };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal box with an OK button (and Cancel, when asked); returns when the
  // user has closed it.
  virtual void ShowMessage(QWidget* owner, const QString& text, const QString& caption, MessageKind kind,
                           MessageButtons buttons = MessageButtons::Ok) = 0;
  // The Open-file dialog; the chosen path, or an empty string when cancelled.
  virtual QString ChooseOpenFile(QWidget* owner) = 0;
  // The folder picker titled `title`; the chosen folder as the picker gives
  // it, or an empty string when cancelled.
  virtual QString ChooseFolder(QWidget* owner, const QString& title) = 0;
  // Opens a written page with the desktop's default action. The window does
  // not wait for the outcome: `failed` runs later on the window's thread when
  // the desktop had no way to open the page, and never once `owner` is gone.
  virtual void OpenPage(QWidget* owner, const QString& pagePath, std::function<void()> failed) = 0;
};

// The Open dialog's filters: every format the slide exporter reads, then
// the classic one.
inline constexpr const char* kOpenFilters = "Presentations (*.ppt *.pptx *.pps *.ppsx *.odp *.pdf);;*.ppt";

class QtDialogs : public Dialogs {
 public:
  void ShowMessage(QWidget* owner, const QString& text, const QString& caption, MessageKind kind,
                   MessageButtons buttons) override;
  QString ChooseOpenFile(QWidget* owner) override;
  QString ChooseFolder(QWidget* owner, const QString& title) override;
  // xdg-open (platform/page_opener.h), asked from the event loop until it
  // has failed or had its grace.
  void OpenPage(QWidget* owner, const QString& pagePath, std::function<void()> failed) override;
};

// The folder picker's answer without a trailing separator; cancel gives "".
// The root folder stays "/", the one folder whose name is its separator.
QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title);

}  // namespace quillet::ui
