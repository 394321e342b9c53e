// quillet convert over an archive, as schedulers run it: a list of decks in
// (--files-from, --null), a share per task (--shard) run as separate
// processes, a JSON-lines report out (--report), and the recipes of
// docs/archives.md run as they are written. PDF decks keep LibreOffice out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace quillet {
namespace {

using nlohmann::json;
using testing::AllNames;
using testing::CommandRun;
using testing::MakePdf;
using testing::PdfPage;
using testing::Quote;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

// Every line of a report, each parsed (a line that is not JSON fails the test).
std::vector<json> ReportLines(const std::filesystem::path& report) {
  std::vector<json> lines;
  const std::string text = ReadBytes(report);
  EXPECT_FALSE(text.empty()) << report;
  EXPECT_TRUE(text.empty() || text.back() == '\n') << report;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    EXPECT_TRUE(json::accept(line)) << line;
    lines.push_back(json::parse(line, nullptr, false));
  }
  return lines;
}

// The decks each report names, by report.
std::set<std::string> ReportedDecks(const std::vector<json>& lines) {
  std::set<std::string> decks;
  for (const json& line : lines) {
    if (line.contains("deck")) {
      EXPECT_TRUE(decks.insert(line["deck"].get<std::string>()).second) << line;
    }
  }
  return decks;
}

// The files of `folder` but the reports, by name, with their bytes.
std::map<std::string, std::string> Outputs(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : AllNames(folder)) {
    if (name.find(".jsonl") == std::string::npos) files[name] = ReadBytes(folder / name);
  }
  return files;
}

// The fenced block that follows "<!-- tested: NAME -->" in docs/archives.md.
std::string DocBlock(const std::string& name) {
  const std::string doc = ReadBytes(std::filesystem::path(QUILLET_DOCS) / "archives.md");
  const std::size_t marker = doc.find("<!-- tested: " + name + " -->");
  EXPECT_NE(marker, std::string::npos) << name;
  if (marker == std::string::npos) return "";
  const std::size_t start = doc.find('\n', doc.find("```", marker)) + 1;
  return doc.substr(start, doc.find("\n```", start) - start + 1);
}

class ArchivesTest : public ::testing::Test {
 protected:
  // Runs `command` through bash in the decks' folder, quillet first on PATH.
  CommandRun Shell(const std::string& command) {
    const std::string bin = std::filesystem::path(QUILLET_BINARY).parent_path().string();
    return testing::RunShell(
        "cd " + Quote(decks_.Path().string()) + " && PATH=" + Quote(bin) + ":\"$PATH\" bash -c " + Quote(command),
        scratch_.Path());
  }

  // A PDF deck of `pages` pages at `name` under the decks' folder.
  void Deck(const std::string& name, int pages, int colour = 0) {
    std::vector<PdfPage> list;
    for (int i = 0; i < pages; ++i) list.push_back(PdfPage{720, 540, testing::PageColour(colour + i)});
    std::filesystem::create_directories((decks_ / name).parent_path());
    WriteBytes(decks_ / name, MakePdf(list));
  }

  // Nine small decks, some in folders, and their names in the list's order.
  std::vector<std::string> NineDecks() {
    std::vector<std::string> names = {"zeta.pdf",       "talks/intro.pdf", "Alpha.pdf", "talks/b.pdf", "c.pdf",
                                      "old/2019 q.pdf", "d.pdf",           "e.pdf",     "talks/f.pdf"};
    for (std::size_t i = 0; i < names.size(); ++i) Deck(names[i], static_cast<int>(i % 3) + 1, static_cast<int>(i));
    return names;
  }

  ScratchFolder scratch_;
  ScratchFolder decks_;
};

std::string Lines(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  return text;
}

