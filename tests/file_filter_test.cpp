// The file filter: what it is asked, in what order, and what its answers do,
// the same on one thread and on several.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using ravelin_test::ReadFile;
using ravelin_test::TempDir;

namespace {

// Writes down every call; leaves out directories named "skip", files
// named "*.skip", files whose bytes start with "NOPE" (SearchBytes, which
// may run on any thread, and so writes nothing down) and files whose bytes
// hold a NUL (SearchFile).
class Recorder : public RegularExpression::FileFilter {
 public:
  std::vector<std::string> calls;
  int depth = 0;
  bool stopAtFirstDone = false;

  bool EnterDirectory(const std::string& name) override {
    const bool take = name.size() < 4 || name.compare(name.size() - 4, 4, "skip") != 0;
    calls.push_back("enter " + name + (take ? "" : " (no)"));
    if (take) ++depth;
    return take;
  }
  void LeaveDirectory(const std::string& name) override {
    calls.push_back("leave " + name);
    --depth;
  }
  bool TakeFile(const std::string& name) override {
    const bool take = name.find(".skip") == std::string::npos;
    calls.push_back("take " + name + (take ? "" : " (no)"));
    return take;
  }
  bool SearchBytes(const char* first, const char* last) const override {
    return std::string(first, last).rfind("NOPE", 0) != 0;
  }
  bool SearchFile(const std::string& name, const char* first, const char* last) override {
    const bool binary = std::string(first, last).find('\0') != std::string::npos;
    calls.push_back("search " + name + (binary ? " (no)" : ""));
    return !binary;
  }
  bool FileDone(const std::string& name, const char* first, const char* last, unsigned matches) override {
    calls.push_back("done " + name + " " + std::to_string(matches) + " [" + std::string(first, last) + "]");
    return !stopAtFirstDone;
  }
  void SearchStopped(const std::string& name, const std::string& reason) override {
    calls.push_back("stopped " + name + (reason.empty() ? " (no reason)" : ""));
  }
  void FileChanged(const std::string& name, RegularExpression::ChangeOutcome outcome,
                   const RegularExpression::FileChangeProblem* problem, unsigned long replacements) override {
    calls.push_back("changed " + name + " " + std::to_string(static_cast<int>(outcome)) + " " +
                    (problem == nullptr ? "-" : std::to_string(problem->problem)) + " " + std::to_string(replacements));
  }
};

std::vector<std::string>* events;
void OnGrep(RegularExpression&, std::string file, const REMatchInfo& m, unsigned line, bool&) {
  events->push_back("match " + file + ":" + std::to_string(line) + ":" + m[0].text);
}
void OnFind(RegularExpression&, std::string file, bool&) { events->push_back("found " + file); }

struct WalkRecord {
  std::vector<std::string> walk;     // enter, leave, take
  std::vector<std::string> results;  // search, done, and the handlers' calls
  unsigned count = 0;
  bool operator==(const WalkRecord& o) const { return walk == o.walk && results == o.results && count == o.count; }
};

// The filter's calls of one walk split in two sequences: those of the
// listing and those of the results, each in walk order whatever the
// threads (with threads the two interleave differently).
WalkRecord Walk(const std::string& tree, bool grep, unsigned threads, bool stop = false) {
  Recorder filter;
  filter.stopAtFirstDone = stop;
  std::vector<std::string> handlerCalls;
  events = &filter.calls;
  RegularExpression re;
  re.SetExpression("x+");
  re.SetFilesToMatch(tree);
  re.SetDirectoryRecursion(true);
  re.SetFileThreads(threads);
  re.SetFileFilter(&filter);
  re.SetOnGreppingFiles(&OnGrep);
  re.SetOnFindFiles(&OnFind);
  WalkRecord run;
  run.count = grep ? re.GrepFiles() : re.FindFiles();
  EXPECT_EQ(re.GetFileFilter(), &filter);
  if (!stop) {
    EXPECT_EQ(filter.depth, 0) << "every directory entered is left";
  }
  for (const std::string& c : filter.calls) {
    const bool listing = c.rfind("enter", 0) == 0 || c.rfind("leave", 0) == 0 || c.rfind("take", 0) == 0;
    (listing ? run.walk : run.results).push_back(c.substr(0, c.find(' ') + 1) + c.substr(c.find(tree) + tree.size()));
  }
  return run;
}

}  // namespace

