// The real message boxes, pickers and page opener, and the folder picker's
// clean-up of trailing separators.
#include "ui/dialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

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

bool QtDialogs::OpenPage(const QString& pagePath) { return QDesktopServices::openUrl(QUrl::fromLocalFile(pagePath)); }

QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title) {
  QString folder = QDir::fromNativeSeparators(dialogs.ChooseFolder(owner, title));
  while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return folder;
}

}  // namespace quillet::ui