// Three shares as three processes at once: each deck converted by exactly
// one of them, and the outputs together the same bytes as one batch of all
// nine. The list in another order gives every share the same decks again.
TEST_F(ArchivesTest, SharesConvertEachDeckOnceAndMatchOneBatch) {
  std::vector<std::string> names = NineDecks();
  WriteBytes(decks_ / "list.txt", Lines(names));
  const CommandRun batch = Shell("quillet convert --files-from list.txt -o batch --quiet");
  ASSERT_EQ(batch.exitCode, 0) << batch.err;
  const std::map<std::string, std::string> expected = Outputs(decks_ / "batch");
  ASSERT_EQ(expected.size(), 27u);

  const CommandRun shards = Shell(
      "for i in 1 2 3; do quillet convert --files-from list.txt --shard $i/3 -o shards --report shards/r$i.jsonl "
      "--quiet & done; for i in 1 2 3; do wait -n || exit 1; done");
  ASSERT_EQ(shards.exitCode, 0) << shards.err;
  EXPECT_EQ(Outputs(decks_ / "shards"), expected);
  std::vector<std::set<std::string>> shares;
  std::set<std::string> all;
  for (int i = 1; i <= 3; ++i) {
    const std::string share = std::to_string(i);
    const std::vector<json> lines = ReportLines(decks_ / "shards" / ("r" + share + ".jsonl"));
    shares.push_back(ReportedDecks(lines));
    EXPECT_EQ(lines.size(), 3u);  // the shares are even
    for (const json& line : lines) {
      EXPECT_EQ(line["outcome"], "converted") << line;
      EXPECT_EQ(line["shard"], share + "/3");
      EXPECT_TRUE(all.insert(line["deck"].get<std::string>()).second) << "converted twice: " << line;
      const std::string movie = line["movie"].get<std::string>();
      EXPECT_EQ(line["movie_bytes"], std::filesystem::file_size(decks_ / movie)) << line;
      const std::size_t index = std::find(names.begin(), names.end(), line["deck"]) - names.begin();
      EXPECT_EQ(line["slides"], static_cast<int>(index % 3) + 1) << line;
    }
  }
  EXPECT_EQ(all, std::set<std::string>(names.begin(), names.end()));
  // Sorted bytewise ("Alpha" before "c", "old/" before "talks/"), dealt in turn.
  EXPECT_EQ(shares[0], (std::set<std::string>{"Alpha.pdf", "e.pdf", "talks/f.pdf"}));

  std::reverse(names.begin(), names.end());
  WriteBytes(decks_ / "list.txt", Lines(names));
  for (int i = 1; i <= 3; ++i) {
    const std::string share = std::to_string(i);
    const CommandRun run = Shell("quillet convert --files-from list.txt --shard " + share + "/3 -o again --report r" +
                                 share + ".jsonl --quiet");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReportedDecks(ReportLines(decks_ / ("r" + share + ".jsonl"))), shares[i - 1]);
  }
  EXPECT_EQ(Outputs(decks_ / "again"), expected);
}

