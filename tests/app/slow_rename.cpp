// Loaded with LD_PRELOAD by a test: the n-th rename into the folder named by
// QUILLET_SLOW_RENAME_FOLDER first waits the n-th number of seconds listed in
// QUILLET_SLOW_RENAME_SECONDS ("1.5 0 0"), so that two processes committing
// their outputs into one folder at once can be made to overtake each other.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" __attribute__((visibility("default"))) int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Rename>(::dlsym(RTLD_NEXT, "rename"));
  static int renames = 0;
  const char* folder = std::getenv("QUILLET_SLOW_RENAME_FOLDER");
  const char* seconds = std::getenv("QUILLET_SLOW_RENAME_SECONDS");
  if (folder != nullptr && seconds != nullptr && std::strncmp(to, folder, std::strlen(folder)) == 0) {
    char* next = const_cast<char*>(seconds);
    double wait = 0;
    for (int index = 0; index <= renames && *next != '\0'; ++index) wait = std::strtod(next, &next);
    ++renames;
    ::usleep(static_cast<useconds_t>(wait * 1e6));
  }
  return real(from, to);
}
