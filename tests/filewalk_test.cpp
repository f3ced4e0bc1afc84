// FindFiles and GrepFiles through the public interface: the walk's order and
// naming, the events and their go-on flag, hostile files and names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

using RegexClass::REMatch;
using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using ravelin_test::TempDir;

namespace {

// Records every file event of the object it is attached to.
struct Recorder {
  struct Hit {
    std::string file;
    REMatchInfo info;
    unsigned line;
  };
  std::vector<std::string> files;  // OnFindFiles
  std::vector<Hit> hits;           // OnGreppingFiles
  std::size_t stopAt = 0;          // clear goOn at this event (1-based); 0 = never
  RegularExpression* expected = nullptr;
  int strangers = 0;  // events raised for another object

  void OnFind(RegularExpression& re, std::string file, bool& goOn) {
    if (expected != nullptr && &re != expected) ++strangers;
    files.push_back(file);
    if (files.size() == stopAt) goOn = false;
  }
  void OnGrep(RegularExpression& re, std::string file, const REMatchInfo& info, unsigned line, bool& goOn) {
    if (expected != nullptr && &re != expected) ++strangers;
    hits.push_back(Hit{file, info, line});
    if (hits.size() == stopAt) goOn = false;
  }
  void Attach(RegularExpression& re) {
    expected = &re;
    re.SetOnFindFilesClosure(RegularExpression::OnFindFilesClosure(this, &Recorder::OnFind));
    re.SetOnGreppingFilesClosure(RegularExpression::OnGreppingFilesClosure(this, &Recorder::OnGrep));
  }
  std::vector<std::string> HitFiles() const {
    std::vector<std::string> out;
    for (const Hit& h : hits) out.push_back(h.file);
    return out;
  }
};

// Runs the rest of a scope in another working directory.
class ChangeDir {
 public:
  explicit ChangeDir(const std::string& dir) {
    char buf[4096];
    if (getcwd(buf, sizeof buf) != nullptr) old_ = buf;
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~ChangeDir() {
    if (!old_.empty() && chdir(old_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << old_;
  }

 private:
  std::string old_;
};

RegularExpression Prepared(const std::string& expression, const std::string& spec, bool recurse) {
  RegularExpression re;
  re.SetExpression(expression);
  re.SetFilesToMatch(spec);
  re.SetDirectoryRecursion(recurse);
  return re;
}

std::vector<std::string> Found(const std::string& expression, const std::string& spec, bool recurse) {
  RegularExpression re = Prepared(expression, spec, recurse);
  Recorder rec;
  rec.Attach(re);
  const unsigned n = re.FindFiles();
  EXPECT_EQ(n, rec.files.size());
  return rec.files;
}

// A tree with files, subdirectories, a hidden directory and mixed-case names.
class FileWalkTree : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("b.txt", "hit\n");
    dir_.Write("a.txt", "hit\n");
    dir_.Write("B.txt", "hit\n");
    dir_.Write("c.log", "hit\n");
    dir_.Write(".dot.txt", "hit\n");
    dir_.Write("z/a.txt", "hit\n");
    dir_.Write("z/y.log", "hit\n");
    dir_.Write("m/a.txt", "hit\n");
    dir_.Write("m/deep/er/a.txt", "hit\n");
    dir_.Write("m/deep/a.txt", "miss\n");
    dir_.Write(".hidden/a.txt", "hit\n");
  }
  std::string P(const std::string& name) const { return dir_.Join(name); }
  std::vector<std::string> Ps(std::vector<std::string> names) const {
    for (std::string& n : names) n = P(n);
    return names;
  }
  TempDir dir_;
};

}  // namespace

TEST(FileWalkInput, NothingStartsWithoutWhatItNeeds) {
  TempDir dir;
  dir.Write("a.txt", "abc\n");
  struct Case {
    const char* name;
    std::string expression;
    std::string spec;
  };
  const Case cases[] = {
      {"empty expression", "", dir.Join("a.txt")},
      {"empty file pattern", "abc", ""},
      {"rejected expression", "(abc", dir.Join("a.txt")},
      {"rejected expression, bad class", "[z-a]", dir.Join("a.txt")},
      {"missing file", "abc", dir.Join("nothing.txt")},
      {"missing directory", "abc", dir.Join("nowhere/*.txt")},
      {"wildcard naming nothing", "abc", dir.Join("*.none")},
  };
  for (const Case& c : cases) {
    for (bool recurse : {false, true}) {
      RegularExpression re = Prepared(c.expression, c.spec, recurse);
      Recorder rec;
      rec.Attach(re);
      EXPECT_EQ(re.FindFiles(), 0u) << c.name;
      EXPECT_EQ(re.GrepFiles(), 0u) << c.name;
      EXPECT_TRUE(rec.files.empty() && rec.hits.empty()) << c.name;
    }
  }
}

TEST(FileWalkInput, OnlyTextAndIcaseTakePart) {
  TempDir dir;
  dir.Write("a.txt", "abc\nABC\na.c\n");
  RegularExpression re = Prepared("a.c", dir.Join("a.txt"), false);
  // Literal or Basic syntax would change what a.c means; the walk ignores them.
  re.ClearExpressionOptions();
  re.AddExpressionOption(RegularExpression::Literal);
  EXPECT_EQ(re.GrepFiles(), 2u);  // abc, a.c
  re.ClearExpressionOptions();
  re.AddExpressionOption(RegularExpression::Basic);
  EXPECT_EQ(re.GrepFiles(), 2u);
  re.AddExpressionOption(RegularExpression::Icase);
  EXPECT_EQ(re.GrepFiles(), 3u);  // and ABC
  EXPECT_EQ(re.FindFiles(), 1u);
}

TEST(FileWalkInput, MatchOptionsTakePart) {
  TempDir dir;
  dir.Write("a.txt", "ab\nab\n");
  RegularExpression re = Prepared("^ab", dir.Join("a.txt"), false);
  EXPECT_EQ(re.GrepFiles(), 2u);
  re.AddMatchOption(RegularExpression::MatchNotBol);
  EXPECT_EQ(re.GrepFiles(), 1u);  // the file's first byte does not start a line
}

TEST(FindFiles, CountsFilesAndHonoursTheGoOnFlag) {
  TempDir dir;
  dir.Write("a.txt", "one needle\n");
  dir.Write("b.txt", "no\n");
  dir.Write("c.txt", "needle needle needle\n");
  dir.Write("d.txt", "needle\n");
  RegularExpression re = Prepared("needle", dir.Join("*.txt"), false);
  EXPECT_EQ(re.FindFiles(), 3u);  // no handler: every file with a match

  Recorder rec;
  rec.Attach(re);
  EXPECT_EQ(re.FindFiles(), 3u);
  EXPECT_EQ(rec.files, (std::vector<std::string>{dir.Join("a.txt"), dir.Join("c.txt"), dir.Join("d.txt")}));

  Recorder stopper;
  stopper.stopAt = 2;
  stopper.Attach(re);
  EXPECT_EQ(re.FindFiles(), 2u);  // stopped at the second file, which counts
  EXPECT_EQ(stopper.files.size(), 2u);
}

TEST(GrepFiles, ReportsEveryMatchWithMarksPositionsAndLines) {
  TempDir dir;
  dir.Write("a.txt", "x1 y\nxx2\n");
  dir.Write("b.txt", "x3");
  RegularExpression re = Prepared("x([0-9])|(y)", dir.Join("*.txt"), false);
  EXPECT_EQ(re.GrepFiles(), 4u);  // no handler: counted only

  Recorder rec;
  rec.Attach(re);
  ASSERT_EQ(re.GrepFiles(), 4u);
  ASSERT_EQ(rec.hits.size(), 4u);
  // One entry per mark, no prefix or suffix; a mark that took no part is ("", -1).
  const std::vector<std::vector<REMatch>> want = {
      {{"x1", 0}, {"1", 1}, {"", -1}},
      {{"y", 3}, {"", -1}, {"y", 3}},
      {{"x2", 6}, {"2", 7}, {"", -1}},
      {{"x3", 0}, {"3", 1}, {"", -1}},
  };
  const unsigned lines[] = {1, 1, 2, 1};
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(rec.hits[i].info.size(), want[i].size()) << i;
    for (std::size_t k = 0; k < want[i].size(); ++k) {
      EXPECT_EQ(rec.hits[i].info[k].text, want[i][k].text) << i << "/" << k;
      EXPECT_EQ(rec.hits[i].info[k].position, want[i][k].position) << i << "/" << k;
    }
    EXPECT_EQ(rec.hits[i].line, lines[i]) << i;
  }
  EXPECT_EQ(rec.HitFiles(),
            (std::vector<std::string>{dir.Join("a.txt"), dir.Join("a.txt"), dir.Join("a.txt"), dir.Join("b.txt")}));

