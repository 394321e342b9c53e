// Whole-or-nothing file writes.
#include "platform/file_replace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillet {
namespace {

class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = std::filesystem::temp_directory_path() /
            ("quillet-file-replace-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PendingFile, UncommittedFileVanishesAndTheTargetStays) {
  ScratchFolder folder;
  WriteBytes(folder / "movie.swf", "earlier movie");
  {
    PendingFile pending(folder / "movie.swf");
    pending.Write("half a movie");
    EXPECT_EQ(pending.Temporary().parent_path(), (folder / "movie.swf").parent_path());
  }
  EXPECT_EQ(ReadBytes(folder / "movie.swf"), "earlier movie");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"movie.swf"});
}

TEST(PendingFile, CommitPutsTheNewFileInPlace) {
  ScratchFolder folder;
  WriteBytes(folder / "movie.swf", "earlier movie");
  PendingFile pending(folder / "movie.swf");
  pending.Write("new movie");
  pending.Commit();
  EXPECT_EQ(ReadBytes(folder / "movie.swf"), "new movie");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"movie.swf"});
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
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"new.jpg"});
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
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"taken"});
  }
}

TEST(ReplaceFile, AnEmptyNameIsRefused) { EXPECT_THROW(ReplaceFile("", "x"), FileWriteError); }

}  // namespace
}  // namespace quillet
