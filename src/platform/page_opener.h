// Opening a written page with the desktop's default application, through
// xdg-open, for both the convert command and the window. xdg-open either
// hands the page to a browser and ends with status 0, or runs the browser
// itself and lasts as long as it does; with no program for the page it ends
// at once with another status. So an opener that fails within a short grace
// has failed, and one still running after it has handed the page over.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace quillet {

// How long xdg-open may take to fail before the page counts as opened.
inline constexpr std::chrono::milliseconds kOpenerGrace{2000};

struct OpenOutcome {
  bool opened = false;
  std::string problem;  // why not, when not opened: "xdg-open ended with status 3"
};

// One start of xdg-open for a file, in a session of its own so that it and
// the browser it may run outlive this process. Check() never blocks, so the
// window can ask from its event loop. Destroying a PageOpening whose xdg-open
// still runs leaves a waiter thread to collect its end: no zombie stays.
class PageOpening {
 public:
  explicit PageOpening(const std::filesystem::path& file, std::chrono::milliseconds grace = kOpenerGrace);
  ~PageOpening();
  PageOpening(const PageOpening&) = delete;
  PageOpening& operator=(const PageOpening&) = delete;

  // The outcome once it is known (xdg-open could not start, or ended, or
  // still runs after the grace); empty while it is not.
  std::optional<OpenOutcome> Check();

 private:
  int child_ = -1;  // the process id while its end is not collected
  std::chrono::steady_clock::time_point deadline_;
  std::optional<OpenOutcome> outcome_;
};

// Starts xdg-open for `file` and waits for the outcome, at most `grace`.
OpenOutcome OpenWithDefaultApplication(const std::filesystem::path& file,
                                       std::chrono::milliseconds grace = kOpenerGrace);

}  // namespace quillet
