// Child processes. The program runs under a supervisor of Quillet's own: a
// forked copy of Quillet that starts the program as the leader of a new
// process group (so that LibreOffice's helper processes can be ended with it)
// and then only watches. Quillet holds the one end of a control socket and
// the supervisor the other; a byte on it asks the supervisor to end the
// group, and its end of file (Quillet gone, whatever killed it) ends the
// group too. A socket, not a parent-death signal: that signal follows the
// thread that forked, not the process, and conversions run on worker
// threads. The supervisor reports on a second pipe: whether exec succeeded,
// then how the program ended. The program's output goes through a third pipe
// that Quillet drains while it waits.
#include "platform/child_process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/error.h"

// POSIX has the program declare it; glibc's <unistd.h> may too.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace quillet {
namespace {

constexpr std::size_t kKeptOutputBytes = 64 * 1024;
constexpr int kPollMilliseconds = 50;
constexpr long kGraceMilliseconds = 2000;  // after SIGTERM, before SIGKILL

// What the supervisor tells Quillet, one message of fixed size at a time
// (smaller than PIPE_BUF, so each arrives whole).
enum class Report : int {
  kStarted,     // value: the program's process id (and group id)
  kNotStarted,  // value: the errno of fork or exec
  kEnded,       // value: the program's wait status; nothing of its group runs
};
struct Message {
  Report what;
  int value;
};

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }
  int Get() const { return descriptor_; }
  void Reset(int descriptor) {
    Close();
    descriptor_ = descriptor;
  }
  void Close() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
  }

 private:
  int descriptor_ = -1;
};

void MakePipe(FileDescriptor& readEnd, FileDescriptor& writeEnd) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    throw Error(kGeneral, std::string("cannot create a pipe: ") + std::strerror(errno));
  }
  readEnd.Reset(ends[0]);
  writeEnd.Reset(ends[1]);
}

// A socket rather than a pipe, so that Quillet's request to a supervisor that
// is gone fails with EPIPE instead of raising SIGPIPE.
void MakeControlSocket(FileDescriptor& ours, FileDescriptor& theirs) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    throw Error(kGeneral, std::string("cannot create a socket: ") + std::strerror(errno));
  }
  ours.Reset(ends[0]);
  theirs.Reset(ends[1]);
}

// ---- The supervisor's side. It is forked from a process that may have other
// threads, so from the fork on it makes only async-signal-safe calls: no
// allocation, no locks, no exceptions, and it leaves through _exit.

// The descriptors the supervisor keeps; all are close-on-exec.
struct SupervisorPipes {
  int control;    // the supervisor's end of the control socket
  int report;     // writing end: the supervisor's messages
  int output;     // writing end: the program's standard output and error
  int execRead;   // the exec pipe: exec's errno, or end of file once exec
  int execWrite;  // succeeded
  int null;       // /dev/null, read and write
};

long Milliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

void Send(int report, Report what, int value) {
  const Message message{what, value};
  while (::write(report, &message, sizeof message) < 0 && errno == EINTR) {
  }
}

// Moves the descriptor above standard input, output and error (Quillet may
// have been started with those closed) and leaves it close-on-exec.
void AboveStandard(int& descriptor) {
  if (descriptor <= STDERR_FILENO) descriptor = ::fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
}

// Closes every descriptor from 3 on but the pipes: one of Quillet's kept
// here (the control socket of another call, say) would outlive Quillet.
void CloseAllBut(const SupervisorPipes& pipes) {
  int keep[] = {pipes.control, pipes.report, pipes.output, pipes.execRead, pipes.execWrite, pipes.null};
  constexpr int kCount = sizeof keep / sizeof keep[0];
  for (int i = 1; i < kCount; ++i)
    for (int j = i; j > 0 && keep[j - 1] > keep[j]; --j) {
      const int swap = keep[j];
      keep[j] = keep[j - 1];
      keep[j - 1] = swap;
    }
  unsigned first = STDERR_FILENO + 1;
  for (const int descriptor : keep) {
    if (descriptor < 0 || static_cast<unsigned>(descriptor) < first) continue;
    if (static_cast<unsigned>(descriptor) > first) ::close_range(first, static_cast<unsigned>(descriptor) - 1, 0);
    first = static_cast<unsigned>(descriptor) + 1;
  }
  ::close_range(first, ~0U, 0);
}

// The program, in the supervisor's child: a new process group, signals as a
// freshly started program has them (the supervisor ignores some, the thread
// that forked may block some), standard input from /dev/null.
[[noreturn]] void StartProgram(char* const* argv, const SupervisorPipes& pipes) {
  ::setpgid(0, 0);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  for (int number = 1; number < NSIG; ++number) ::sigaction(number, &standard, nullptr);  // some refuse; no matter
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::dup2(pipes.null, STDIN_FILENO);
  ::dup2(pipes.output, STDOUT_FILENO);
  ::dup2(pipes.output, STDERR_FILENO);
  // Descriptors the caller left inheritable (a window toolkit's, say) do
  // not reach the program; the exec pipe stays usable until exec.
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  ::execve(argv[0], argv, environ);
  const int failure = errno;
  [[maybe_unused]] const ssize_t written = ::write(pipes.execWrite, &failure, sizeof failure);
  ::_exit(127);
}