// The report: one JSON line for each deck of the share, failures with their
// cause and message, a name taken across shares refused once, by the share
// of the deck refused; an earlier report stays until the new one is whole.
TEST_F(ArchivesTest, ReportTellsWhatBecameOfEachDeck) {
  Deck("a.pdf", 2);
  Deck("sub/a.pdf", 1);
  WriteBytes(decks_ / "broken.pdf", "not a pdf");
  WriteBytes(decks_ / "list.txt", "sub/a.pdf\ngone.pdf\nbroken.pdf\na.pdf\n");
  std::filesystem::create_directory(decks_ / "out");
  WriteBytes(decks_ / "out" / "r1.jsonl", "an earlier report\n");
  std::map<std::string, json> byDeck;
  for (const char* share : {"1", "2"}) {
    const CommandRun run = Shell(std::string("quillet convert --files-from list.txt -o out --shard ") + share +
                                 "/2 --report out/r" + share + ".jsonl");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    for (const json& line : ReportLines(decks_ / "out" / (std::string("r") + share + ".jsonl"))) {
      EXPECT_TRUE(byDeck.emplace(line["deck"].get<std::string>(), line).second) << line;
      EXPECT_EQ(line["shard"], std::string(share) + "/2");
      EXPECT_NE(run.err.find(line["outcome"] == "failed" ? line["message"].get<std::string>() : "1 failed."),
                std::string::npos)
          << run.err;
    }
  }
  ASSERT_EQ(byDeck.size(), 4u);
  const json& a = byDeck["a.pdf"];
  EXPECT_EQ(a["outcome"], "converted");
  EXPECT_EQ(a["page"], "out/a.html");
  EXPECT_EQ(a["script"], "out/a.swf.js");
  EXPECT_TRUE(a["package"].is_null());
  EXPECT_EQ(a["slides"], 2);
  EXPECT_EQ(a["movie_bytes"], std::filesystem::file_size(decks_ / "out/a.swf"));
  EXPECT_TRUE(a["seconds"].is_number() && a["seconds"].get<double>() > 0) << a;
  EXPECT_TRUE(a["cause"].is_null() && a["message"].is_null()) << a;
  EXPECT_EQ(byDeck["broken.pdf"]["cause"], "other");
  EXPECT_NE(byDeck["broken.pdf"]["message"].get<std::string>().find("broken.pdf"), std::string::npos);
  EXPECT_TRUE(byDeck["broken.pdf"]["movie"].is_null());
  EXPECT_EQ(byDeck["gone.pdf"]["message"], "cannot find the presentation gone.pdf");
  EXPECT_EQ(byDeck["sub/a.pdf"]["cause"], "name_taken");
  EXPECT_EQ(byDeck["sub/a.pdf"]["shard"], "2/2");
  EXPECT_EQ(byDeck["sub/a.pdf"]["message"],
            "cannot convert sub/a.pdf: a.pdf (share 1/2) is converted to out/a.swf already");
  // No temporary file is left beside the reports.
  EXPECT_EQ(AllNames(decks_ / "out"),
            (std::vector<std::string>{"a.html", "a.swf", "a.swf.js", "r1.jsonl", "r2.jsonl"}));
}

// SIGINT while LibreOffice prints: the report is put in place with what it
// has and a last line saying the run was interrupted.
TEST_F(ArchivesTest, InterruptedRunLeavesItsReportSayingSo) {
  const std::filesystem::path bin = scratch_ / "bin";
  std::filesystem::create_directory(bin);
  WriteBytes(bin / "soffice", "#!/bin/sh\necho $$ > '" + (scratch_ / "soffice.pid").string() + "'\nsleep 30\n");
  std::filesystem::permissions(bin / "soffice", std::filesystem::perms::owner_all);
  WriteBytes(decks_ / "talk.ppt", "a deck");
  WriteBytes(decks_ / "list.txt", "talk.ppt\ngone.pdf\n");
  const CommandRun run = Shell("PATH=" + Quote(bin.string()) +
                               ":$PATH quillet convert --files-from list.txt -o out --report out/r.jsonl & q=$!\n"
                               "while [ ! -s " +
                               Quote((scratch_ / "soffice.pid").string()) +
                               " ]; do sleep 0.05; done\n"
                               "kill -INT $q; wait $q");
  EXPECT_EQ(run.exitCode, 130) << run.err;
  const std::vector<json> lines = ReportLines(decks_ / "out/r.jsonl");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["deck"], "gone.pdf");  // refused before LibreOffice started
  EXPECT_EQ(lines[0]["outcome"], "failed");
  EXPECT_EQ(lines[1], json::parse(R"({"outcome":"interrupted","shard":"1/1","message":"The conversion was cancelled.",
                                      "decks_reported":1,"decks_in_share":2})"));
  EXPECT_EQ(AllNames(decks_ / "out"), std::vector<std::string>{"r.jsonl"});
}