  Recorder stopper;
  stopper.stopAt = 1;
  stopper.Attach(re);
  EXPECT_EQ(re.GrepFiles(), 1u);
  EXPECT_EQ(stopper.hits.size(), 1u);
}

TEST(GrepFiles, LinesAndEndsOfFiles) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string content;
    std::string expression;
    std::vector<std::pair<unsigned, std::int64_t>> lineAndPosition;
  };
  const Case cases[] = {
      {"no trailing newline, match on the last line", "a\nb\nlast", "last", {{3, 4}}},
      {"match on the last line before the final newline", "a\nlast\n", "last", {{2, 2}}},
      {"CRLF counted by newline bytes", "x\r\ny\r\ny", "y", {{2, 3}, {3, 6}}},
      {"match starting on a newline belongs to the line it ends", "ab\ncd", "b\nc", {{1, 1}}},
      {"binary with NUL bytes", std::string("ab\0c\0\nneedle\0", 13), "needle", {{2, 6}}},
      {"empty file: no match of a non-empty pattern", "", "x", {}},
      {"empty file is an empty buffer, not skipped", "", "\\A\\z", {{1, 0}}},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Write("case.txt", c.content);
    RegularExpression re = Prepared(c.expression, path, false);
    Recorder rec;
    rec.Attach(re);
    EXPECT_EQ(re.GrepFiles(), c.lineAndPosition.size()) << c.name;
    ASSERT_EQ(rec.hits.size(), c.lineAndPosition.size()) << c.name;
    for (std::size_t i = 0; i < rec.hits.size(); ++i) {
      EXPECT_EQ(rec.hits[i].line, c.lineAndPosition[i].first) << c.name;
      EXPECT_EQ(rec.hits[i].info[0].position, c.lineAndPosition[i].second) << c.name;
    }
  }
}

