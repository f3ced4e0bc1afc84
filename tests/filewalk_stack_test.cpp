// The active-object stack as file operations see it: nested operations,
// objects destroyed inside handlers, exceptions out of handlers, and (in the
// threads library) file operations on several threads at once.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using ravelin_test::TempDir;

namespace {

// Every event, with the object it was raised for.
struct Event {
  RegularExpression* object;
  std::string file;
};

// Two small trees: "outer" with three files, "inner" with two.
class FileWalkStack : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"1.txt", "2.txt", "3.txt"}) dir_.Write(std::string("outer/") + n, "hit\n");
    for (const char* n : {"1.txt", "2.txt"}) dir_.Write(std::string("inner/") + n, "hit\n");
  }
  std::string Outer() const { return dir_.Join("outer/*.txt"); }
  std::string Inner() const { return dir_.Join("inner/*.txt"); }
  TempDir dir_;
};

// The handlers below reach their test through these.
std::vector<Event>* events;
RegularExpression* nested;
RegularExpression* victim;

void RecordFind(RegularExpression& re, std::string file, bool&) { events->push_back(Event{&re, file}); }
void RecordGrep(RegularExpression& re, std::string file, const REMatchInfo&, unsigned, bool&) {
  events->push_back(Event{&re, file});
}

// At the first event, runs the nested object's operation.
void FindThenNest(RegularExpression& re, std::string file, bool&) {
  events->push_back(Event{&re, file});
  if (events->size() == 1) nested->FindFiles();
}
void GrepThenNest(RegularExpression& re, std::string file, const REMatchInfo&, unsigned, bool&) {
  events->push_back(Event{&re, file});
  if (events->size() == 1) nested->GrepFiles();
}

}  // namespace

TEST_F(FileWalkStack, NestedOperationHearsOnlyItsOwnObject) {
  for (bool grep : {false, true}) {
    std::vector<Event> seen;
    events = &seen;
    RegularExpression outer;
    RegularExpression inner;
    nested = &inner;
    outer.SetExpression("hit");
    outer.SetFilesToMatch(Outer());
    inner.SetExpression("hit");
    inner.SetFilesToMatch(Inner());
    if (grep) {
      outer.SetOnGreppingFiles(&GrepThenNest);
      inner.SetOnGreppingFiles(&RecordGrep);
      EXPECT_EQ(outer.GrepFiles(), 3u);
    } else {
      outer.SetOnFindFiles(&FindThenNest);
      inner.SetOnFindFiles(&RecordFind);
      EXPECT_EQ(outer.FindFiles(), 3u);
    }
    const std::vector<Event> want = {
        {&outer, dir_.Join("outer/1.txt")}, {&inner, dir_.Join("inner/1.txt")}, {&inner, dir_.Join("inner/2.txt")},
        {&outer, dir_.Join("outer/2.txt")}, {&outer, dir_.Join("outer/3.txt")},
    };
    ASSERT_EQ(seen.size(), want.size()) << (grep ? "grep" : "find");
    for (std::size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(seen[i].object, want[i].object) << i;
      EXPECT_EQ(seen[i].file, want[i].file) << i;
    }
  }
}

namespace {
void DestroyVictim(RegularExpression& re, std::string file, bool&) {
  events->push_back(Event{&re, file});
  delete victim;  // its destructor must leave the running operation's stack alone
  victim = nullptr;
}
}  // namespace

TEST_F(FileWalkStack, DestroyingAnotherObjectInsideAHandler) {
  std::vector<Event> seen;
  events = &seen;
  RegularExpression re;
  re.SetExpression("hit");
  re.SetFilesToMatch(Outer());
  re.SetOnFindFiles(&DestroyVictim);
  victim = new RegularExpression();
  EXPECT_EQ(re.FindFiles(), 3u);
  ASSERT_EQ(seen.size(), 3u);
  for (const Event& e : seen) EXPECT_EQ(e.object, &re);
  // Afterwards the thread's stack is empty and may be released; operations go on working.
  { RegularExpression passerBy; }
  EXPECT_EQ(re.FindFiles(), 3u);
}

