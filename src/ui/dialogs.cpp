// The real message boxes, pickers and page opener, and the folder picker's
// clean-up of trailing separators.
#include "ui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "platform/page_opener.h"

namespace quillet::ui {

void QtDialogs::ShowMessage(QWidget* owner, const QString& text, const QString& caption, MessageKind kind,
                            MessageButtons buttons) {
  const QMessageBox::StandardButtons shown =
      buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
  switch (kind) {
    case MessageKind::Information: QMessageBox::information(owner, caption, text, shown); return;
    case MessageKind::Warning: QMessageBox::warning(owner, caption, text, shown); return;
    case MessageKind::Failure: QMessageBox::critical(owner, caption, text, shown); return;
  }
}

QString QtDialogs::ChooseOpenFile(QWidget* owner) {
  return QFileDialog::getOpenFileName(owner, QString(), QString(), QString::fromUtf8(kOpenFilters));
}

QString QtDialogs::ChooseFolder(QWidget* owner, const QString& title) {
  return QFileDialog::getExistingDirectory(owner, title);
}

void QtDialogs::OpenPage(QWidget* owner, const QString& pagePath, std::function<void()> failed) {
  constexpr int kAskEveryMilliseconds = 50;
  auto opening = std::make_shared<PageOpening>(std::filesystem::path(pagePath.toStdString()));
  if (const std::optional<OpenOutcome> outcome = opening->Check()) {
    if (!outcome->opened) failed();
    return;
  }
  // The timer belongs to the owner: gone with it, it takes the opening along,
  // whose xdg-open is then collected by a waiter of its own.
  auto* ask = new QTimer(owner);
  QObject::connect(ask, &QTimer::timeout, ask, [ask, opening, failed = std::move(failed)] {
    const std::optional<OpenOutcome> outcome = opening->Check();
    if (!outcome) return;
    ask->stop();
    ask->deleteLater();
    if (!outcome->opened) failed();
  });
  ask->start(kAskEveryMilliseconds);
}

QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title) {
  QString folder = QDir::fromNativeSeparators(dialogs.ChooseFolder(owner, title));
  while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return folder;
}

}  // namespace quillet::ui
