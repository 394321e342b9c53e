// quillet (the window): being built.
#include <iostream>

#include "app/commands.h"

namespace quillet::app {
int RunWindow(int, char**) {
  std::cerr << "quillet: the window is not available in this build yet\n";
  return 1;
}
}  // namespace quillet::app
