// quillet (no command): the window. Form1 with the real dialogs and the
// conversion driver; the program ends when its last window closes.
#include <QApplication>

#include "app/commands.h"
#include "ui/default_conversion.h"
#include "ui/dialogs.h"
#include "ui/form1.h"

namespace quillet::app {

int RunWindow(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillet"));
  QApplication::setApplicationVersion(QString::fromUtf8(kVersion));
  QApplication::setDesktopFileName(QStringLiteral("quillet"));

  ui::QtDialogs dialogs;
  ui::Form1 form(ui::Form1Services{dialogs, ui::DefaultConversion(),
                                   QApplication::applicationDirPath()});
  form.show();
  return QApplication::exec();
}

}  // namespace quillet::app
