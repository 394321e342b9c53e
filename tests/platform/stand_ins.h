// Stand-ins the child-process and slide-exporter tests share: a script in
// LibreOffice's place that leaves a helper process behind, and ways to watch
// what became of it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "test_files.h"

namespace quillet::testing {

inline std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no error)";
}

// True while the process runs; a zombie waiting for its reaper counts as
// ended. Gives a just-signalled process a moment to go.
inline bool ProcessAlive(pid_t pid) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (stat.empty() || close == std::string::npos || stat.compare(close + 2, 1, "Z") == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A script standing in for LibreOffice: it starts a helper that outlives it
// unless its group is ended, records the helper's id, then does `body`.
inline std::filesystem::path FakeOffice(const ScratchFolder& folder, const std::string& body) {
  std::filesystem::path script = folder / "fake-soffice";
  WriteBytes(script, "#!/bin/sh\nsleep 30 &\necho $! > '" + (folder / "helper.pid").string() + "'\n" + body + "\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  return script;
}

inline pid_t HelperPid(const ScratchFolder& folder) {
  return static_cast<pid_t>(std::stol(ReadBytes(folder / "helper.pid")));
}

// Cancels once the stand-in has started its helper.
inline std::function<bool()> CancelOnceStarted(const ScratchFolder& folder) {
  return [&folder] { return !ReadBytes(folder / "helper.pid").empty(); };
}

}  // namespace quillet::testing