TEST(GrepFiles, LargeFileIsSearchedWhole) {
  // Above the walk's mapping threshold (a few MiB): the file is mapped.
  TempDir dir;
  const std::size_t lines = 600000;  // 8 bytes a line: 4.8 MB
  std::string content;
  content.reserve(lines * 8 + 16);
  for (std::size_t i = 0; i < lines; ++i) content += i == 1 || i == lines / 2 ? "needle.\n" : "hayhay.\n";
  content += "needle";  // no trailing newline
  const std::string path = dir.Write("big.txt", content);
  RegularExpression re = Prepared("needle", path, false);
  Recorder rec;
  rec.Attach(re);
  ASSERT_EQ(re.GrepFiles(), 3u);
  EXPECT_EQ(rec.hits[0].line, 2u);
  EXPECT_EQ(rec.hits[0].info[0].position, 8);
  EXPECT_EQ(rec.hits[1].line, lines / 2 + 1);
  EXPECT_EQ(rec.hits[1].info[0].position, static_cast<std::int64_t>(lines / 2 * 8));
  EXPECT_EQ(rec.hits[2].line, lines + 1);
  EXPECT_EQ(rec.hits[2].info[0].position, static_cast<std::int64_t>(lines * 8));
  EXPECT_EQ(re.FindFiles(), 1u);
}

TEST(GrepFiles, ManyMatchesInOneFile) {
  // Lines are counted from the previous match on, so this stays linear.
  TempDir dir;
  const unsigned count = 200000;
  std::string content;
  for (unsigned i = 0; i < count; ++i) content += "x\n";
  const std::string path = dir.Write("many.txt", content);
  RegularExpression re = Prepared("x", path, false);
  static unsigned seen;
  static bool inOrder;
  seen = 0;
  inOrder = true;
  re.SetOnGreppingFiles([](RegularExpression&, std::string, const REMatchInfo& m, unsigned line, bool&) {
    ++seen;
    if (line != seen || m[0].position != 2 * static_cast<std::int64_t>(seen - 1)) inOrder = false;
  });
  EXPECT_EQ(re.GrepFiles(), count);
  EXPECT_EQ(seen, count);
  EXPECT_TRUE(inOrder);
}

