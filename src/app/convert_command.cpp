// quillet convert: being built.
#include <iostream>

#include "app/commands.h"

namespace quillet::app {
int RunConvert(int, char**) {
  std::cerr << "quillet convert: not available in this build yet\n";
  return 1;
}
}  // namespace quillet::app
