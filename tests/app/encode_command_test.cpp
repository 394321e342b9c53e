// `quillet encode` run as a program: defaults, options, input formats, and
// one-line errors with a non-zero exit for bad arguments and bad input.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/large_buffer.h"
#include "platform/picture_file.h"
#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using Access = cJpegTestAccess;

using CommandResult = testing::CommandRun;
using testing::Quote;

CommandResult Encode(const fs::path& folder, const std::vector<std::string>& arguments,
                     const std::string& prefix = "") {
  std::string command = prefix + Quote(QUILLET_BINARY) + " encode";
  for (const std::string& argument : arguments) {
    command += ' ';
    command += Quote(argument);
  }
  return testing::RunShell(command, folder);
}

void WritePpm(const fs::path& path, const Surface& picture) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << picture.Width() << " " << picture.Height() << "\n255\n";
  out.write(reinterpret_cast<const char*>(picture.Bytes().data()),
            static_cast<std::streamsize>(picture.Bytes().size()));
}

std::vector<std::uint8_t> Expected(const Surface& picture, std::int32_t quality, const std::int32_t (&f)[6],
                                   const std::string& comment) {
  cJpeg j;
  j.Quality(quality);
  j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
  j.Comment(comment);
  j.SampleHDC(picture, picture.Width(), picture.Height(), 0, 0);
  return Access::BuildStream(j);
}

class EncodeCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::make_unique<test::ScratchFolder>(std::string("encode-") + info->name());
    input_ = folder_->Path() / "in.ppm";
    WritePpm(input_, picture_);
  }
  fs::path Out(const std::string& name = "out.jpg") const { return folder_->Path() / name; }

  Surface picture_ = test::SlidePicture(37, 21);
  std::unique_ptr<test::ScratchFolder> folder_;
  fs::path input_;
};

