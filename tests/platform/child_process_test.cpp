// Child processes: output and exit code collected, nothing inherited, and
// the whole group ended at the time limit, on a cancel and when the program
// leaves helpers behind.
#include "platform/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "platform/error.h"
#include "stand_ins.h"

namespace quillet {
namespace {

using testing::CancelOnceStarted;
using testing::ErrorText;
using testing::FakeOffice;
using testing::HelperPid;
using testing::ProcessAlive;
using testing::ScratchFolder;

TEST(ChildProcessTest, CollectsOutputAndExitCode) {
  const ChildOutcome outcome = RunChildProcess({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, {});
  EXPECT_EQ(outcome.end, ChildEnd::kExited);
  EXPECT_EQ(outcome.exitCode, 3);
  EXPECT_EQ(outcome.output, "out\nerr\n");
}

TEST(ChildProcessTest, InheritsNoDescriptorsButTheStandardThree) {
  const int leaked = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC
  ASSERT_GE(leaked, 3);
  const ChildOutcome outcome = RunChildProcess({"/bin/sh", "-c", "exec ls /proc/self/fd"}, {});
  ::close(leaked);
  EXPECT_EQ(outcome.output, "0\n1\n2\n3\n");  // 3 is the folder ls reads
}

TEST(ChildProcessTest, TimeLimitEndsTheWholeGroup) {
  ScratchFolder folder;
  ChildSettings settings;
  settings.timeLimit = std::chrono::milliseconds(1000);
  const auto start = std::chrono::steady_clock::now();
  const ChildOutcome outcome = RunChildProcess({FakeOffice(folder, "sleep 30").string()}, settings);
  EXPECT_EQ(outcome.end, ChildEnd::kTimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(ProcessAlive(HelperPid(folder)));
}

TEST(ChildProcessTest, CancelEndsTheWholeGroup) {
  ScratchFolder folder;
  ChildSettings settings;
  settings.isCancelled = CancelOnceStarted(folder);
  const ChildOutcome outcome = RunChildProcess({FakeOffice(folder, "sleep 30").string()}, settings);
  EXPECT_EQ(outcome.end, ChildEnd::kCancelled);
  EXPECT_FALSE(ProcessAlive(HelperPid(folder)));
}

TEST(ChildProcessTest, HelpersLeftBehindAreEnded) {
  ScratchFolder folder;
  const ChildOutcome outcome = RunChildProcess({FakeOffice(folder, "exit 0").string()}, {});
  EXPECT_EQ(outcome.end, ChildEnd::kExited);
  EXPECT_FALSE(ProcessAlive(HelperPid(folder)));
}

TEST(ChildProcessTest, MissingProgramIsAnError) {
  EXPECT_EQ(ErrorText([] { RunChildProcess({"/nonexistent/soffice"}, {}); }),
            "cannot start /nonexistent/soffice: No such file or directory");
  EXPECT_TRUE(FindProgram("surely-no-such-program-here").empty());
  EXPECT_EQ(FindProgram("sh").filename(), "sh");
}

}  // namespace
}  // namespace quillet
