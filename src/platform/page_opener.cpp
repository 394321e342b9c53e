// xdg-open started with posix_spawn in a new session, its end collected with
// waitpid: polled while the grace lasts, then by a detached thread.
#include "platform/page_opener.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/child_process.h"

// POSIX has the program declare it; glibc's <unistd.h> may too.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace quillet {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

OpenOutcome FromStatus(int status) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {true, {}};
  if (WIFEXITED(status)) return {false, "xdg-open ended with status " + std::to_string(WEXITSTATUS(status))};
  return {false, "xdg-open was ended by signal " + std::to_string(WTERMSIG(status))};
}

// Starts `program file` in a session of its own with SIGPIPE back at its
// default (this process may ignore it); the process id, or -1 with errno.
int Spawn(const std::string& program, const std::string& file) {
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return -1;
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
  char* arguments[] = {const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()), nullptr};
  pid_t child = -1;
  const int failure = posix_spawn(&child, program.c_str(), nullptr, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  if (failure != 0) {
    errno = failure;
    return -1;
  }
  return child;
}

}  // namespace

PageOpening::PageOpening(const std::filesystem::path& file, std::chrono::milliseconds grace)
    : deadline_(std::chrono::steady_clock::now() + grace) {
  const std::filesystem::path opener = FindProgram("xdg-open");
  if (opener.empty()) {
    outcome_ = OpenOutcome{false, "xdg-open is not available"};
    return;
  }
  // An absolute path, so that no page name is taken for an option.
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(file, error);
  child_ = Spawn(opener.string(), (error ? file : absolute).string());
  if (child_ < 0) outcome_ = OpenOutcome{false, std::string("cannot start xdg-open: ") + std::strerror(errno)};
}

PageOpening::~PageOpening() {
  if (child_ < 0) return;
  int status = 0;
  if (::waitpid(child_, &status, WNOHANG) != 0) return;  // collected now, or not ours to collect
  try {
    std::thread([child = child_] {
      int ended = 0;
      while (::waitpid(child, &ended, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the process ends as a zombie, collected when this one ends.
  }
}

std::optional<OpenOutcome> PageOpening::Check() {
  if (outcome_) return outcome_;
  int status = 0;
  pid_t ended = 0;
  while ((ended = ::waitpid(child_, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (ended == child_) {
    child_ = -1;
    outcome_ = FromStatus(status);
  } else if (ended < 0) {
    // Collected elsewhere (SIGCHLD ignored): its status is lost, and with it
    // any sign of failure.
    child_ = -1;
    outcome_ = OpenOutcome{true, {}};
  } else if (std::chrono::steady_clock::now() >= deadline_) {
    outcome_ = OpenOutcome{true, {}};
  }
  return outcome_;
}

OpenOutcome OpenWithDefaultApplication(const std::filesystem::path& file, std::chrono::milliseconds grace) {
  PageOpening opening(file, grace);
  for (;;) {
    if (std::optional<OpenOutcome> outcome = opening.Check()) return *outcome;
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace quillet