TEST_F(EncodeCommand, DefaultsAreQuality75AndTwoByTwoLuminance) {
  const CommandResult run = Encode(folder_->Path(), {input_.string(), Out().string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(test::ReadFile(Out()), Expected(picture_, 75, {2, 2, 1, 1, 1, 1}, ""));
}

struct OptionCase {
  std::vector<std::string> options;
  std::int32_t quality;
  std::int32_t factors[6];
  std::string comment;
};

TEST_F(EncodeCommand, OptionsReachTheEncoder) {
  const OptionCase cases[] = {
      {{"--quality", "100"}, 100, {2, 2, 1, 1, 1, 1}, ""},
      {{"--quality=1"}, 1, {2, 2, 1, 1, 1, 1}, ""},
      {{"--sampling", "1x1,1x1,1x1"}, 75, {1, 1, 1, 1, 1, 1}, ""},
      {{"--sampling=4x4,1x1,1x1", "--quality", "90"}, 90, {4, 4, 1, 1, 1, 1}, ""},
      {{"--grey"}, 75, {1, 1, 0, 0, 0, 0}, ""},
      {{"--comment", "Quillet slide 3"}, 75, {2, 2, 1, 1, 1, 1}, "Quillet slide 3"},
  };
  for (const OptionCase& c : cases) {
    std::vector<std::string> arguments = {input_.string(), Out().string()};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const CommandResult run = Encode(folder_->Path(), arguments);
    EXPECT_EQ(run.exitCode, 0) << c.options[0] << ": " << run.err;
    EXPECT_EQ(test::ReadFile(Out()), Expected(picture_, c.quality, c.factors, c.comment)) << c.options[0];
  }
}

TEST_F(EncodeCommand, ReadsPgmAndJpeg) {
  // A JPEG input: what the encoder gets is what libjpeg-turbo decodes.
  const fs::path jpeg = folder_->Path() / "in.jpg";
  WriteJpeg(picture_, jpeg, 95);
  CommandResult run = Encode(folder_->Path(), {jpeg.string(), Out().string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(test::ReadFile(Out()), Expected(LoadPicture(jpeg), 75, {2, 2, 1, 1, 1, 1}, ""));

  const fs::path pgm = folder_->Path() / "in.pgm";
  {
    std::ofstream out(pgm, std::ios::binary);
    out << "P5 3 2 255\n";
    out.write("\x10\x20\x30\x40\x50\x60", 6);
  }
  run = Encode(folder_->Path(), {pgm.string(), Out().string(), "--grey"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(test::ReadFile(Out()), Expected(LoadPicture(pgm), 75, {1, 1, 0, 0, 0, 0}, ""));
}

struct BadCall {
  std::vector<std::string> arguments;  // "IN" and "OUT" stand for the test's files
  int exitCode;
  std::string message;  // part of the one line on stderr
};

TEST_F(EncodeCommand, BadCallsGiveOneLineAndNonZeroExit) {
  test::WriteFile(folder_->Path() / "text.txt", {'h', 'i'});
  const BadCall cases[] = {
      {{}, 2, "IN and OUT are required"},
      {{"IN"}, 2, "IN and OUT are required"},
      {{"IN", "OUT", "extra"}, 2, "too many arguments"},
      {{"IN", "OUT", "--quality", "0"}, 2, "quality must be a whole number from 1 to 100, not '0'"},
      {{"IN", "OUT", "--quality", "101"}, 2, "quality must be a whole number from 1 to 100, not '101'"},
      {{"IN", "OUT", "--quality", "high"}, 2, "quality must be a whole number from 1 to 100"},
      {{"IN", "OUT", "--quality"}, 2, "--quality needs a value"},
      {{"IN", "OUT", "--sampling", "2x2"}, 2, "sampling must look like 2x2,1x1,1x1"},
      {{"IN", "OUT", "--sampling", "2x2,1x1,1"}, 2, "sampling must look like 2x2,1x1,1x1"},
      {{"IN", "OUT", "--sampling", "5x1,1x1,1x1"}, 1, "Invalid Sampling Value"},
      {{"IN", "OUT", "--sampling", "2x2,1x1,1x1", "--grey"}, 2, "--grey and --sampling exclude each other"},
      {{"IN", "OUT", "--fast"}, 2, "unknown option '--fast'"},
      {{"IN", "OUT", "--comment", std::string(65534, 'c')}, 1, "Illegal Comment Length"},
      {{"missing.ppm", "OUT"}, 1, "no such file"},
      {{"text.txt", "OUT"}, 1, "unsupported format"},
      {{"IN", "no-such-folder/out.jpg"}, 1, "cannot write"},
  };
  for (const BadCall& c : cases) {
    std::vector<std::string> arguments;
    for (const std::string& argument : c.arguments) {
      if (argument == "IN")
        arguments.push_back(input_.string());
      else if (argument == "OUT")
        arguments.push_back(Out().string());
      else if (argument == "missing.ppm" || argument == "text.txt" || argument == "no-such-folder/out.jpg")
        arguments.push_back((folder_->Path() / argument).string());
      else
        arguments.push_back(argument);
    }
    const std::string label = c.arguments.empty() ? "(none)" : c.arguments.back().substr(0, 20);
    test::WriteFile(Out(), {'o', 'l', 'd'});
    const CommandResult run = Encode(folder_->Path(), arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << label;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << label << ": " << run.err;
    EXPECT_EQ(run.err.rfind("quillet encode: ", 0), 0u) << label << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << label << ": " << run.err;
    EXPECT_EQ(run.out, "") << label;
    // The output is never touched by a failed call.
    EXPECT_EQ(test::ReadFile(Out()), (std::vector<std::uint8_t>{'o', 'l', 'd'})) << label;
  }
}

// Files a hostile user hands over: each is refused with one line naming it
// and the reason, and none hangs (the FIFO has no writer) or runs out of
// memory (the sparse files are 100 GB).
TEST_F(EncodeCommand, RefusesHostileFilesNamingThem) {
  const fs::path fifo = folder_->Path() / "fifo.ppm";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path zeros = folder_->Path() / "zeros.ppm";
  const fs::path jpeg = folder_->Path() / "huge.jpg";
  test::WriteFile(zeros, {});
  test::WriteFile(jpeg, {0xFF, 0xD8, 0xFF, 0xE0});
  for (const fs::path& sparse : {zeros, jpeg}) fs::resize_file(sparse, std::uintmax_t{100} << 30);
  const std::pair<fs::path, std::string> cases[] = {
      {fifo, "it is a FIFO, not a regular file"},
      {zeros, "unsupported format"},
      {jpeg, "the file is too large for a JPEG picture"},
  };
  for (const auto& [path, reason] : cases) {
    const CommandResult run = Encode(folder_->Path(), {path.string(), Out().string()}, "timeout 10 ");
    EXPECT_EQ(run.exitCode, 1) << path;
    EXPECT_EQ(run.err.rfind("quillet encode: cannot read picture '" + path.string() + "': " + reason, 0), 0u)
        << run.err;
    EXPECT_FALSE(fs::exists(Out())) << path;
  }
}

// A header is checked before the pixels are read, and only the pixels it
// promises are read: neither file below costs more than a few megabytes,
// though each is 1 GiB long (sparse, so cheap on disk).
TEST_F(EncodeCommand, ReadsOnlyWhatTheHeaderPromises) {
#ifdef QUILLET_ADDRESS_SANITIZER
  GTEST_SKIP() << "the sanitizers' own memory hides the reader's";
#endif
  constexpr std::uintmax_t kFileBytes = std::uintmax_t{1} << 30;
  const fs::path huge = folder_->Path() / "huge.ppm";
  std::ofstream(huge, std::ios::binary) << "P6 30000 30000 255\n";
  fs::resize_file(huge, kFileBytes);
  CommandResult run = Encode(folder_->Path(), {huge.string(), Out().string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("the picture is too large (30000 x 30000 pixels)"), std::string::npos) << run.err;

  // Rows of 3000 bytes: the reader takes them in several bands.
  const Surface wide = test::SlidePicture(1000, 800);
  const fs::path padded = folder_->Path() / "padded.ppm";
  WritePpm(padded, wide);
  fs::resize_file(padded, kFileBytes);
  run = Encode(folder_->Path(), {padded.string(), Out().string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(test::ReadFile(Out()), Expected(wide, 75, {2, 2, 1, 1, 1, 1}, ""));

  // The peak of every child this test process has waited for, quillet
  // included; a whole-file read would pass 1 GiB.
  rusage usage{};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, 64L * 1024) << "KiB";
}

TEST_F(EncodeCommand, HelpDescribesTheCommand) {
  for (const char* flag : {"--help", "-h"}) {
    const CommandResult run = Encode(folder_->Path(), {flag});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("Usage: quillet encode IN OUT", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("--quality N"), std::string::npos);
    EXPECT_NE(run.out.find("--grey"), std::string::npos);
  }
}

}  // namespace
}  // namespace quillet
