// Child processes. The child becomes the leader of a new process group, so
// that LibreOffice's helper processes can be ended together with it; its
// output goes through one pipe that the parent drains while it waits. A
// second, close-on-exec pipe tells the parent whether exec succeeded.
#include "platform/child_process.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
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
constexpr auto kGraceAfterTerminate = std::chrono::seconds(2);

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

void KeepTail(std::string& output, const char* bytes, std::size_t count) {
  output.append(bytes, count);
  if (output.size() > kKeptOutputBytes) output.erase(0, output.size() - kKeptOutputBytes);
}

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

// Ends every process of the group: politely first, then for certain.
void EndGroup(pid_t group, pid_t leader, int& status, bool& reaped) {
  ::kill(-group, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kGraceAfterTerminate;
  while (!reaped && std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(leader, &status, WNOHANG) == leader) {
      reaped = true;
      break;
    }
    ::usleep(20 * 1000);
  }
  ::kill(-group, SIGKILL);
  if (!reaped) {
    while (::waitpid(leader, &status, 0) < 0 && errno == EINTR) {
    }
    reaped = true;
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
  // Everything the child needs is prepared before fork: after it, only
  // async-signal-safe calls are made.
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  FileDescriptor outputRead, outputWrite, execRead, execWrite;
  MakePipe(outputRead, outputWrite);
  MakePipe(execRead, execWrite);
  FileDescriptor nullInput(::open("/dev/null", O_RDONLY | O_CLOEXEC));

  const pid_t child = ::fork();
  if (child < 0) throw Error(kGeneral, std::string("cannot start ") + arguments[0] + ": " + std::strerror(errno));
  if (child == 0) {
    ::setpgid(0, 0);
    ::signal(SIGPIPE, SIG_DFL);
    if (nullInput.Get() >= 0) ::dup2(nullInput.Get(), STDIN_FILENO);
    ::dup2(outputWrite.Get(), STDOUT_FILENO);
    ::dup2(outputWrite.Get(), STDERR_FILENO);
    // Descriptors the caller left inheritable (a window toolkit's, say) do
    // not reach the program; the exec pipe stays usable until exec.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::execve(argv[0], argv.data(), environ);
    const int failure = errno;
    [[maybe_unused]] const ssize_t written = ::write(execWrite.Get(), &failure, sizeof failure);
    ::_exit(127);
  }
  ::setpgid(child, child);  // also here, so the group exists whoever runs first
  outputWrite.Close();
  execWrite.Close();

  int execFailure = 0;
  ssize_t got;
  while ((got = ::read(execRead.Get(), &execFailure, sizeof execFailure)) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof execFailure)) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    throw Error(kGeneral, "cannot start " + arguments[0] + ": " + std::strerror(execFailure));
  }

  ::fcntl(outputRead.Get(), F_SETFL, ::fcntl(outputRead.Get(), F_GETFL) | O_NONBLOCK);
  ChildOutcome outcome;
  const auto deadline = std::chrono::steady_clock::now() + settings.timeLimit;
  int status = 0;
  bool reaped = false;
  bool exited = false;
  bool pipeOpen = true;
  for (;;) {
    if (pipeOpen) {
      pollfd watch{outputRead.Get(), POLLIN, 0};
      ::poll(&watch, 1, kPollMilliseconds);
      pipeOpen = DrainOutput(outputRead.Get(), outcome.output);
    } else {
      ::usleep(kPollMilliseconds * 1000);
    }
    // WNOWAIT leaves the leader a zombie, so its group id cannot be reused
    // before the helpers it left behind are ended below.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child) {
      exited = true;
      break;
    }
    if (settings.whileRunning) settings.whileRunning();
    if (settings.isCancelled && settings.isCancelled()) {
      outcome.end = ChildEnd::kCancelled;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      outcome.end = ChildEnd::kTimedOut;
      break;
    }
  }
  if (exited) {
    ::kill(-child, SIGKILL);  // helpers the program left behind
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  } else {
    EndGroup(child, child, status, reaped);
  }
  if (pipeOpen) DrainOutput(outputRead.Get(), outcome.output);
  if (outcome.end == ChildEnd::kExited) {
    if (WIFSIGNALED(status)) {
      outcome.end = ChildEnd::kKilled;
      outcome.exitCode = WTERMSIG(status);
    } else {
      outcome.exitCode = WEXITSTATUS(status);
    }
  }
  return outcome;
}

}  // namespace quillet
