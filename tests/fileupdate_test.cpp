// ChangeFiles through the public interface: which files may be rewritten,
// the order in which files are written, handlers, backups, a file changed
// under the run, and a real tree compared with sed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace {

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using ravelin_test::ReadFile;
using ravelin_test::TempDir;
using R = RegularExpression;

// Rewrites a file where it lies, as another program might.
void Overwrite(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// Writes down what ChangeFiles tells of each file: "NAME OUTCOME PROBLEM
// REPLACEMENTS", the name's last component only, "-" for no problem.
class OutcomeLog : public R::FileFilter {
 public:
  std::vector<std::string> told;
  void FileChanged(const std::string& name, R::ChangeOutcome outcome, const R::FileChangeProblem* problem,
                   unsigned long replacements) override {
    static const char* const kNames[] = {"Replaced", "SameText", "LeftUnchanged"};
    told.push_back(name.substr(name.rfind('/') + 1) + " " + kNames[static_cast<int>(outcome)] + " " +
                   (problem == nullptr ? "-" : std::to_string(problem->problem)) + " " + std::to_string(replacements));
  }
};

R Changer(const std::string& expression, const std::string& format, const std::string& spec) {
  R re;
  re.SetExpression(expression);
  re.SetFormatString(format);
  re.SetFilesToMatch(spec);
  return re;
}

TEST(BackupNames, BackupFileComparesTheLastExtensionIgnoringCase) {
  struct Case {
    const char* ext;
    const char* name;
    bool backup;
    R::BackupNaming naming = R::BackupNaming::Extension;
  } cases[] = {
      {"bak", "work/list.bak", true},
      {"bak", "work/LIST.BAK", true},
      {"BaK", "list.bAk", true},
      {"bak", "work/list.bak2", false},
      {"bak", "work/list", false},
      {"bak", "work/list.ba", false},
      {"bak", "old.bak/readme", false},
      {"bak", ".bak", false},
      {"", "list.bak", false},
      {"", "list.", false},
      {"bak", "list.txt.bak", true},
      {"txt", "list.txt.bak", false},
      {"bak", ".bashrc.bak", true},
      {"bak", "v1.0/README", false},
      {"0/README", "v1.0/README", false},
      // A suffix is compared with the end of the last component.
      {".bak", "src/util.c.BAK", true, R::BackupNaming::Suffix},
      {"~", "notes.txt~", true, R::BackupNaming::Suffix},
      {"~", "notes.txt", false, R::BackupNaming::Suffix},
      {"~", "dir~/notes", false, R::BackupNaming::Suffix},
      {".bak", "dir/.bak", false, R::BackupNaming::Suffix},  // the suffix alone names no file's backup
      {"bak", "listbak", true, R::BackupNaming::Suffix},     // a suffix need not start with a dot
      {"", "list.", false, R::BackupNaming::Suffix},
  };
  for (const Case& c : cases) {
    R re;
    re.SetSaveExtension(c.ext);
    re.SetBackupNaming(c.naming);
    EXPECT_EQ(re.BackupFile(c.name), c.backup) << c.ext << " " << c.name;
  }
}

TEST(BackupNames, ReadOnlyMeansNoWriteBitAtAll) {
  TempDir dir;
  struct Case {
    mode_t mode;
    bool readOnly;
  } cases[] = {{0644, false}, {0444, true}, {0400, true}, {0000, true}, {0200, false}, {0020, false}, {0002, false}};
  R re;
  for (const Case& c : cases) {
    const std::string file = dir.Write("f" + std::to_string(c.mode), "x");
    ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
    // Independent of who asks: root may write to 0444 files, yet they count.
    EXPECT_EQ(re.ReadOnlyFile(file), c.readOnly) << std::oct << c.mode;
  }
  EXPECT_TRUE(re.ReadOnlyFile(dir.Join("missing")));
  EXPECT_TRUE(re.ReadOnlyFile(""));
}

TEST(ChangeFiles, EmptyInputsGiveZero) {
  TempDir dir;
  dir.Write("a.txt", "abc");
  const std::string spec = dir.Join("*.txt");
  R cases[] = {Changer("", "x", spec), Changer("b", "x", ""), Changer("b", "", spec), Changer("(", "x", spec)};
  for (R& re : cases) {
    EXPECT_EQ(re.ChangeFiles(), 0u) << re.GetExpression() << re.GetFilesToMatch() << re.GetFormatString();
    EXPECT_EQ(re.GetChangeFilesErrors(), nullptr);
  }
  EXPECT_EQ(ReadFile(dir.Join("a.txt")), "abc");
  EXPECT_EQ(ravelin_test::ListDir(dir.path()).size(), 1u);
}

// Records, for each event, the file name and what a.txt held at that moment.
struct Recorder {
  std::string dir;
  std::vector<std::string> files;
  std::vector<std::string> firstFileThen;
  std::vector<REMatchInfo> matches;
  int stopAt = 0;
  void OnChange(R&, std::string file, const REMatchInfo& match, unsigned, bool& goOn) {
    files.push_back(file);
    firstFileThen.push_back(ReadFile(dir + "/a.txt"));
    matches.push_back(match);
    if (static_cast<int>(files.size()) == stopAt) goOn = false;
  }
};

TEST(ChangeFiles, EachFileIsWrittenWhenTheNextFileReportsAMatch) {
  TempDir dir;
  dir.Write("a.txt", "x1 x2");
  dir.Write("b.txt", "x3 x4 x5");
  R re = Changer("x(\\d)", "<$1>", dir.Join("*.txt"));
  Recorder rec;
  rec.dir = dir.path();
  re.SetOnChangingFilesClosure(R::OnChangingFilesClosure(&rec, &Recorder::OnChange));
  EXPECT_EQ(re.ChangeFiles(), 5u);
  EXPECT_EQ(re.GetChangeFilesErrors(), nullptr);
  ASSERT_EQ(rec.files.size(), 5u);
  EXPECT_EQ(rec.files[0], dir.Join("a.txt"));
  EXPECT_EQ(rec.files[2], dir.Join("b.txt"));
  EXPECT_EQ(rec.firstFileThen[1], "x1 x2");    // still pending
  EXPECT_EQ(rec.firstFileThen[2], "<1> <2>");  // written before b.txt's first event
  ASSERT_EQ(rec.matches[3].size(), 2u);
  EXPECT_EQ(rec.matches[3][0].text, "x4");
  EXPECT_EQ(rec.matches[3][0].position, 3);
  EXPECT_EQ(rec.matches[3][1].text, "4");
  EXPECT_EQ(ReadFile(dir.Join("b.txt")), "<3> <4> <5>");
}

TEST(ChangeFiles, HandlerStoppingTheRunKeepsTheEarlierReplacementsOfItsFile) {
  TempDir dir;
  dir.Write("a.txt", "x x x x");
  R re = Changer("x", "y", dir.Join("*.txt"));
  Recorder rec;
  rec.dir = dir.path();
  rec.stopAt = 3;
  re.SetOnChangingFilesClosure(R::OnChangingFilesClosure(&rec, &Recorder::OnChange));
  EXPECT_EQ(re.ChangeFiles(), 2u);
  EXPECT_EQ(rec.files.size(), 3u);
  EXPECT_EQ(ReadFile(dir.Join("a.txt")), "y y x x");
}

TEST(ChangeFiles, BackupNamedFileEndsTheRun) {
  {
    TempDir dir;  // a.bak comes first: nothing is changed
    dir.Write("a.bak", "x");
    dir.Write("a.txt", "x");
    R re = Changer("x", "y", dir.Join("a.*"));
    re.SetSaveExtension("bak");
    EXPECT_EQ(re.ChangeFiles(), 0u);
    EXPECT_EQ(ReadFile(dir.Join("a.bak")), "x");
    EXPECT_EQ(ReadFile(dir.Join("a.txt")), "x");
  }
  {
    TempDir dir;  // a.txt first: written, with its backup; the run ends at b.BAK
    dir.Write("a.txt", "x x");
    dir.Write("b.BAK", "x");
    dir.Write("c.txt", "x");
    R re = Changer("x", "y", dir.Join("*"));
    re.SetSaveExtension("bak");
    EXPECT_EQ(re.ChangeFiles(), 2u);
    EXPECT_EQ(ReadFile(dir.Join("a.txt")), "y y");
    EXPECT_EQ(ReadFile(dir.Join("a.bak")), "x x");
    EXPECT_EQ(ReadFile(dir.Join("b.BAK")), "x");
    EXPECT_EQ(ReadFile(dir.Join("c.txt")), "x");
  }
}

TEST(ChangeFiles, ReadOnlyFileEndsTheRun) {
  TempDir dir;
  dir.Write("1.txt", "x");
  const std::string locked = dir.Write("2.txt", "x");
  dir.Write("3.txt", "x");
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  R re = Changer("x", "y", dir.Join("*.txt"));
  EXPECT_EQ(re.ChangeFiles(), 1u);
  EXPECT_EQ(ReadFile(dir.Join("1.txt")), "y");
  EXPECT_EQ(ReadFile(locked), "x");
  EXPECT_EQ(ReadFile(dir.Join("3.txt")), "x");
  EXPECT_EQ(re.GetChangeFilesErrors(), nullptr);
}

TEST(ChangeFiles, ReplacementFollowsTheFormatOfTheMoment) {
  TempDir dir;
  dir.Write("f.txt", "xaby ab ab");
  R re = Changer("a(b)", "[$1]", dir.Join("f.txt"));
  re.SetOnChangingFiles([](R& r, std::string, const REMatchInfo& m, unsigned, bool&) {
    if (m[0].position == 5) r.SetFormatString("{$&}");
  });
  EXPECT_EQ(re.ChangeFiles(), 3u);
  EXPECT_EQ(ReadFile(dir.Join("f.txt")), "x[b]y {ab} {ab}");
}

TEST(ChangeFiles, IcaseReachesTheWalkAndTheReplacement) {
  TempDir dir;
  dir.Write("f.txt", "Alpha ALPHA alpha");
  R re = Changer("alpha", "beta", dir.Join("f.txt"));
  re.AddExpressionOption(R::Icase);
  EXPECT_EQ(re.ChangeFiles(), 3u);
  EXPECT_EQ(ReadFile(dir.Join("f.txt")), "beta beta beta");
}

TEST(ChangeFiles, EmptyMatchIsInsertedAtItsPosition) {
  TempDir dir;
  dir.Write("f.txt", "l1\nl2");
  R re = Changer("^", "> ", dir.Join("f.txt"));
  EXPECT_EQ(re.ChangeFiles(), 2u);
  EXPECT_EQ(ReadFile(dir.Join("f.txt")), "> l1\n> l2");
}

TEST(ChangeFiles, FileChangedUnderTheRunKeepsItsContents) {
  // The problem names the first replaced match whose bytes the file, as the
  // other writer left it, no longer holds; the first match when none.
  struct Case {
    const char* expression;
    const char* content;
    long writeAt;  // the match whose event lets the other writer in
    const char* now;
    unsigned long position;
    const char* text;
  } cases[] = {
      {"x", "x x", 2, "zz x x", 0, "x"},
      {"k=\\d", "k=1 k=2", 4, "k=1 k=9", 4, "k=2"},
      {"k=\\d", "a k=1 b k=2", 8, "A k=1 b k=9", 8, "k=2"},  // a changed gap is no changed match
      {"k=\\d", "k=1 k=2", 4, "k=1", 4, "k=2"},              // cut before the match
      {"k=\\d", "k=1", 0, "k=1\nmore", 0, "k=1"},            // every match still there
  };
  static const Case* current;
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = dir.Write("f.txt", c.content);
    dir.Write("g.txt", "x k=0");
    R re = Changer(c.expression, "y", dir.Join("*.txt"));
    OutcomeLog log;
    re.SetFileFilter(&log);
    current = &c;
    // Another writer edits f.txt after its matches were found.
    re.SetOnChangingFiles([](R& r, std::string name, const REMatchInfo& m, unsigned, bool&) {
      if (m[0].position == current->writeAt && name.size() > 5 && name.substr(name.size() - 5) == "f.txt") {
        Overwrite(name, current->now);
      }
      (void)r;
    });
    EXPECT_EQ(re.ChangeFiles(), 1u) << c.content;
    EXPECT_EQ(ReadFile(file), c.now);
    EXPECT_EQ(ReadFile(dir.Join("g.txt")), c.expression[0] == 'x' ? "y k=0" : "x y");
    const auto* problems = re.GetChangeFilesErrors();
    ASSERT_NE(problems, nullptr);
    ASSERT_EQ(problems->size(), 1u);
    EXPECT_EQ(problems->front().problem, R::TextChanged);
    EXPECT_EQ(problems->front().fileName, file);
    EXPECT_EQ(problems->front().position, c.position) << c.content << " -> " << c.now;
    EXPECT_EQ(problems->front().text, c.text) << c.content << " -> " << c.now;
    EXPECT_EQ(problems->front().errorCode, 0u);
    EXPECT_EQ(log.told, (std::vector<std::string>{"f.txt LeftUnchanged 4 0", "g.txt Replaced - 1"})) << c.content;
    // The next run starts with an empty list.
    re.SetOnChangingFiles(nullptr);
    re.SetFilesToMatch(dir.Join("none*"));
    EXPECT_EQ(re.ChangeFiles(), 0u);
    EXPECT_EQ(re.GetChangeFilesErrors(), nullptr);
  }
}

