// Renders Quillet's windows to PNG files without showing them: the fresh
// main window, the window with every button lit, the window halfway through a
// conversion, the Options panel and the about window. scripts/screenshot-window uses it for
// docs/window.png.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <iostream>

#include "ui/art.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form_about.h"
#include "ui/form_layout.h"
#include "ui/progress_display.h"

namespace {

using namespace quillet::ui;

// Nothing here asks the user anything.
class SilentDialogs : public Dialogs {
 public:
  void ShowMessage(QWidget*, const QString&, const QString&, MessageKind, MessageButtons) override {}
  QString ChooseOpenFile(QWidget*) override { return {}; }
  QString ChooseFolder(QWidget*, const QString&) override { return {}; }
  void OpenPage(QWidget*, const QString&, std::function<void()>) override {}
};

int zoom = 1;  // --zoom: pixels drawn as N x N blocks, for looking closely

bool Save(QWidget& widget, const QString& path) {
  QImage image = widget.grab().toImage();
  if (zoom > 1) image = image.scaled(image.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  if (image.save(path)) return true;
  std::cerr << "quillet_window_snapshot: cannot write " << path.toStdString() << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillet"));
  QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Renders Quillet's windows to PNG files."));
  parser.addHelpOption();
  parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("where the PNG files go"));
  QCommandLineOption deck(QStringLiteral("deck"), QStringLiteral("path shown in the deck field"),
                          QStringLiteral("PATH"));
  QCommandLineOption folder(QStringLiteral("folder"), QStringLiteral("path shown in the output folder field"),
                            QStringLiteral("PATH"));
  QCommandLineOption zoomOption(QStringLiteral("zoom"), QStringLiteral("enlarge every pixel N times"),
                                QStringLiteral("N"), QStringLiteral("1"));
  parser.addOption(zoomOption);
  parser.addOption(deck);
  parser.addOption(folder);
  parser.process(application);
  if (parser.positionalArguments().size() != 1) parser.showHelp(2);
  zoom = std::max(1, parser.value(zoomOption).toInt());
  const QDir out(parser.positionalArguments().front());
  if (!out.exists() && !QDir().mkpath(out.path())) {
    std::cerr << "quillet_window_snapshot: cannot make " << out.path().toStdString() << "\n";
    return 1;
  }

  SilentDialogs dialogs;
  Form1 form(Form1Services{dialogs, {}, QApplication::applicationDirPath()});
  auto* txtPPT = form.findChild<QLineEdit*>(QStringLiteral("txtPPT"));
  auto* txtSwf = form.findChild<QLineEdit*>(QStringLiteral("txtSwf"));
  if (parser.isSet(deck)) txtPPT->setText(parser.value(deck));
  if (parser.isSet(folder)) txtSwf->setText(parser.value(folder));
  form.show();
  QApplication::processEvents();
  bool written = Save(form, out.filePath(QStringLiteral("window.png")));

  for (const HoverPictureEntry& entry : kHoverPictures) form.findChild<QWidget*>(entry.objectName)->show();
  written = Save(form, out.filePath(QStringLiteral("window-lit.png"))) && written;
  for (const HoverPictureEntry& entry : kHoverPictures) form.findChild<QWidget*>(entry.objectName)->hide();

  form.ShowOptions();
  QApplication::processEvents();
  written = Save(*form.OptionsWindow(), out.filePath(QStringLiteral("options.png"))) && written;
  form.OptionsWindow()->close();

  auto* bar = form.findChild<QWidget*>(QStringLiteral("picProgress"));
  auto* caption = form.findChild<QLabel*>(QStringLiteral("LabelProgress"));
  ProgressDisplay progress(*bar, *caption);
  progress.Show(42);
  form.lblSize_Click(2);
  written = Save(form, out.filePath(QStringLiteral("window-progress.png"))) && written;

  FormAbout about;
  about.show();
  QApplication::processEvents();
  written = Save(about, out.filePath(QStringLiteral("about.png"))) && written;
  return written ? 0 : 1;
}