TEST_F(FileWalkTree, WildcardsInTheLastComponent) {
  EXPECT_EQ(Found("hit", P("*.txt"), false), Ps({".dot.txt", "B.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(Found("hit", P("?.txt"), false), Ps({"B.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(Found("hit", P("[ab].txt"), false), Ps({"a.txt", "b.txt"}));
  EXPECT_EQ(Found("hit", P("[!ab].*"), false), Ps({"B.txt", "c.log"}));
  EXPECT_EQ(Found("hit", P("*"), false), Ps({".dot.txt", "B.txt", "a.txt", "b.txt", "c.log"}));
  EXPECT_EQ(Found("hit", P("z/*.log"), false), Ps({"z/y.log"}));
}

TEST_F(FileWalkTree, RecursionOrderIsFilesThenSubdirectoriesBytewise) {
  EXPECT_EQ(Found("hit", P("*.txt"), true),
            Ps({".dot.txt", "B.txt", "a.txt", "b.txt", ".hidden/a.txt", "m/a.txt", "m/deep/er/a.txt", "z/a.txt"}));
  // GrepFiles walks the same way.
  RegularExpression re = Prepared("hit", P("*.txt"), true);
  Recorder rec;
  rec.Attach(re);
  EXPECT_EQ(re.GrepFiles(), 8u);
  EXPECT_EQ(rec.HitFiles(), Found("hit", P("*.txt"), true));
}

TEST_F(FileWalkTree, NameWithoutWildcard) {
  EXPECT_EQ(Found("hit", P("a.txt"), false), Ps({"a.txt"}));
  // With recursion the same name is looked for at every depth.
  EXPECT_EQ(Found("hit", P("a.txt"), true), Ps({"a.txt", ".hidden/a.txt", "m/a.txt", "m/deep/er/a.txt", "z/a.txt"}));
  EXPECT_EQ(Found("hit", P("y.log"), true), Ps({"z/y.log"}));  // absent at the top, found below
}

TEST_F(FileWalkTree, DirectoryMeansEveryFileInIt) {
  EXPECT_EQ(Found("hit", P("z"), false), Ps({"z/a.txt", "z/y.log"}));
  EXPECT_EQ(Found("hit", P("z/"), false), Ps({"z/a.txt", "z/y.log"}));
  EXPECT_EQ(Found("hit", P("z//"), false), Ps({"z/a.txt", "z/y.log"}));
  EXPECT_EQ(Found("hit", P("m"), true), Ps({"m/a.txt", "m/deep/er/a.txt"}));
  EXPECT_EQ(Found("hit", P("m"), false), Ps({"m/a.txt"}));
}

TEST_F(FileWalkTree, NamesAreHandedOverAsTyped) {
  ChangeDir here(dir_.path());
  EXPECT_EQ(Found("hit", "*.txt", false), (std::vector<std::string>{".dot.txt", "B.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(Found("hit", "*.log", true), (std::vector<std::string>{"c.log", "z/y.log"}));
  EXPECT_EQ(Found("hit", "./z/*.log", false), (std::vector<std::string>{"./z/y.log"}));
  EXPECT_EQ(Found("hit", "m", true), (std::vector<std::string>{"m/a.txt", "m/deep/er/a.txt"}));
  EXPECT_EQ(Found("hit", "a.txt", false), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(Found("hit", "z/../a.txt", false), (std::vector<std::string>{"z/../a.txt"}));
}

TEST(FileWalkLinks, FileLinksSearchedDirectoryLinksNotDescended) {
  TempDir dir;
  dir.Write("top/real.txt", "hit\n");
  dir.Write("elsewhere/target.txt", "hit\n");
  dir.Write("elsewhere/inner/deep.txt", "hit\n");
  ASSERT_EQ(symlink("../elsewhere/target.txt", dir.Join("top/link.txt").c_str()), 0);
  ASSERT_EQ(symlink("../elsewhere", dir.Join("top/dirlink").c_str()), 0);
  ASSERT_EQ(symlink("..", dir.Join("top/loop").c_str()), 0);  // a cycle if followed
  ASSERT_EQ(symlink("missing.txt", dir.Join("top/dangling.txt").c_str()), 0);
  EXPECT_EQ(Found("hit", dir.Join("top"), true),
            (std::vector<std::string>{dir.Join("top/link.txt"), dir.Join("top/real.txt")}));
  EXPECT_EQ(Found("hit", dir.Join("top/*"), true),
            (std::vector<std::string>{dir.Join("top/link.txt"), dir.Join("top/real.txt")}));
  // A link named by the file pattern itself is followed.
  EXPECT_EQ(Found("hit", dir.Join("top/dirlink"), false),
            (std::vector<std::string>{dir.Join("top/dirlink/target.txt")}));
  EXPECT_EQ(Found("hit", dir.Join("top/link.txt"), false), (std::vector<std::string>{dir.Join("top/link.txt")}));
}

TEST(FileWalkHostile, SpecialFilesAreNotRead) {
  TempDir dir;
  dir.Write("a.txt", "hit\n");
  ASSERT_EQ(mkfifo(dir.Join("pipe.txt").c_str(), 0600), 0);
  // Reading a FIFO would wait for a writer forever.
  EXPECT_EQ(Found("hit", dir.Join("*.txt"), true), (std::vector<std::string>{dir.Join("a.txt")}));
  EXPECT_EQ(Found("hit", dir.Join("pipe.txt"), false), std::vector<std::string>{});
  RegularExpression re = Prepared("hit", "/dev/null", false);
  EXPECT_EQ(re.GrepFiles(), 0u);
}

TEST(FileWalkHostile, AwkwardNames) {
  TempDir dir;
  const std::vector<std::string> names = {"with space.txt", "new\nline.txt", "\xff\xfe bytes.txt",
                                          "tab\there.txt",  "star*.txt",     "-dash.txt"};
  for (const std::string& n : names) dir.Write("d/" + n, "hit\n");
  std::vector<std::string> want;
  want.reserve(names.size());
  for (const std::string& n : names) want.push_back(dir.Join("d/" + n));
  std::sort(want.begin(), want.end());
  EXPECT_EQ(Found("hit", dir.Join("d/*.txt"), false), want);
  EXPECT_EQ(Found("hit", dir.Join("d/new\nline.txt"), false), (std::vector<std::string>{dir.Join("d/new\nline.txt")}));
  EXPECT_EQ(Found("hit", dir.Join("d/\xff*"), false), (std::vector<std::string>{dir.Join("d/\xff\xfe bytes.txt")}));
}

namespace {
std::string vanishTarget;
void DeleteNextFile(RegularExpression&, std::string, bool&) { unlink(vanishTarget.c_str()); }
void DeleteNextFileGrep(RegularExpression&, std::string, const REMatchInfo&, unsigned, bool&) {
  unlink(vanishTarget.c_str());
}
}  // namespace

TEST(FileWalkHostile, FileVanishingBetweenListingAndReading) {
  TempDir dir;
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) dir.Write(n, "hit\n");
  vanishTarget = dir.Join("b.txt");
  RegularExpression re = Prepared("hit", dir.Join("*.txt"), false);
  re.SetOnFindFiles(&DeleteNextFile);
  EXPECT_EQ(re.FindFiles(), 2u);  // a and c

  dir.Write("b.txt", "hit\n");
  re.SetOnGreppingFiles(&DeleteNextFileGrep);
  EXPECT_EQ(re.GrepFiles(), 2u);
}

TEST(FileWalkHostile, UnreadableFileAndDirectoryAreSkippedAndListed) {
  TempDir dir;
  dir.Write("a.txt", "hit\n");
  dir.Write("b.txt", "hit\n");
  dir.Write("closed/c.txt", "hit\n");
  dir.Write("open/d.txt", "hit\n");
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(dir.Join("a.txt").c_str(), 0), 0);
  ASSERT_EQ(chmod(dir.Join("closed").c_str(), 0), 0);
  // Permissions do not stop root: the walk runs as an unprivileged user.
  const pid_t pid = fork();
  if (pid == 0) {
    if (!ravelin_test::BecomeUnprivileged()) _exit(10);
    if (Found("hit", dir.Join("*.txt"), true) != std::vector<std::string>{dir.Join("b.txt"), dir.Join("open/d.txt")}) {
      _exit(11);
    }
    RegularExpression re = Prepared("hit", dir.Join("*.txt"), true);
    if (re.GrepFiles() != 2) _exit(12);
    const auto& skipped = re.GetSkippedFiles();
    if (skipped.size() != 2 || skipped[0].fileName != dir.Join("a.txt") || skipped[1].fileName != dir.Join("closed")) {
      _exit(13);
    }
    for (const auto& s : skipped) {
      if (s.reason != RegularExpression::Unreadable || s.errorCode != EACCES) _exit(14);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  chmod(dir.Join("closed").c_str(), 0700);
}