TEST(ChangeFiles, RecursionWithBackups) {
  TempDir dir;
  dir.Write("top.txt", "old");
  dir.Write("sub/deep/low.txt", "old old");
  dir.Write("sub/skip.dat", "old");
  R re = Changer("old", "new", dir.Join("*.txt"));
  re.SetDirectoryRecursion(true);
  re.SetSaveExtension("orig");
  EXPECT_EQ(re.ChangeFiles(), 3u);
  EXPECT_EQ(ReadFile(dir.Join("top.txt")), "new");
  EXPECT_EQ(ReadFile(dir.Join("top.orig")), "old");
  EXPECT_EQ(ReadFile(dir.Join("sub/deep/low.txt")), "new new");
  EXPECT_EQ(ReadFile(dir.Join("sub/deep/low.orig")), "old old");
  EXPECT_EQ(ReadFile(dir.Join("sub/skip.dat")), "old");
}

// Every file below a, compared with the same file below b.
void ExpectSameTree(const std::string& a, const std::string& b, int* files) {
  const std::vector<std::string> names = ravelin_test::ListDir(a);
  EXPECT_EQ(names, ravelin_test::ListDir(b)) << a;
  for (const std::string& name : names) {
    struct stat st {};
    ASSERT_EQ(lstat((a + "/" + name).c_str(), &st), 0);
    if (S_ISDIR(st.st_mode)) {
      ExpectSameTree(a + "/" + name, b + "/" + name, files);
    } else {
      EXPECT_EQ(ReadFile(a + "/" + name), ReadFile(b + "/" + name)) << a << "/" << name;
      ++*files;
    }
  }
}

