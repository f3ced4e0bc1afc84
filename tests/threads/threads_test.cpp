// libravelin.so on several threads at once. Each thread runs the same round
// of work with its own objects: string operations (Search, Grep with Format,
// Merge) on two objects copied from prototypes compiled on the main thread
// (the copies share the compiled form), then FindFiles, GrepFiles and
// ChangeFiles on a tree of its own, with a file operation started from inside
// each file handler on an object created and destroyed there. Every thread's
// results must equal those of the same round run alone first. The test is
// built with ThreadSanitizer in `make test-thread`, which watches the shared
// compiled forms, the per-thread active-object stacks and the library's
// process-wide state for data races.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using ravelin_test::TempDir;

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 6;

// Lets every thread start its rounds at the same moment.
class StartLine {
 public:
  explicit StartLine(int count) : waiting_(count) {}
  void ArriveAndWait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (--waiting_ == 0) cv_.notify_all();
    cv_.wait(lock, [this] { return waiting_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int waiting_;
};

// What one round gives; compared whole between the lone run and each thread.
struct RoundResult {
  bool searched = false;
  std::vector<std::string> formatted;  // Format of every Grep match
  std::string merged;
  unsigned wordCount = 0;
  std::vector<std::string> found;    // FindFiles, with the nested GrepFiles count of each
  std::vector<std::string> grepped;  // GrepFiles: file, line and text of every match
  unsigned changed = 0;
  std::vector<std::string> changedFiles;   // contents after ChangeFiles
  std::vector<std::string> nestedChanges;  // nested ChangeFiles from the GrepFiles handler

  bool operator==(const RoundResult& o) const {
    return searched == o.searched && formatted == o.formatted && merged == o.merged && wordCount == o.wordCount &&
           found == o.found && grepped == o.grepped && changed == o.changed && changedFiles == o.changedFiles &&
           nestedChanges == o.nestedChanges;
  }
};

const char kSubject[] =
    "anna@example wrote to bob@host on monday\n"
    "carl@site answered; dora@place and eve@node were copied\n"
    "nobody else was told\n";

// A tree of its own for each run: a/ holds the files the outer operations
// walk, b/ the ones the nested operations walk.
void MakeTree(const TempDir& dir, const std::string& root) {
  dir.Write(root + "/a/1.txt", "grey cat\nblack dog\n");
  dir.Write(root + "/a/2.txt", "no colour here\n");
  dir.Write(root + "/a/sub/3.txt", "grey sky, gray sea\n");
  dir.Write(root + "/a/sub/deeper/4.txt", "a gray day\nand a grey night\n");
  dir.Write(root + "/b/x.txt", "grey\ngrey\n");
  dir.Write(root + "/b/y.log", "gray\n");
}

class Round {
 public:
  Round(const RegularExpression& mailPrototype, const RegularExpression& wordPrototype, const TempDir& dir,
        const std::string& root)
      : mail_(mailPrototype), word_(wordPrototype), root_(dir.Join(root)) {}

  RoundResult Run() {
    RoundResult r;
    // Strings: two objects, both copies of prototypes compiled elsewhere.
    mail_.SetStringToMatch(kSubject);
    r.searched = mail_.Search();
    mail_.SetOnGreppingClosure(RegularExpression::OnGreppingClosure(this, &Round::OnGrep));
    formatted_ = &r.formatted;
    mail_.Grep();
    mail_.SetOnGreppingClosure(RegularExpression::OnGreppingClosure());
    mail_.Merge(r.merged);
    word_.SetStringToMatch(kSubject);
    r.wordCount = word_.Grep();

    // Files: the outer object walks a/, each handler walks b/ with a fresh
    // object.
    result_ = &r;
    RegularExpression files;
    files.SetExpression("gr[ae]y");
    files.SetFilesToMatch(root_ + "/a/*.txt");
    files.SetDirectoryRecursion(true);
    files.SetOnFindFilesClosure(RegularExpression::OnFindFilesClosure(this, &Round::OnFind));
    files.FindFiles();
    files.SetOnGreppingFilesClosure(RegularExpression::OnGreppingFilesClosure(this, &Round::OnGrepFile));
    files.GrepFiles();

    RegularExpression change(files);
    change.SetFormatString("silver");
    r.changed = change.ChangeFiles();
    if (change.GetChangeFilesErrors() != nullptr) r.changed += 1000;
    for (const char* f : {"/a/1.txt", "/a/2.txt", "/a/sub/3.txt", "/a/sub/deeper/4.txt", "/b/x.txt", "/b/y.log"}) {
      r.changedFiles.push_back(ravelin_test::ReadFile(root_ + f));
    }
    return r;
  }

 private:
  void OnGrep(RegularExpression& re, const REMatchInfo&, unsigned, unsigned, bool&) {
    std::string out;
    re.Format(out);
    formatted_->push_back(out);
  }

  // A FindFiles handler starts a GrepFiles of its own.
  void OnFind(RegularExpression&, std::string file, bool&) {
    RegularExpression inner;
    inner.SetExpression("grey");
    inner.SetFilesToMatch(root_ + "/b");
    result_->found.push_back(Relative(file) + " " + std::to_string(inner.GrepFiles()));
  }

  // A GrepFiles handler, at the first match of each file, changes b/y.log
  // back and forth with a ChangeFiles of its own.
  void OnGrepFile(RegularExpression&, std::string file, const REMatchInfo& m, unsigned line, bool&) {
    result_->grepped.push_back(Relative(file) + ":" + std::to_string(line) + ":" + m[0].text);
    if (file == lastFile_) return;
    lastFile_ = file;
    RegularExpression inner;
    inner.SetExpression(flip_ ? "grey" : "gray");
    inner.SetFormatString(flip_ ? "gray" : "grey");
    inner.SetFilesToMatch(root_ + "/b/y.log");
    flip_ = !flip_;
    const unsigned replaced = inner.ChangeFiles();
    result_->nestedChanges.push_back(std::to_string(replaced) + " " + ravelin_test::ReadFile(root_ + "/b/y.log"));
  }

  std::string Relative(const std::string& file) const { return file.substr(root_.size()); }

  RegularExpression mail_;
  RegularExpression word_;
  std::string root_;
  RoundResult* result_ = nullptr;
  std::vector<std::string>* formatted_ = nullptr;
  std::string lastFile_;
  bool flip_ = false;
};

}  // namespace

TEST(Threads, EveryThreadGetsTheLoneRunsResults) {
  RegularExpression mail;
  mail.SetExpression("(\\w+)@(\\w+)");
  mail.SetFormatString("$2:$1");
  mail.SetMergeCopy(true);
  RegularExpression word;
  word.SetExpression("\\b[a-z]+\\b");
  word.AddExpressionOption(RegularExpression::Icase);
  ASSERT_EQ(mail.ParseExpression(), 0);
  ASSERT_EQ(word.ParseExpression(), 0);

  TempDir dir;
  MakeTree(dir, "alone");
  const RoundResult expected = Round(mail, word, dir, "alone").Run();
  // The lone run itself, against what the texts hold.
  EXPECT_TRUE(expected.searched);
  EXPECT_EQ(expected.formatted,
            (std::vector<std::string>{"example:anna", "host:bob", "site:carl", "place:dora", "node:eve"}));
  EXPECT_EQ(expected.wordCount, 22u);
  EXPECT_EQ(expected.found, (std::vector<std::string>{"/a/1.txt 2", "/a/sub/3.txt 2", "/a/sub/deeper/4.txt 2"}));
  EXPECT_EQ(expected.grepped.size(), 5u);
  EXPECT_EQ(expected.changed, 5u);
  EXPECT_EQ(expected.changedFiles[0], "silver cat\nblack dog\n");
  EXPECT_EQ(expected.nestedChanges, (std::vector<std::string>{"1 grey\n", "1 gray\n", "1 grey\n"}));

  StartLine start(kThreads);
  std::vector<std::vector<RoundResult>> results(kThreads);
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.ArriveAndWait();
      for (int round = 0; round < kRounds; ++round) {
        const std::string root = "t" + std::to_string(t) + "r" + std::to_string(round);
        MakeTree(dir, root);
        results[t].push_back(Round(mail, word, dir, root).Run());
      }
    });
  }
  for (std::thread& th : threads) th.join();

  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(results[t].size(), static_cast<std::size_t>(kRounds));
    for (int round = 0; round < kRounds; ++round) {
      EXPECT_TRUE(results[t][round] == expected) << "thread " << t << ", round " << round;
    }
  }
}