namespace {
struct HandlerFailure : std::runtime_error {
  HandlerFailure() : std::runtime_error("handler failed") {}
};
void ThrowingFind(RegularExpression&, std::string, bool&) { throw HandlerFailure(); }
void ThrowingGrep(RegularExpression&, std::string, const REMatchInfo&, unsigned, bool&) { throw HandlerFailure(); }
}  // namespace

TEST_F(FileWalkStack, HandlerExceptionLeavesTheStackBalanced) {
  RegularExpression re;
  re.SetExpression("hit");
  re.SetFilesToMatch(Outer());
  re.SetOnFindFiles(&ThrowingFind);
  re.SetOnGreppingFiles(&ThrowingGrep);
  EXPECT_THROW(re.FindFiles(), HandlerFailure);
  EXPECT_THROW(re.GrepFiles(), HandlerFailure);
  // Nothing is left on the stack: the static callbacks find no object.
  EXPECT_FALSE(RegularExpression::FindFilesCallback("x"));
  // The object works on.
  re.SetOnFindFiles(nullptr);
  EXPECT_EQ(re.FindFiles(), 3u);
}

TEST(FileWalkStaticCallbacks, NoObjectOutsideAFileOperation) {
  EXPECT_FALSE(RegularExpression::FindFilesCallback("x"));
}

namespace {

// Lets two threads meet inside their handlers, so that both file operations
// are running at the same time. Gives up after a while instead of hanging
// (long enough for a loaded machine under a sanitizer).
class Meeting {
 public:
  bool Arrive() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++arrived_;
    cv_.notify_all();
    return cv_.wait_for(lock, std::chrono::minutes(2), [this] { return arrived_ >= 2; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int arrived_ = 0;
};

// The threads meet at their first and at their second event: after the
// first meeting both operations are under way, and neither can finish before
// the other has gone on past it.
struct ThreadRun {
  RegularExpression re;
  Meeting* meetings = nullptr;  // two
  std::string prefix;
  unsigned events = 0;
  unsigned strangers = 0;  // events for another object or another tree
  bool met = true;

  void OnGrep(RegularExpression& r, std::string file, const REMatchInfo&, unsigned, bool&) {
    if (&r != &re || file.compare(0, prefix.size(), prefix) != 0) ++strangers;
    if (events < 2) met = meetings[events].Arrive() && met;
    ++events;
  }
};

}  // namespace

TEST(FileWalkThreads, EachThreadHearsItsOwnObject) {
  const char* library = std::getenv("RAVELIN_LIBRARY");
  if (library == nullptr || std::string(library) != "ravelin") {
    GTEST_SKIP() << "file operations on several threads at once need libravelin.so";
  }
  TempDir dir;
  for (int f = 0; f < 20; ++f) {
    dir.Write("a/" + std::to_string(f) + ".txt", "hit hit\n");
    dir.Write("b/" + std::to_string(f) + ".txt", "hit hit hit\n");
  }
  Meeting meetings[2];
  ThreadRun runs[2];
  const char* trees[2] = {"a", "b"};
  unsigned results[2] = {0, 0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    ThreadRun& run = runs[t];
    run.meetings = meetings;
    run.prefix = dir.Join(trees[t]) + "/";
    run.re.SetExpression("hit");
    run.re.SetFilesToMatch(dir.Join(trees[t]));
    run.re.SetOnGreppingFilesClosure(RegularExpression::OnGreppingFilesClosure(&run, &ThreadRun::OnGrep));
    threads.emplace_back([&run, &results, t] {
      // The thread ends holding its (empty) stack: the library frees it then,
      // which the leak check of the sanitizer build would catch otherwise.
      results[t] = run.re.GrepFiles();
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 2; ++t) {
    EXPECT_TRUE(runs[t].met) << "the two operations did not run at the same time";
    EXPECT_EQ(runs[t].strangers, 0u) << t;
    EXPECT_EQ(runs[t].events, results[t]) << t;
  }
  EXPECT_EQ(results[0], 40u);
  EXPECT_EQ(results[1], 60u);
}
