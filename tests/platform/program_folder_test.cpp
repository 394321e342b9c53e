// Where the program finds its files and puts its outputs by default, and
// work folders held by one process at a time.
#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "test_files.h"

namespace quillet {
namespace {

using testing::ScratchFolder;
using testing::WriteBytes;

TEST(WorkFolderTest, RootIsCreatedBesideTheProgram) {
  ScratchFolder program;
  EXPECT_EQ(WorkFolderRoot(program.Path()), program / "temp");
  EXPECT_TRUE(std::filesystem::is_directory(program / "temp"));
}

TEST(WorkFolderTest, ReadOnlyProgramFolderFallsBackToTheCache) {
  ScratchFolder cache;
  ::setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
  EXPECT_EQ(WorkFolderRoot("/proc"), cache / "quillet" / "temp");
  ::unsetenv("XDG_CACHE_HOME");
}

// The home folder stands in for a program folder that is not the user's to
// fill: read-only, or an installation (PREFIX/bin beside PREFIX/share/quillet).
TEST(ProgramFolderTest, DefaultOutputFolderAndProgramFiles) {
  ScratchFolder root;
  const std::filesystem::path bin = root / "bin";
  std::filesystem::create_directories(bin);
  EXPECT_EQ(DefaultOutputFolder(bin), bin);
  EXPECT_FALSE(IsInstalled(bin));
  EXPECT_EQ(DefaultOutputFolder("/proc"), HomeFolder());
  EXPECT_TRUE(FindProgramFile(bin, "qzp.html").empty());

  std::filesystem::create_directories(root / "share" / "quillet" / "ruffle");
  WriteBytes(root / "share" / "quillet" / "qzp.html", "installed");
  EXPECT_TRUE(IsInstalled(bin));
  EXPECT_EQ(DefaultOutputFolder(bin), HomeFolder());
  EXPECT_EQ(FindProgramFile(bin, "qzp.html"), root / "share" / "quillet" / "qzp.html");
  EXPECT_EQ(FindProgramFile(bin, "ruffle"), root / "share" / "quillet" / "ruffle");
  WriteBytes(bin / "qzp.html", "beside");  // a build tree with share/quillet in it
  EXPECT_EQ(FindProgramFile(bin, "qzp.html"), bin / "qzp.html");
  EXPECT_FALSE(IsInstalled(bin));
  EXPECT_EQ(DefaultOutputFolder(bin), bin);

  const std::string home = HomeFolder();
  ::setenv("HOME", (root / "home").c_str(), 1);
  EXPECT_EQ(HomeFolder(), root / "home");
  ::unsetenv("HOME");
  EXPECT_EQ(HomeFolder(), ::getpwuid(::getuid())->pw_dir);
  ::setenv("HOME", home.c_str(), 1);
}

TEST(WorkFolderTest, TwoHoldersNeverShareAFolder) {
  ScratchFolder root;
  std::filesystem::path firstPath;
  {
    const WorkFolder first = WorkFolder::Acquire(root.Path());
    const WorkFolder second = WorkFolder::Acquire(root.Path());
    firstPath = first.Path();
    EXPECT_EQ(first.Path(), root.Path());
    EXPECT_NE(second.Path(), first.Path());
    EXPECT_EQ(second.Path().parent_path(), root.Path());
    EXPECT_EQ(second.Path().filename().string().front(), '.');  // hidden from the first one's listing
  }
  const WorkFolder again = WorkFolder::Acquire(root.Path());
  EXPECT_EQ(again.Path(), firstPath);
}

}  // namespace
}  // namespace quillet
