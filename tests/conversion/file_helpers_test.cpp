// Path and file helpers: base names, whole-file reads and writes that never
// create or half-write a file, the existence test, the work folder's slide pictures.
#include "conversion/file_helpers.h"

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "test_support.h"

namespace quillet {
namespace {

using testing::AllNames;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

struct BaseNameCase {
  const char* path;
  const char* baseName;
};

class GetBaseNameTest : public ::testing::TestWithParam<BaseNameCase> {};

TEST_P(GetBaseNameTest, DropsFolderAndLastExtension) { EXPECT_EQ(GetBaseName(GetParam().path), GetParam().baseName); }

INSTANTIATE_TEST_SUITE_P(Paths, GetBaseNameTest,
                         ::testing::Values(BaseNameCase{"talks/intro.ppt", "intro"}, BaseNameCase{"intro.ppt", "intro"},
                                           BaseNameCase{"/home/me/a.b.ppt", "a.b"}, BaseNameCase{"decks/.ppt", ""},
                                           // no "." in the file name: the whole name
                                           BaseNameCase{"notes", "notes"}, BaseNameCase{"my.dir/notes", "notes"},
                                           BaseNameCase{"/a/b/my talk é.pptx", "my talk é"}, BaseNameCase{"", ""}));

TEST(ReadTextFileTest, MissingFileGivesEmptyTextAndCreatesNothing) {
  ScratchFolder folder;
  bool failed = false;
  EXPECT_EQ(ReadTextFile((folder / "qzp.html").string(), &failed), "");
  EXPECT_TRUE(failed);
  EXPECT_TRUE(AllNames(folder.Path()).empty());
}

TEST(ReadTextFileTest, ReturnsEveryByteAndNothingMore) {
  ScratchFolder folder;
  const std::string bytes = std::string("caf\xc3\xa9\r\n\0tail", 12);
  WriteBytes(folder / "page.html", bytes);
  bool failed = true;
  EXPECT_EQ(ReadTextFile((folder / "page.html").string(), &failed), bytes);
  EXPECT_FALSE(failed);
}

TEST(ReadTextFileTest, EmptyFileIsReadNotFailed) {
  ScratchFolder folder;
  WriteBytes(folder / "empty.html", "");
  bool failed = true;
  EXPECT_EQ(ReadTextFile((folder / "empty.html").string(), &failed), "");
  EXPECT_FALSE(failed);
}

TEST(ReadTextFileTest, FolderIsAFailure) {
  ScratchFolder folder;
  bool failed = false;
  EXPECT_EQ(ReadTextFile(folder.Path().string(), &failed), "");
  EXPECT_TRUE(failed);
}

TEST(CheckFileTest, AnswersForFilesFoldersAndMissingEntries) {
  ScratchFolder folder;
  WriteBytes(folder / "deck.ppt", "x");
  EXPECT_TRUE(CheckFile((folder / "deck.ppt").string()).exists);
  EXPECT_TRUE(CheckFile(folder.Path().string()).exists);
  EXPECT_FALSE(CheckFile((folder / "other.ppt").string()).exists);
  const FileCheck missing = CheckFile((folder / "missing" / "deck.ppt").string());
  EXPECT_FALSE(missing.exists);
  EXPECT_EQ(missing.errorNumber, 0);
  const FileCheck inside = CheckFile((folder / "deck.ppt" / "inside").string());  // not a folder: quiet too
  EXPECT_FALSE(inside.exists);
  EXPECT_EQ(inside.errorNumber, 0);
}

TEST(CheckFileTest, UnexpectedFailureCarriesItsNumberAndText) {
  ScratchFolder folder;
  std::filesystem::create_symlink("loop", folder / "loop");
  const FileCheck check = CheckFile((folder / "loop").string());
  EXPECT_FALSE(check.exists);
  EXPECT_EQ(check.errorNumber, ELOOP);
  EXPECT_EQ(FileErrorMessage(check), "Error Number: " + std::to_string(ELOOP) + "\n\r " + std::strerror(ELOOP));
}

// Only the pictures a conversion writes are listed: a user's files, even
// ones that look alike, are not Quillet's.
TEST(ListSlidePicturesTest, OnlySlidePicturesInByteOrder) {
  ScratchFolder folder;
  for (const char* name : {"Slide2.jpg", "Slide10.jpg", "Slide1.jpg", ".lock", "a.jpg", "Slide.jpg", "Slide3.jpeg",
                           "Slide4.jpg.txt", "Slide1a.jpg", "slide5.jpg"}) {
    WriteBytes(folder / name, "x");
  }
  std::filesystem::create_directory(folder / "Slide6.jpg");
  EXPECT_EQ(ListSlidePictures(folder.Path()), (std::vector<std::string>{"Slide1.jpg", "Slide10.jpg", "Slide2.jpg"}));
  EXPECT_THROW(ListSlidePictures(folder / "missing"), Error);
}

// Names from older disks (Windows-1252, Latin-1) become UTF-8; UTF-8 stays.
TEST(NameAsUtf8Test, ReadsOtherNamesAsWindows1252) {
  EXPECT_EQ(NameAsUtf8("r\xE9sum\xE9"), "r\u00E9sum\u00E9");
  EXPECT_EQ(NameAsUtf8("\x93talk\x94 \x80"), "\u201Ctalk\u201D \u20AC");
  EXPECT_EQ(NameAsUtf8("caf\u00E9 \u4E2D"), "caf\u00E9 \u4E2D");
  EXPECT_EQ(NameAsUtf8("\xC3"), "\u00C3");  // a cut-off sequence is not UTF-8
}

}  // namespace
}  // namespace quillet
