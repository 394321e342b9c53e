// quillet [DECK]: the window. Form1 with the real dialogs, the conversion
// driver and the user's settings, DECK chosen when given (the desktop entry
// passes the file it was asked to open); the program ends when its last
// window closes. This file is the window's part, quillet-window.so, which the
// executable opens only when the window is asked for (part_loader.cpp).
#include <QApplication>
#include <QSettings>
#include <QStringList>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <type_traits>

#include "app/commands.h"
#include "app/parts.h"
#include "ui/default_conversion.h"
#include "ui/dialogs.h"
#include "ui/form1.h"

namespace quillet::app {

namespace {

// Quillet's one name on the desktop, that of its desktop entry, metainfo and
// icons (set in CMakeLists.txt).
constexpr const char* kAppId = QUILLET_APP_ID;

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
  // Settings go to ~/.config/quillet/Quillet.conf.
  QApplication::setOrganizationName(QStringLiteral("quillet"));
  QApplication::setDesktopFileName(QString::fromUtf8(kAppId));

  // What Qt left of the arguments: at most one deck.
  QStringList decks = QApplication::arguments().mid(1);
  decks.removeIf([](const QString& word) { return word.startsWith(QLatin1Char('-')); });
  if (decks.size() > 1) {
    std::cerr << "quillet: the window opens one presentation at a time; to convert many, "
                 "run quillet convert on each\n";
    return 2;
  }

  QSettings settings;
  ui::QtDialogs dialogs;
  ui::Form1 form(ui::Form1Services{dialogs, ui::DefaultConversion(), QApplication::applicationDirPath(), &settings});
  form.show();
  if (!decks.isEmpty()) form.ChooseDeck(decks.front());
  return QApplication::exec();
}

}  // namespace quillet::app

extern "C" __attribute__((visibility("default"))) int quillet_run_window(int argc, char** argv) {
  return quillet::app::RunWindowPart(argc, argv);
}
static_assert(std::is_same_v<decltype(&quillet_run_window), quillet::app::PartEntry>);