TEST(ChangeFiles, RealTreeEndsAsSedLeavesIt) {
  ASSERT_EQ(std::system("command -v sed >/dev/null 2>&1"), 0) << "sed is the reference";
  TempDir dir;
  const std::string ours = dir.MakeDir("ours"), theirs = dir.MakeDir("sed");
  // This project's sources, always there, and such system headers as the
  // machine has.
  auto copy = [](const std::string& to) {
    return "cp -R '" + std::string(RAVELIN_TEST_SOURCE_DIR) + "/src' " + to +
           " && for d in /usr/include/netinet /usr/include/net /usr/include/*-linux-gnu/sys; do"
           " if [ -d \"$d\" ]; then cp -RL \"$d\" " +
           to + " || exit 1; fi; done";
  };
  ASSERT_EQ(std::system((copy(ours) + " && " + copy(theirs)).c_str()), 0);
  // Both engines find the same leftmost match for this expression.
  const std::string sed = "cd " + theirs +
                          " && find . -type f -exec env LC_ALL=C sed -E -i "
                          "'s/\\b([a-z]+)_t\\b/T_\\1/g; s/([0-9]+)U?L+/\\1_L/g' {} +";
  ASSERT_EQ(std::system(sed.c_str()), 0);
  // One run per substitution, in sed's order.
  R re = Changer("\\b([a-z]+)_t\\b", "T_$1", ours + "/*");
  re.SetDirectoryRecursion(true);
  const unsigned first = re.ChangeFiles();
  EXPECT_GT(first, 50u);
  EXPECT_EQ(re.GetChangeFilesErrors(), nullptr);
  re.SetExpression("([0-9]+)U?L+");
  re.SetFormatString("$1_L");
  re.ChangeFiles();
  EXPECT_EQ(re.GetChangeFilesErrors(), nullptr);
  int files = 0;
  ExpectSameTree(ours, theirs, &files);
  EXPECT_GT(files, 50);
}

}  // namespace