// True once the program has ended. WNOWAIT leaves it a zombie, so that its
// group id cannot be taken by a new process before the group is ended.
bool HasEnded(pid_t program) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(program), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == program;
}

// Ends every process of the group, politely first when asked to, then for
// certain; returns the program's wait status.
int EndGroup(pid_t program, bool politely) {
  if (politely) {
    ::kill(-program, SIGTERM);
    const long deadline = Milliseconds() + kGraceMilliseconds;
    while (!HasEnded(program) && Milliseconds() < deadline) ::poll(nullptr, 0, 20);
  }
  ::kill(-program, SIGKILL);  // the rest of the group, or helpers the program left behind
  int status = 0;
  while (::waitpid(program, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

[[noreturn]] void Supervise(char* const* argv, SupervisorPipes pipes) {
  // A process group of its own, and the usual ending signals ignored: what
  // is meant for Quillet (a terminal's Ctrl-C, a kill of Quillet's whole
  // group) leaves the supervisor to end the program when Quillet asks or goes.
  ::setpgid(0, 0);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::sigaction(number, &ignore, nullptr);
  struct sigaction standard {};  // an ignored SIGCHLD would reap the program before it is watched
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  ::sigaction(SIGCHLD, &standard, nullptr);
  for (int* descriptor : {&pipes.control, &pipes.report, &pipes.output, &pipes.execRead, &pipes.execWrite, &pipes.null})
    AboveStandard(*descriptor);
  CloseAllBut(pipes);
  // The supervisor holds nothing of Quillet's: not its terminal, not a pipe
  // a reader waits on to close.
  for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(pipes.null, standard);

  const pid_t program = ::fork();
  if (program < 0) {
    Send(pipes.report, Report::kNotStarted, errno);
    ::_exit(0);
  }
  if (program == 0) StartProgram(argv, pipes);
  ::setpgid(program, program);  // also here, so the group exists whoever runs first
  ::close(pipes.output);
  ::close(pipes.execWrite);
  int failure = 0;
  ssize_t got;
  while ((got = ::read(pipes.execRead, &failure, sizeof failure)) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof failure)) {
    EndGroup(program, false);
    Send(pipes.report, Report::kNotStarted, failure);
    ::_exit(0);
  }
  Send(pipes.report, Report::kStarted, program);

  // The program's end wakes the supervisor through a pidfd where the kernel
  // has them; otherwise it looks every kPollMilliseconds.
  int exitWatch = -1;
#ifdef SYS_pidfd_open
  exitWatch = static_cast<int>(::syscall(SYS_pidfd_open, program, 0));
#endif
  for (;;) {
    pollfd watch[2] = {{pipes.control, POLLIN, 0}, {exitWatch, POLLIN, 0}};
    ::poll(watch, 2, exitWatch >= 0 ? 1000 : kPollMilliseconds);
    if (watch[0].revents != 0) {
      // A request, or end of file: Quillet asks to end the group, or is gone.
      char request = 0;
      if (::read(pipes.control, &request, 1) >= 0 || errno != EINTR) {
        Send(pipes.report, Report::kEnded, EndGroup(program, true));
        ::_exit(0);
      }
    }
    if (HasEnded(program)) {
      Send(pipes.report, Report::kEnded, EndGroup(program, false));
      ::_exit(0);
    }
  }
}

// ---- Quillet's side.

void KeepTail(std::string& output, const char* bytes, std::size_t count) {
  output.append(bytes, count);
  if (output.size() > kKeptOutputBytes) output.erase(0, output.size() - kKeptOutputBytes);
}

// One whole message, or false when the supervisor closed the pipe first.
bool Receive(int report, Message& message) {
  ssize_t got;
  while ((got = ::read(report, &message, sizeof message)) < 0 && errno == EINTR) {
  }
  return got == static_cast<ssize_t>(sizeof message);
}

// The supervisor, reaped whatever way RunChildProcess is left: on an
// exception, closing the control socket makes it end the group first.
class SupervisorGuard {
 public:
  SupervisorGuard(pid_t supervisor, FileDescriptor& control) : supervisor_(supervisor), control_(control) {}
  SupervisorGuard(const SupervisorGuard&) = delete;
  SupervisorGuard& operator=(const SupervisorGuard&) = delete;
  ~SupervisorGuard() {
    if (supervisor_ < 0) return;
    control_.Close();
    Reap();
  }
  // The supervisor's wait status.
  int Reap() {
    int status = 0;
    while (::waitpid(supervisor_, &status, 0) < 0 && errno == EINTR) {
    }
    supervisor_ = -1;
    return status;
  }

 private:
  pid_t supervisor_;
  FileDescriptor& control_;
};

// Reads what is available without blocking; false once the pipe is closed.
bool DrainOutput(int descriptor, std::string& output) {
  char buffer[4096];
  for (;;) {
    const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
    if (count > 0) {
      KeepTail(output, buffer, static_cast<std::size_t>(count));
      continue;
    }
    if (count == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

// What the supervisor said of the program's end: its wait status, when it
// said anything.
struct SupervisorReport {
  bool heard = false;
  int status = 0;
};

// Collects the program's output until the supervisor reports its end; asks
// the supervisor to end the group when the caller cancels or the time limit
// passes, and sets outcome.end to say which.
SupervisorReport WatchProgram(int outputRead, int reportRead, int control, const ChildSettings& settings,
                              ChildOutcome& outcome) {
  ::fcntl(outputRead, F_SETFL, ::fcntl(outputRead, F_GETFL) | O_NONBLOCK);
  const auto deadline = std::chrono::steady_clock::now() + settings.timeLimit;
  bool pipeOpen = true;
  bool ending = false;  // the supervisor was asked to end the group
  for (;;) {
    pollfd watch[2] = {{pipeOpen ? outputRead : -1, POLLIN, 0}, {reportRead, POLLIN, 0}};
    ::poll(watch, 2, kPollMilliseconds);
    if (pipeOpen) pipeOpen = DrainOutput(outputRead, outcome.output);
    if (watch[1].revents != 0) {
      Message message{};
      const bool heard = Receive(reportRead, message) && message.what == Report::kEnded;
      return {heard, message.value};
    }
    if (ending) continue;
    if (settings.whileRunning) settings.whileRunning();
    if (settings.isCancelled && settings.isCancelled()) {
      outcome.end = ChildEnd::kCancelled;
    } else if (std::chrono::steady_clock::now() >= deadline) {
      outcome.end = ChildEnd::kTimedOut;
    } else {
      continue;
    }
    const char request = 'E';
    while (::send(control, &request, 1, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
    ending = true;
  }
}

}  // namespace

std::filesystem::path FindProgram(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) {
    return ::access(program.c_str(), X_OK) == 0 ? std::filesystem::path(program) : std::filesystem::path();
  }
  const char* searchPath = std::getenv("PATH");
  std::string folders = searchPath != nullptr ? searchPath : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::filesystem::path folder =
        end > start ? std::filesystem::path(folders.substr(start, end - start)) : std::filesystem::path(".");
    std::filesystem::path candidate = folder / program;
    std::error_code error;
    if (::access(candidate.c_str(), X_OK) == 0 && !std::filesystem::is_directory(candidate, error)) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

ChildOutcome RunChildProcess(const std::vector<std::string>& arguments, const ChildSettings& settings) {
  if (arguments.empty()) throw Error(kGeneral, "no program to run");
  // Everything the supervisor and the program need is prepared before fork.
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  FileDescriptor outputRead, outputWrite, execRead, execWrite, control, supervisorControl, reportRead, reportWrite;
  MakePipe(outputRead, outputWrite);
  MakePipe(execRead, execWrite);
  MakeControlSocket(control, supervisorControl);
  MakePipe(reportRead, reportWrite);
  FileDescriptor nullDevice(::open("/dev/null", O_RDWR | O_CLOEXEC));

  const pid_t supervisor = ::fork();
  if (supervisor < 0) throw Error(kGeneral, "cannot start " + arguments[0] + ": " + std::strerror(errno));
  if (supervisor == 0) {
    Supervise(argv.data(), SupervisorPipes{supervisorControl.Get(), reportWrite.Get(), outputWrite.Get(),
                                           execRead.Get(), execWrite.Get(), nullDevice.Get()});
  }
  ::setpgid(supervisor, supervisor);  // also here, so the group exists whoever runs first
  SupervisorGuard guard(supervisor, control);
  for (FileDescriptor* theirs : {&outputWrite, &execRead, &execWrite, &supervisorControl, &reportWrite, &nullDevice})
    theirs->Close();

  Message message{};
  const bool heard = Receive(reportRead.Get(), message);
  if (!heard || message.what != Report::kStarted) {
    guard.Reap();
    const std::string reason = heard ? std::strerror(message.value) : "its supervisor ended before starting it";
    throw Error(kGeneral, "cannot start " + arguments[0] + ": " + reason);
  }
  const pid_t program = message.value;

  ChildOutcome outcome;
  const SupervisorReport report = WatchProgram(outputRead.Get(), reportRead.Get(), control.Get(), settings, outcome);
  int status = report.status;
  const int supervisorStatus = guard.Reap();
  const bool reported = report.heard;
  if (!reported) {
    // Something killed the supervisor (it ignores the usual signals): the
    // group is ended from here, and the outcome is the supervisor's.
    ::kill(-program, SIGKILL);
    status = supervisorStatus;
  }
  DrainOutput(outputRead.Get(), outcome.output);
  if (outcome.end == ChildEnd::kExited) {
    if (!reported) {
      outcome.end = ChildEnd::kKilled;
      outcome.exitCode = WIFSIGNALED(status) ? WTERMSIG(status) : SIGKILL;
    } else if (WIFSIGNALED(status)) {
      outcome.end = ChildEnd::kKilled;
      outcome.exitCode = WTERMSIG(status);
    } else {
      outcome.exitCode = WEXITSTATUS(status);
    }
  }
  return outcome;
}

}  // namespace quillet
