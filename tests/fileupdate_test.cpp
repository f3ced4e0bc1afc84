// ChangeFiles through the public interface: which files may be rewritten,
// the order in which files are written, handlers, backups, a file changed
// under the run, and a real tree compared with sed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"

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
  } cases[] = {
      {"bak", "work/list.bak", true},    {"bak", "work/LIST.BAK", true},   {"BaK", "list.bAk", true},
      {"bak", "work/list.bak2", false},  {"bak", "work/list", false},      {"bak", "work/list.ba", false},
      {"bak", "old.bak/readme", false},  {"bak", ".bak", false},           {"", "list.bak", false},
      {"", "list.", false},              {"bak", "list.txt.bak", true},    {"txt", "list.txt.bak", false},
      {"bak", ".bashrc.bak", true},      {"bak", "v1.0/README", false},    {"0/README", "v1.0/README", false},
  };
  for (const Case& c : cases) {
    R re;
    re.SetSaveExtension(c.ext);
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
  EXPECT_EQ(rec.firstFileThen[1], "x1 x2");  // still pending
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
  TempDir dir;
  const std::string file = dir.Write("f.txt", "x x");
  dir.Write("g.txt", "x");
  R re = Changer("x", "y", dir.Join("*.txt"));
  // Another writer edits f.txt after its matches were found.
  re.SetOnChangingFiles([](R& r, std::string name, const REMatchInfo& m, unsigned, bool&) {
    if (m[0].position == 2 && name.size() > 5 && name.substr(name.size() - 5) == "f.txt") {
      Overwrite(name, "zz x x");
    }
    (void)r;
  });
  EXPECT_EQ(re.ChangeFiles(), 1u);
  EXPECT_EQ(ReadFile(file), "zz x x");
  EXPECT_EQ(ReadFile(dir.Join("g.txt")), "y");
  const auto* problems = re.GetChangeFilesErrors();
  ASSERT_NE(problems, nullptr);
  ASSERT_EQ(problems->size(), 1u);
  EXPECT_EQ(problems->front().problem, R::TextChanged);
  EXPECT_EQ(problems->front().fileName, file);
  EXPECT_EQ(problems->front().position, 0u);
  EXPECT_EQ(problems->front().text, "x");
  // The next run starts with an empty list.
  re.SetOnChangingFiles(nullptr);
  re.SetFilesToMatch(dir.Join("none*"));
  EXPECT_EQ(re.ChangeFiles(), 0u);
  EXPECT_EQ(re.GetChangeFilesErrors(), nullptr);
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
  if (std::system("command -v sed >/dev/null 2>&1") != 0) GTEST_SKIP() << "no sed";
  TempDir dir;
  const std::string ours = dir.MakeDir("ours"), theirs = dir.MakeDir("sed");
  const std::string copy = "cp -RL /usr/include/netinet /usr/include/net /usr/include/x86_64-linux-gnu/sys ";
  if (std::system((copy + ours + " 2>/dev/null && " + copy + theirs + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no system headers to copy";
  }
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