// One object, many threads: Find, FindAll and Replace are const and may run
// on one object at once. The object is not compiled beforehand, so the
// threads' first calls race to compile it.
TEST(Threads, ValueOperationsShareOneObject) {
  std::string text;
  for (int k = 0; text.size() < std::size_t{64} * 1024; ++k) {
    text += "line " + std::to_string(k) + ": mail u" + std::to_string(k) + "@host" + std::to_string(k % 7) + " ok\n";
  }
  const RegularExpression mail("(?<user>\\w+)@(\\w+)");
  const auto walk = [&] {
    std::string all;
    std::vector<RegexClass::MatchResult> kept;  // copies outlive their step
    for (const RegexClass::MatchResult& m : mail.FindAll(text)) {
      all += std::string(m.Group("user")) + '@' + std::to_string(m.Position(2)) + ':' + std::to_string(m.Line()) + ' ';
      kept.push_back(m);
    }
    for (const auto& m : kept) all += m[2];
    const auto first = mail.Find(text);
    all += first ? std::string((*first)[0]) : "none";
    all += mail.Replace(text, "$2=$1");
    all += mail.Replace(text, [](const RegexClass::MatchResult& m) { return m.Prefix().substr(0, 2); });
    all += mail.GetLastSearchError();
    return all;
  };

  // Fresh objects that every thread's first call finds uncompiled.
  std::vector<std::unique_ptr<RegularExpression>> fresh;
  fresh.reserve(64);
  for (int k = 0; k < 64; ++k)
    fresh.push_back(std::make_unique<RegularExpression>("(\\w+)@host" + std::to_string(k % 7)));

  StartLine start(kThreads);
  std::vector<std::string> results(kThreads);
  std::vector<std::string> firsts(kThreads);
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.ArriveAndWait();
      for (const auto& re : fresh) {
        const auto m = re->Find(text);
        firsts[t] += m ? std::string((*m)[1]) : "none";
      }
      for (int round = 0; round < kRounds; ++round) results[t] = walk();
    });
  }
  for (std::thread& th : threads) th.join();
  const std::string expected = walk();
  EXPECT_NE(expected.find("u0@"), std::string::npos);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(results[t] == expected) << "thread " << t;
    EXPECT_EQ(firsts[t], firsts[0]);
  }
  EXPECT_EQ(firsts[0].substr(0, 4), "u0u1");
}
