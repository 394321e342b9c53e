// Child processes: start a program in a process group of its own, collect
// what it prints, and end the whole group when a time limit passes, the
// caller cancels or Quillet itself ends. The slide exporter runs LibreOffice
// through it.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quillet {

enum class ChildEnd {
  kExited,     // the program ended by itself (exitCode holds its status)
  kKilled,     // a signal ended it (exitCode holds the signal number)
  kTimedOut,   // the time limit passed; the group was ended
  kCancelled,  // the caller cancelled; the group was ended
};

struct ChildOutcome {
  ChildEnd end = ChildEnd::kExited;
  int exitCode = 0;
  std::string output;  // standard output and error together, the last 64 KiB
};

struct ChildSettings {
  std::chrono::milliseconds timeLimit{std::chrono::minutes(10)};
  std::function<bool()> isCancelled;   // polled about every 50 ms; may be empty
  std::function<void()> whileRunning;  // called as often, for progress; may be empty
};

// The full path of `program` found along $PATH (or `program` itself when it
// holds a "/" and is executable); empty when there is none.
std::filesystem::path FindProgram(const std::string& program);

// Runs arguments[0] (a path, not searched) with the remaining arguments and
// standard input from /dev/null. Throws quillet::Error when the program cannot
// be started. Whatever way the program ends, nothing of its process group is
// left running when this returns; and should Quillet end first, even by
// SIGKILL, the group is ended (SIGTERM, then SIGKILL two seconds later).
ChildOutcome RunChildProcess(const std::vector<std::string>& arguments, const ChildSettings& settings);

}  // namespace quillet