TEST(FileFilter, ChoosesAndHearsInWalkOrderOnAnyNumberOfThreads) {
  TempDir dir;
  const std::string tree = dir.Join("t");
  dir.Write("t/a.txt", "x xx\n");
  dir.Write("t/b.skip", "xxx\n");
  dir.Write("t/c.bin", std::string("x\0x", 3));
  dir.Write("t/d.nope", "NOPE x\n");
  dir.Write("t/none.txt", "nothing\n");
  dir.Write("t/skip/d.txt", "x\n");
  dir.Write("t/sub/e.txt", "x\n");
  dir.Write("t/sub/deeper/f.txt", "xx\nx\n");
  for (int i = 0; i < 40; ++i) dir.Write("t/sub/many/" + std::to_string(100 + i) + ".txt", std::string(i % 3, 'x'));

  const WalkRecord grep = Walk(tree, true, 1);
  // The listing: a refused directory is neither walked nor left.
  const std::vector<std::string> head = {
      "take /a.txt",       "take /b.skip (no)",      "take /c.bin",      "take /d.nope",
      "take /none.txt",    "enter /skip (no)",       "enter /sub",       "take /sub/e.txt",
      "enter /sub/deeper", "take /sub/deeper/f.txt", "leave /sub/deeper"};
  ASSERT_GE(grep.walk.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(grep.walk.begin(), grep.walk.begin() + head.size()), head);
  EXPECT_EQ(grep.walk.back(), "leave /sub");
  // The results: a refused file reports nothing and is not done; a file
  // without a match is done with 0; done comes after the file's matches,
  // with its bytes.
  const std::vector<std::string> results = {"search /a.txt",
                                            "match /a.txt:1:x",
                                            "match /a.txt:1:xx",
                                            "done /a.txt 2 [x xx\n]",
                                            "search /c.bin (no)",
                                            "search /none.txt",
                                            "done /none.txt 0 [nothing\n]",
                                            "search /sub/e.txt",
                                            "match /sub/e.txt:1:x",
                                            "done /sub/e.txt 1 [x\n]"};
  ASSERT_GE(grep.results.size(), results.size());
  EXPECT_EQ(std::vector<std::string>(grep.results.begin(), grep.results.begin() + results.size()), results);
  EXPECT_EQ(grep.count, 2U + 1U + 2U + 26U);  // a, e, f, and many/ (i % 3 x's each)

  for (unsigned threads : {2U, 4U}) {
    EXPECT_EQ(Walk(tree, true, threads), grep) << threads << " threads";
    EXPECT_EQ(Walk(tree, false, threads), Walk(tree, false, 1)) << threads << " threads";
  }
  // False from FileDone ends the walk after the first file searched.
  const WalkRecord stopped = Walk(tree, false, 4, true);
  EXPECT_EQ(stopped.results, (std::vector<std::string>{"search /a.txt", "found /a.txt", "done /a.txt 1 [x xx\n]"}));
  EXPECT_EQ(stopped.count, 1U);
}

namespace {

// Refuses every file reached through a link; writes down what it is told.
class LinkRefuser : public RegularExpression::FileFilter {
 public:
  std::vector<std::string> told;
  bool TakeOpenedFile(const std::string& name, const FileFacts& facts) override {
    told.push_back(name.substr(name.rfind('/') + 1) + (facts.link ? " link " : " file ") + std::to_string(facts.links));
    return !facts.link;
  }
};

}  // namespace

