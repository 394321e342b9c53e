// quillet encode: being built.
#include <iostream>

#include "app/commands.h"

namespace quillet::app {
int RunEncode(int, char**) {
  std::cerr << "quillet encode: not available in this build yet\n";
  return 1;
}
}  // namespace quillet::app