// A list on standard input, NUL-separated, with names holding spaces and new
// lines; a list of lines skips blank ones and drops a line's carriage
// return; a deck listed twice is converted once; what cannot be a list or a
// share is a usage error.
TEST_F(ArchivesTest, ListsAndSharesAreReadAsWritten) {
  Deck("my talk.pdf", 1);
  Deck("two\nlines.pdf", 2);
  Deck("folder with space/last one.pdf", 1);
  const CommandRun nul = Shell(
      "find . -name '*.pdf' -print0 | quillet convert --files-from - --null -o out --quiet "
      "--report r.jsonl");
  EXPECT_EQ(nul.exitCode, 0) << nul.err;
  EXPECT_EQ(ReportedDecks(ReportLines(decks_ / "r.jsonl")),
            (std::set<std::string>{"./my talk.pdf", "./two\nlines.pdf", "./folder with space/last one.pdf"}));
  EXPECT_EQ(AllNames(decks_ / "out").size(), 9u);
  EXPECT_EQ(testing::ReadSwf(ReadBytes(decks_ / "out/two\nlines.swf")).frameCount, 2);

  WriteBytes(decks_ / "list.txt", "my talk.pdf\r\n\n  \t\nfolder with space/last one.pdf");
  const CommandRun lines = Shell("quillet convert --files-from list.txt -o lines");
  EXPECT_EQ(lines.exitCode, 0) << lines.err;
  EXPECT_EQ(lines.out.substr(lines.out.rfind('\n', lines.out.size() - 2) + 1), "2 of 2 decks converted, 0 failed.\n");

  WriteBytes(decks_ / "twice.txt", "my talk.pdf\nmy talk.pdf\n");
  const CommandRun twice = Shell("quillet convert --files-from twice.txt --shard 2/2 -o twice");
  EXPECT_EQ(twice.exitCode, 1);
  EXPECT_NE(twice.err.find("cannot convert my talk.pdf twice: it is listed again, and share 1/2 converts it"),
            std::string::npos)
      << twice.err;

  WriteBytes(decks_ / "nul.txt", std::string("my talk.pdf\0", 12));
  WriteBytes(decks_ / "empty.txt", "\n\n");
  for (const auto& [arguments, message] : std::vector<std::pair<std::string, std::string>>{
           {"--shard 0/3", "--shard must be I/N"},
           {"--shard 4/3", "--shard must be I/N"},
           {"--shard 1/", "--shard must be I/N"},
           {"--shard 1/3x", "--shard must be I/N"},
           {"--null", "--null reads the list of --files-from"},
           {"--files-from nul.txt", "holds NUL bytes; give --null"},
           {"--files-from empty.txt", "names no presentation"},
           {"--files-from missing.txt", "cannot read the list of decks missing.txt"}}) {
    const CommandRun run = Shell("quillet convert -o bad " + arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(decks_ / "bad"));
}

// docs/archives.md's Slurm script (its body, with the array's variables set
// here as Slurm would), its Parallel line on this machine with 3 jobs, and
// its merge command on their reports.
TEST_F(ArchivesTest, TheRecipesRunAsWritten) {
  const std::vector<std::string> names = NineDecks();
  WriteBytes(decks_ / "decks.txt", Lines(names));
  WriteBytes(scratch_ / "slurm.sh", DocBlock("slurm"));
  for (int task = 1; task <= 3; ++task) {
    const CommandRun run = Shell("SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " SLURM_ARRAY_TASK_COUNT=3 bash " +
                                 Quote((scratch_ / "slurm.sh").string()));
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  std::filesystem::rename(decks_ / "out", decks_ / "slurm");
  const std::map<std::string, std::string> slurm = Outputs(decks_ / "slurm");
  EXPECT_EQ(slurm.size(), 27u);

  const CommandRun parallel = Shell("MACHINES=3/: SHARDS=3\n" + DocBlock("parallel"));
  ASSERT_EQ(parallel.exitCode, 0) << parallel.err;
  EXPECT_EQ(Outputs(decks_ / "out"), slurm);

  const CommandRun merged = Shell(DocBlock("merge"));
  ASSERT_EQ(merged.exitCode, 0) << merged.err;
  const json summary = json::parse(merged.out, nullptr, false);
  EXPECT_EQ(summary["decks"], 9) << merged.out;
  EXPECT_EQ(summary["converted"], 9);
  EXPECT_EQ(summary["failed"], json::array());
  EXPECT_EQ(summary["interrupted_shards"], json::array());
  EXPECT_EQ(summary["slides"], 18);  // 1 + 2 + 3 pages, three times
}

}  // namespace
}  // namespace quillet