TEST(FileFilter, HearsOfLinksAndHardLinksAndARefusedLinkLeavesItsFileToItsOwnName) {
  TempDir dir;
  dir.Write("t/b.txt", "x\n");
  dir.Write("t/c.txt", "x\n");
  ASSERT_EQ(symlink("b.txt", dir.Join("t/a.txt").c_str()), 0);  // met before its file
  ASSERT_EQ(link(dir.Join("t/c.txt").c_str(), dir.Join("t/d.txt").c_str()), 0);
  const std::vector<std::string> told = {"a.txt link 1", "b.txt file 1", "c.txt file 2"};
  for (unsigned threads : {1U, 4U}) {
    LinkRefuser filter;
    RegularExpression re;
    re.SetExpression("x");
    re.SetFilesToMatch(dir.Join("t"));
    re.SetFileThreads(threads);
    re.SetFileFilter(&filter);
    EXPECT_EQ(re.GrepFiles(), 2U) << threads << " threads";
    EXPECT_EQ(filter.told, told) << threads << " threads";
  }
  LinkRefuser filter;
  RegularExpression re;
  re.SetExpression("x");
  re.SetFormatString("y");
  re.SetFilesToMatch(dir.Join("t"));
  re.SetFileFilter(&filter);
  EXPECT_EQ(re.ChangeFiles(), 2U);
  EXPECT_EQ(filter.told, told);
  EXPECT_EQ(ReadFile(dir.Join("t/b.txt")), "y\n");
  struct stat st = {};
  ASSERT_EQ(lstat(dir.Join("t/a.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// A file the engine gives up on part-way is heard of between its matches
// and its FileDone, on any number of threads; ChangeFiles then tells that
// it left the file unchanged (SearchFailed, 8), whether or not a match came
// before.
TEST(FileFilter, HearsOfASearchTheEngineGaveUp) {
  TempDir dir;
  const std::string hard(3000, 'a');
  const std::string a = dir.Write("t/a.txt", "ab\n" + hard + "\nab\n");
  const std::string b = dir.Write("t/b.txt", hard + "\nab\n");
  enum Operation { kGrep, kFind, kChange };
  const struct {
    Operation operation;
    std::vector<std::string> want;
    std::size_t skipped;
  } cases[] = {
      {kGrep,
       {"search " + a, "match " + a + ":1:ab", "stopped " + a, "done " + a + " 1 ", "search " + b, "stopped " + b,
        "done " + b + " 0 "},
       2},
      {kFind,
       {"search " + a, "found " + a, "done " + a + " 1 ", "search " + b, "stopped " + b, "done " + b + " 0 "},
       1},
      {kChange,
       {"search " + a, "stopped " + a, "changed " + a + " 2 8 0", "done " + a + " 1 ", "search " + b, "stopped " + b,
        "changed " + b + " 2 8 0", "done " + b + " 0 "},
       2},
  };
  for (const auto& c : cases) {
    for (unsigned threads : {1U, 3U}) {
      Recorder filter;
      events = &filter.calls;
      RegularExpression re;
      re.SetExpression("(a*)*b");
      re.SetFormatString("X");
      re.SetFilesToMatch(dir.Join("t"));
      re.SetFileThreads(threads);
      re.SetFileFilter(&filter);
      re.SetOnGreppingFiles(&OnGrep);
      re.SetOnFindFiles(&OnFind);
      c.operation == kGrep ? re.GrepFiles() : c.operation == kFind ? re.FindFiles() : re.ChangeFiles();
      std::vector<std::string> results;
      for (const std::string& call : filter.calls)
        if (call.rfind("take", 0) != 0) results.push_back(call.substr(0, call.find('[')));
      EXPECT_EQ(results, c.want) << c.operation << ", " << threads << " threads";
      ASSERT_EQ(re.GetSkippedFiles().size(), c.skipped);
    }
  }
  EXPECT_EQ(ReadFile(a), "ab\n" + hard + "\nab\n");
}
