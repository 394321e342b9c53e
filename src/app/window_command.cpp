// quillet (no command): the window. Form1 with the real dialogs and the
// conversion driver; the program ends when its last window closes. This file
// is the window's part, quillet-window.so, which the executable opens only
// when the window is asked for (window_loader.cpp).
#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <type_traits>

#include "app/commands.h"
#include "app/window_part.h"
#include "ui/default_conversion.h"
#include "ui/dialogs.h"
#include "ui/form1.h"

namespace quillet::app {

namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

int RunWindowPart(int argc, char** argv) {
  // Without a display Qt would abort; say what to do instead.
  if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
    std::cerr << "quillet: no display to open the window on; run it on a desktop, "
                 "or convert without a window: quillet convert DECK (see quillet --help)\n";
    return 1;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillet"));
  QApplication::setApplicationVersion(QString::fromUtf8(kVersion));
  QApplication::setDesktopFileName(QStringLiteral("quillet"));

  ui::QtDialogs dialogs;
  ui::Form1 form(ui::Form1Services{dialogs, ui::DefaultConversion(), QApplication::applicationDirPath()});
  form.show();
  return QApplication::exec();
}

}  // namespace quillet::app

extern "C" __attribute__((visibility("default"))) int quillet_run_window(int argc, char** argv) {
  return quillet::app::RunWindowPart(argc, argv);
}
static_assert(std::is_same_v<decltype(&quillet_run_window), quillet::app::WindowEntry>);
