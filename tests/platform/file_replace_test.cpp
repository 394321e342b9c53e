// Whole-or-nothing file writes.
#include "platform/file_replace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"

namespace quillet {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

std::vector<std::string> Names(const ScratchFolder& folder) { return testing::AllNames(folder.Path()); }

TEST(PendingFile, UncommittedFileVanishesAndTheTargetStays) {
  ScratchFolder folder;
  WriteBytes(folder / "movie.swf", "earlier movie");
  {
    PendingFile pending(folder / "movie.swf");
    pending.Write("half a movie");
    EXPECT_EQ(pending.Temporary().parent_path(), (folder / "movie.swf").parent_path());
  }
  EXPECT_EQ(ReadBytes(folder / "movie.swf"), "earlier movie");
  EXPECT_EQ(Names(folder), std::vector<std::string>{"movie.swf"});
}

TEST(PendingFile, CommitPutsTheNewFileInPlace) {
  ScratchFolder folder;
  WriteBytes(folder / "movie.swf", "earlier movie");
  PendingFile pending(folder / "movie.swf");
  pending.Write("new movie");
  pending.Commit();
  EXPECT_EQ(ReadBytes(folder / "movie.swf"), "new movie");
  EXPECT_EQ(Names(folder), std::vector<std::string>{"movie.swf"});
}

TEST(ReplaceFile, CreatesAMissingFileAndKeepsTheOldPermissionsOnReplace) {
  ScratchFolder folder;
  ReplaceFile(folder / "new.jpg", std::string("\xFF\xD8", 2));
  EXPECT_EQ(ReadBytes(folder / "new.jpg"), std::string("\xFF\xD8", 2));

  const auto mode =
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read;
  std::filesystem::permissions(folder / "new.jpg", mode);
  ReplaceFile(folder / "new.jpg", "again");
  EXPECT_EQ(std::filesystem::status(folder / "new.jpg").permissions(), mode);
  EXPECT_EQ(Names(folder), std::vector<std::string>{"new.jpg"});
}

struct FailedWrite {
  const char* name;
  std::string target;  // relative to the scratch folder
  std::string reason;
};

TEST(ReplaceFile, FailuresNameTheFileAndTheReasonAndLeaveNothing) {
  ScratchFolder folder;
  std::filesystem::create_directories(folder / "taken");
  const FailedWrite cases[] = {
      {"missing folder", "missing/out.swf", "No such file or directory"},
      {"target is a folder", "taken", "Is a directory"},
  };
  for (const FailedWrite& entry : cases) {
    SCOPED_TRACE(entry.name);
    const std::filesystem::path target = folder / entry.target;
    try {
      ReplaceFile(target, "bytes");
      FAIL() << "no error";
    } catch (const FileWriteError& error) {
      EXPECT_EQ(error.Reason(), entry.reason);
      EXPECT_EQ(std::string(error.what()), "cannot write " + target.string() + ": " + entry.reason);
      EXPECT_EQ(error.Number(), kGeneral);
    }
    EXPECT_EQ(Names(folder), std::vector<std::string>{"taken"});
  }
}

TEST(ReplaceFile, AnEmptyNameIsRefused) { EXPECT_THROW(ReplaceFile("", "x"), FileWriteError); }

}  // namespace
}  // namespace quillet