namespace {

// What Merge (with the text between matches copied) makes of text.
std::string Merged(const std::string& expression, const std::string& format, const std::string& text,
                   const std::vector<R::Matches>& flags) {
  R re;
  re.SetExpression(expression);
  re.SetFormatString(format);
  re.SetStringToMatch(text);
  re.SetMergeCopy(true);
  for (R::Matches m : flags) re.AddMatchOption(m);
  std::string out;
  re.Merge(out);
  return out;
}

}  // namespace

TEST(ChangeFiles, WritesWhatMergeMakesOfTheSameBytes) {
  struct Case {
    const char* expression;
    const char* format;
    const char* text;
    std::vector<R::Matches> flags;
  } cases[] = {
      {"foo(?=\\()", "bar", "call foo(1); foo;\n", {}},
      {"b|ab(?=c)", "X", "abc\n", {}},
      {"[^,\\n]*", "\"$&\"", "a,b,c\n", {}},
      {"(?<=x)a", "A", "xa a xa\n", {}},
      {"\\bint\\b", "long", "int x; print(int); integer\n", {}},
      {"\\Bin", "IN", "in pin tin\n", {}},
      {"o", "[$`]", "foo boo\n", {}},
      {"o", "[$']", "foo\n", {}},
      {"^x", "y", "x\nx\n", {R::MatchNotBol}},
      {"\\<w", "W", "wide word\n", {R::MatchNotBow}},
      {"x*", "-", "abxxc\n", {}},
      {"$", ";", "a\nb\n", {}},
      {"(\\w+)@(\\w+)", "$2 at $1", "mail anna@example and bob@host\n", {}},
      // New bytes equal to the old: counted, not rewritten (same inode).
      {"foo", "foo", "foo foo\n", {}},
      {"o+", "$&", "foo boo\n", {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = dir.Write("f.txt", c.text);
    struct stat before = {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    R re = Changer(c.expression, c.format, file);
    OutcomeLog log;
    re.SetFileFilter(&log);
    for (R::Matches m : c.flags) re.AddMatchOption(m);
    R counter = re;
    counter.SetStringToMatch(c.text);
    const unsigned expected = counter.Grep();
    EXPECT_EQ(re.ChangeFiles(), expected) << c.expression;
    EXPECT_EQ(ReadFile(file), Merged(c.expression, c.format, c.text, c.flags)) << c.expression;
    EXPECT_EQ(re.GetChangeFilesErrors(), nullptr) << c.expression;
    struct stat after = {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino == before.st_ino, ReadFile(file) == c.text) << c.expression;
    EXPECT_EQ(log.told,
              std::vector<std::string>{std::string("f.txt ") + (ReadFile(file) == c.text ? "SameText" : "Replaced") +
                                       " - " + std::to_string(expected)})
        << c.expression;
  }
}

TEST(ChangeFiles, OptionWordTheEngineCannotExpressChangesNothing) {
  TempDir dir;
  const std::string file = dir.Write("f.txt", "a|b\n");
  R re = Changer("a|b", "X", file);
  re.AddExpressionOption(R::BkVbar);  // not expressible without BkParens
  ASSERT_EQ(re.ParseExpression(), R::UnsupportedOptions);
  EXPECT_EQ(re.ChangeFiles(), 0u);
  EXPECT_EQ(ReadFile(file), "a|b\n");
}

// A small tree shaped like a real one: links, dot-files, names without an
// extension, names whose backups collide.
TEST(ChangeFiles, EachFileOnceEachBackupBesideItsFileAndNeverOverwritten) {
  TempDir dir;
  dir.Write("docs/README.txt", "Copyright 2023\n");
  ASSERT_EQ(symlink("docs/README.txt", dir.Join("README.txt").c_str()), 0);
  ASSERT_EQ(symlink("README.txt", dir.Join("docs/again.txt").c_str()), 0);
  ASSERT_EQ(link(dir.Join("docs/README.txt").c_str(), dir.Join("hard.txt").c_str()), 0);
  R re = Changer("2023", "2023-2024", dir.Join("*.txt"));
  re.SetDirectoryRecursion(true);
  EXPECT_EQ(re.ChangeFiles(), 1u);
  EXPECT_EQ(ReadFile(dir.Join("docs/README.txt")), "Copyright 2023-2024\n");

  TempDir tree;
  tree.Write("v1.0/README", "old\n");
  tree.Write("Makefile", "old\n");
  tree.Write(".bashrc", "old\n");
  tree.Write("notes.txt", "old\n");
  tree.Write("a.md", "old\n");
  tree.Write("a.txt", "old\n");
  R backup = Changer("old", "new", tree.path());
  backup.SetDirectoryRecursion(true);
  backup.SetSaveExtension("bak");
  // A handler asking for the backup name hears that of the file being changed.
  static std::vector<std::string> named;
  named.clear();
  backup.SetOnChangingFiles(
      [](R& r, std::string, const REMatchInfo&, unsigned, bool&) { named.push_back(r.ReplaceExtension()); });
  EXPECT_EQ(backup.ChangeFiles(), 5u);
  for (const char* name : {"v1.0/README.bak", "Makefile.bak", ".bashrc.bak", "notes.bak", "a.bak"}) {
    EXPECT_EQ(ReadFile(tree.Join(name)), "old\n") << name;
  }
  EXPECT_EQ(named,
            (std::vector<std::string>{tree.Join(".bashrc.bak"), tree.Join("Makefile.bak"), tree.Join("a.bak"),
                                      tree.Join("a.bak"), tree.Join("notes.bak"), tree.Join("v1.0/README.bak")}));
  // a.md came first and took a.bak; a.txt would have overwritten it.
  EXPECT_EQ(ReadFile(tree.Join("a.md")), "new\n");
  EXPECT_EQ(ReadFile(tree.Join("a.txt")), "old\n");
  const auto* problems = backup.GetChangeFilesErrors();
  ASSERT_NE(problems, nullptr);
  ASSERT_EQ(problems->size(), 1u);
  EXPECT_EQ(problems->front().problem, R::BackupFailed);
  EXPECT_EQ(problems->front().errorCode, static_cast<unsigned long>(EEXIST));
  EXPECT_EQ(problems->front().fileName, tree.Join("a.bak"));

  // Backups named by appending a suffix keep files apart that differ only in
  // their extension.
  TempDir sources;
  sources.Write("util.c", "old\n");
  sources.Write("util.h", "old old\n");
  R appended = Changer("old", "new", sources.path());
  appended.SetSaveExtension(".orig");
  appended.SetBackupNaming(R::BackupNaming::Suffix);
  named.clear();
  appended.SetOnChangingFiles(
      [](R& r, std::string, const REMatchInfo&, unsigned, bool&) { named.push_back(r.ReplaceExtension()); });
  EXPECT_EQ(appended.ChangeFiles(), 3u);
  EXPECT_EQ(appended.GetChangeFilesErrors(), nullptr);
  EXPECT_EQ(ReadFile(sources.Join("util.c.orig")), "old\n");
  EXPECT_EQ(ReadFile(sources.Join("util.h.orig")), "old old\n");
  EXPECT_EQ(ReadFile(sources.Join("util.h")), "new new\n");
  EXPECT_EQ(named, (std::vector<std::string>{sources.Join("util.c.orig"), sources.Join("util.h.orig"),
                                             sources.Join("util.h.orig")}));
}

TEST(ChangeFiles, SaveExtensionThatIsNoExtensionChangesNothing) {
  for (const char* extension : {"../x", "sub/bak", " ", ".", " .. "}) {
    TempDir dir;
    const std::string file = dir.Write("f.txt", "old\n");
    R re = Changer("old", "new", file);
    re.SetSaveExtension(extension);
    EXPECT_NE(R::SaveExtensionFault(extension), "") << extension;  // what ChangeFiles refuses is told beforehand
    OutcomeLog log;
    re.SetFileFilter(&log);
    EXPECT_EQ(re.ChangeFiles(), 0u) << extension;
    EXPECT_EQ(ReadFile(file), "old\n") << extension;
    EXPECT_EQ(log.told, std::vector<std::string>{"f.txt LeftUnchanged 5 0"}) << extension;
    const auto* problems = re.GetChangeFilesErrors();
    ASSERT_NE(problems, nullptr) << extension;
    EXPECT_EQ(problems->front().problem, R::BackupFailed);
    EXPECT_EQ(problems->front().errorCode, static_cast<unsigned long>(EINVAL));
    EXPECT_EQ(ravelin_test::ListDir(dir.path()).size(), 1u) << extension;
  }
  for (const char* usable : {"", "bak", ".orig", "~", " b a k "})
    EXPECT_EQ(R::SaveExtensionFault(usable), "") << usable;
}

TEST(ChangeFiles, ExtendedAttributesAndAccessListsAreKept) {
  TempDir dir;
  const std::string file = dir.Write("f.txt", "old\n");
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  ASSERT_EQ(setxattr(file.c_str(), "user.origin", "kept", 4, 0), 0) << "the file system takes user attributes";
  // An access list giving user 65534 read and write: version 2, then
  // (tag, permissions, id) entries in tag order.
  struct Entry {
    std::uint16_t tag, perm;
    std::uint32_t id;
  } acl[] = {{0x01, 6, ~0u}, {0x02, 6, 65534}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}};
  std::string blob(4, '\0');
  blob[0] = 2;
  blob.append(reinterpret_cast<const char*>(acl), sizeof acl);
  ASSERT_EQ(setxattr(file.c_str(), "system.posix_acl_access", blob.data(), blob.size(), 0), 0);
  struct stat before;
  ASSERT_EQ(stat(file.c_str(), &before), 0);

  R re = Changer("old", "new", file);
  re.SetSaveExtension("bak");
  EXPECT_EQ(re.ChangeFiles(), 1u);
  EXPECT_EQ(ReadFile(file), "new\n");
  // The new file and the backup alike.
  for (const std::string& kept : {file, dir.Join("f.bak")}) {
    char value[16] = {};
    EXPECT_EQ(getxattr(kept.c_str(), "user.origin", value, sizeof value), 4) << kept;
    EXPECT_STREQ(value, "kept") << kept;
    std::string after(blob.size(), '\0');
    EXPECT_EQ(getxattr(kept.c_str(), "system.posix_acl_access", &after[0], after.size()),
              static_cast<ssize_t>(blob.size()))
        << kept;
    EXPECT_EQ(after, blob) << kept;
    struct stat now;
    ASSERT_EQ(stat(kept.c_str(), &now), 0);
    EXPECT_EQ(now.st_mode, before.st_mode) << kept;  // the group did not gain write through the mask
  }
}

namespace {

// Runs fn in a child process; returns its exit status (-1 when it did not
// exit normally).
template <class Fn>
pid_t Spawn(Fn fn) {
  const pid_t pid = fork();
  if (pid == 0) _exit(fn());
  return pid;
}
int Wait(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
// True once process pid has the file at path open (within two minutes).
bool WaitUntilOpen(pid_t pid, const std::string& path) {
  struct stat target;
  if (stat(path.c_str(), &target) != 0) return false;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const std::string& fd : ravelin_test::ListDir(fds)) {
      struct stat st;
      if (stat((fds + fd).c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino) return true;
    }
    usleep(1000);
  }
  return false;
}

}  // namespace

// Two runs at once over the same files, and a program appending to one of
// them under the same advisory lock (checking after the lock that the name
// still leads to the file it opened, as the runs do): every edit and every
// line lands. The processes take turns through pipes, not through timing:
// the first run holds each file's lock until the second run and the
// appender have that file open and are waiting for it, so each of them
// must notice the file was replaced while it waited, on every file.
TEST(ChangeFiles, RunsAtOnceAndALockingAppenderLoseNothing) {
  TempDir dir;
  const int files = 4;
  for (int i = 0; i < files; ++i) dir.Write("f" + std::to_string(i) + ".txt", std::string(2000, '.') + " foo bar\n");
  const std::string log = dir.Write("log.txt", "foo bar\n");
  const int lines = 100;
  // held: the first run names each file whose lock it holds; go: it may
  // go on; append: the appender is to open the log; opened: it has.
  int held[2], go[2], append[2], opened[2];
  ASSERT_EQ(pipe(held), 0);
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(append), 0);
  ASSERT_EQ(pipe(opened), 0);
  static int heldOut = -1, goIn = -1;
  heldOut = held[1];
  goIn = go[0];
  const pid_t first = Spawn([&] {
    close(held[0]);
    close(go[1]);
    R re = Changer("foo", "QUUX", dir.Join("*.txt"));
    // Each file has one match, heard while its lock is held.
    re.SetOnChangingFiles([](R&, std::string name, const REMatchInfo&, unsigned, bool&) {
      name += '\n';
      char ok = 0;
      if (write(heldOut, name.data(), name.size()) != static_cast<ssize_t>(name.size()) || read(goIn, &ok, 1) != 1) {
        _exit(3);
      }
    });
    re.ChangeFiles();
    return re.GetChangeFilesErrors() == nullptr ? 0 : 1;
  });
  close(held[1]);
  close(go[0]);
  const pid_t appender = Spawn([&] {
    close(append[1]);
    close(opened[0]);
    char token = 0;
    if (read(append[0], &token, 1) != 1) return 4;
    int reopened = 0;
    for (int line = 0; line < lines; ++line) {
      int fd = -1;
      for (;;) {
        fd = open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (line == 0 && reopened == 0 && write(opened[1], "o", 1) != 1) return 5;
        struct stat locked, named;
        if (fd < 0 || flock(fd, LOCK_EX) != 0 || fstat(fd, &locked) != 0) return 1;
        if (stat(log.c_str(), &named) == 0 && named.st_ino == locked.st_ino) break;
        close(fd);  // replaced while waiting: open the new file
        reopened += line == 0;
      }
      const std::string text = "line " + std::to_string(line) + " foo bar\n";
      if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 1;
      close(fd);
    }
    return reopened > 0 ? 0 : 2;
  });
  close(append[0]);
  close(opened[1]);
  pid_t second = -1;
  // Each file in turn: the second run (and for the log, the appender) has it
  // open before the first run may replace it.
  FILE* heard = fdopen(held[0], "r");
  ASSERT_NE(heard, nullptr);
  char name[4096];
  int seen = 0;
  while (fgets(name, sizeof name, heard) != nullptr) {
    const std::string path(name, strcspn(name, "\n"));
    if (second < 0) {
      second = Spawn([&] {
        R re = Changer("bar", "BAR", dir.Join("*.txt"));
        re.ChangeFiles();
        return re.GetChangeFilesErrors() == nullptr ? 0 : 1;
      });
    }
    if (path == log) {
      char ack = 0;
      ASSERT_EQ(write(append[1], "a", 1), 1);
      ASSERT_EQ(read(opened[0], &ack, 1), 1);
    }
    EXPECT_TRUE(WaitUntilOpen(second, path)) << path;
    ASSERT_EQ(write(go[1], "g", 1), 1);
    ++seen;
  }
  fclose(heard);
  close(go[1]);
  close(append[1]);
  close(opened[0]);
  EXPECT_EQ(seen, files + 1);
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(Wait(second), 0);
  EXPECT_EQ(Wait(appender), 0);
  for (int i = 0; i < files; ++i) {
    EXPECT_EQ(ReadFile(dir.Join("f" + std::to_string(i) + ".txt")), std::string(2000, '.') + " QUUX BAR\n") << i;
  }
  const std::string text = ReadFile(log);
  EXPECT_EQ(text.rfind("QUUX BAR\n", 0), 0u) << text.substr(0, 40);
  for (int line = 0; line < lines; ++line) {
    EXPECT_NE(text.find("line " + std::to_string(line) + " "), std::string::npos) << line;
  }
}

// Files that change shape under the walk: searched as they were read, or
// left to the other writer; never a crash or a hang.
TEST(ChangeFiles, FileThatShrinksOrBecomesAFifoUnderTheRun) {
  TempDir dir;
  const std::string big = dir.Write("big.txt", std::string(6 << 20, 'x') + "\nend x\n");
  R grep;
  grep.SetExpression("x\\n|end");
  grep.SetFilesToMatch(big);
  static std::string target;
  target = big;
  grep.SetOnGreppingFiles([](R&, std::string, const REMatchInfo&, unsigned, bool&) {
    if (truncate(target.c_str(), 0) != 0) std::abort();
  });
  EXPECT_EQ(grep.GrepFiles(), 3u);  // all three matches of the bytes read

  const std::string file = dir.Write("f.txt", "old old\n");
  target = file;
  R change = Changer("old", "new", file);
  change.SetOnChangingFiles([](R&, std::string, const REMatchInfo& m, unsigned, bool&) {
    if (m[0].position != 4) return;
    if (unlink(target.c_str()) != 0 || mkfifo(target.c_str(), 0600) != 0) std::abort();
  });
  EXPECT_EQ(change.ChangeFiles(), 0u);
  struct stat st;
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  const auto* problems = change.GetChangeFilesErrors();
  ASSERT_NE(problems, nullptr);
  EXPECT_EQ(problems->front().problem, R::TextChanged);
  // Nothing to read where the file was: the first match is named.
  EXPECT_EQ(problems->front().position, 0u);
  EXPECT_EQ(problems->front().text, "old");
}

TEST(FileOperations, SkippedPathsAreListedWithTheirReasons) {
  TempDir dir;
  dir.Write("ok.txt", "hit\n");
  const std::string hard = dir.Write("hard.txt", std::string(40, 'x'));
  R re;
  re.SetExpression("hit|(x+x+)+y");
  re.SetFilesToMatch(dir.Join("missing/*.txt"));
  EXPECT_EQ(re.GrepFiles(), 0u);
  ASSERT_EQ(re.GetSkippedFiles().size(), 1u);
  EXPECT_EQ(re.GetSkippedFiles()[0].reason, R::NotFound);
  re.SetFilesToMatch(dir.Join("gone.txt"));
  EXPECT_EQ(re.FindFiles(), 0u);
  ASSERT_EQ(re.GetSkippedFiles().size(), 1u);
  EXPECT_EQ(re.GetSkippedFiles()[0].reason, R::NotFound);
  re.SetFilesToMatch(dir.Join("*.txt"));
  EXPECT_EQ(re.FindFiles(), 1u);
  ASSERT_EQ(re.GetSkippedFiles().size(), 1u);
  EXPECT_EQ(re.GetSkippedFiles()[0].reason, R::SearchGaveUp);
  EXPECT_EQ(re.GetSkippedFiles()[0].fileName, hard);
  EXPECT_FALSE(re.GetSkippedFiles()[0].text.empty());

  // An unreadable file, for a process without the privilege to read it.
  const std::string secret = dir.Write("secret.txt", "hit\n");
  ASSERT_EQ(chmod(secret.c_str(), 0), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const pid_t child = Spawn([&] {
    if (!ravelin_test::BecomeUnprivileged()) return 10;
    R low;
    low.SetExpression("hit");
    low.SetFilesToMatch(secret);
    if (low.GrepFiles() != 0) return 11;
    const auto& skipped = low.GetSkippedFiles();
    if (skipped.size() != 1 || skipped[0].reason != R::Unreadable || skipped[0].errorCode != EACCES) return 12;
    return 0;
  });
  EXPECT_EQ(Wait(child), 0);
}

TEST(ChangeFiles, SignalHandlerRemovesTheTemporaryFilesInFlight) {
  TempDir dir;
  const std::string file = dir.Write("f.txt", "old old old\n");
  const pid_t child = Spawn([&] {
    signal(SIGTERM, [](int) {
      R::RemoveTemporaryFiles();
      _exit(143);
    });
    R re = Changer("old", "new", file);
    // The temporary file exists once the first replacement is written.
    re.SetOnChangingFiles([](R&, std::string, const REMatchInfo& m, unsigned, bool&) {
      if (m[0].position == 4) raise(SIGTERM);
    });
    re.ChangeFiles();
    return 0;
  });
  EXPECT_EQ(Wait(child), 143);
  EXPECT_EQ(ReadFile(file), "old old old\n");
  EXPECT_EQ(ravelin_test::ListDir(dir.path()), std::vector<std::string>{"f.txt"});
}

// A signal may come at any moment, between any two steps of a file's change:
// the handler must find every temporary file that exists. Runs interrupted
// by a timer at points spread over the time a whole run takes (a signal
// delivered as the temporary file's creation returns used to find it not yet
// listed, in about one run in ten).
TEST(ChangeFiles, SignalAtAnyMomentLeavesNoTemporaryFile) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + ": old_name and old_name\n";
  for (int i = 0; i < 40; ++i) dir.Write("d/f" + std::to_string(i) + ".txt", text);
  const auto start = std::chrono::steady_clock::now();
  Changer("old_name", "new_name", dir.Join("d")).ChangeFiles();
  Changer("new_name", "old_name", dir.Join("d")).ChangeFiles();
  const auto whole =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start) / 2;
  const int runs = 120;
  for (int run = 0; run < runs; ++run) {
    const pid_t child = Spawn([&] {
      signal(SIGALRM, [](int) {
        R::RemoveTemporaryFiles();
        _exit(142);
      });
      ualarm(static_cast<useconds_t>(100 + whole.count() * run / runs), 0);
      R re = Changer(run % 2 == 0 ? "old_name" : "new_name", run % 2 == 0 ? "new_name" : "old_name", dir.Join("d"));
      re.ChangeFiles();
      return 0;
    });
    Wait(child);
    for (const std::string& name : ravelin_test::ListDir(dir.Join("d"))) {
      EXPECT_EQ(name.rfind(".ravelin-", 0), std::string::npos) << "run " << run << " left " << name;
    }
  }
}
