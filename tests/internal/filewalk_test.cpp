// The file walk's inner parts: directory listing, wildcards, the reader's
// two paths (read and mapped), failures forced through the platform seam,
// the engine giving up on a file, and the active-object stack itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "filewalk/buffer_search.h"
#include "filewalk/file_walker.h"
#include "handlers/active_stack.h"
#include "platform/directory.h"
#include "platform/posix_file.h"
#include "platform/stack_slot.h"
#include "support/temp_dir.h"

namespace {

using RegexClass::FileMatch;
using RegexClass::RegularExpression;
using RegexClass::detail::Call;
using RegexClass::detail::ClearFaults;
using RegexClass::detail::Directory;
using RegexClass::detail::DirectoryEntry;
using RegexClass::detail::EntryKind;
using RegexClass::detail::FileWalker;
using RegexClass::detail::InjectFault;
using ravelin_test::TempDir;

// What the walker's plain callbacks saw; they have no user data.
struct Seen {
  std::vector<std::string> files;       // find: files; grep: one per match
  std::vector<std::int64_t> positions;  // grep: mark 0
  std::vector<unsigned> lines;          // grep
  std::vector<std::string> texts;       // grep: mark 0
  std::vector<std::string> failures;    // files the engine gave up on
  std::vector<std::string> reasons;
  bool stopAtFailure = false;
};
Seen* seen;

bool OnFind(const char* file) {
  seen->files.emplace_back(file);
  return true;
}
bool OnGrep(const char* file, const FileMatch& m) {
  seen->files.emplace_back(file);
  seen->positions.push_back(m.Position(0));
  seen->lines.push_back(m.Line());
  seen->texts.push_back(m.What(0));
  return true;
}
bool OnFailure(const char* file, const std::string& reason) {
  seen->failures.emplace_back(file);
  seen->reasons.push_back(reason);
  return !seen->stopAtFailure;
}

class WalkInternals : public ::testing::Test {
 protected:
  void SetUp() override { seen = &seen_; }
  void TearDown() override { ClearFaults(); }

  unsigned Grep(const std::string& expression, const std::string& spec, bool recurse) {
    FileWalker walker;
    EXPECT_EQ(walker.SetExpression(expression, false), 0u);
    return walker.GrepFiles(&OnGrep, spec, recurse, 0, &OnFailure);
  }
  unsigned Find(const std::string& expression, const std::string& spec, bool recurse) {
    FileWalker walker;
    EXPECT_EQ(walker.SetExpression(expression, false), 0u);
    return walker.FindFiles(&OnFind, spec, recurse, 0, &OnFailure);
  }

  TempDir dir_;
  Seen seen_;
};

}  // namespace

TEST(DirectoryListing, KindsOfEntries) {
  TempDir dir;
  dir.Write("d/file", "x");
  dir.MakeDir("d/sub");
  ASSERT_EQ(symlink("file", dir.Join("d/to-file").c_str()), 0);
  ASSERT_EQ(symlink("sub", dir.Join("d/to-sub").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", dir.Join("d/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Join("d/fifo").c_str(), 0600), 0);

  int err = 0;
  Directory d = Directory::Open(dir.Join("d"), false, &err);
  ASSERT_TRUE(d.Valid()) << err;
  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(d.ReadEntries(&entries, &err));
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  const std::vector<std::pair<std::string, EntryKind>> want = {
      {"dangling", EntryKind::Other}, {"fifo", EntryKind::Other},   {"file", EntryKind::File},
      {"sub", EntryKind::Directory},  {"to-file", EntryKind::File}, {"to-sub", EntryKind::LinkToDirectory},
  };
  ASSERT_EQ(entries.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(entries[i].name, want[i].first);
    const EntryKind kind = entries[i].kind == EntryKind::Unresolved ? d.Resolve(entries[i].name) : entries[i].kind;
    EXPECT_EQ(kind, want[i].second) << want[i].first;
  }
  EXPECT_EQ(d.Resolve("vanished"), EntryKind::Other);

  // A link is refused where links must not be followed, taken where they may.
  EXPECT_FALSE(Directory::Open(dir.Join("d/to-sub"), false, &err).Valid());
  EXPECT_TRUE(Directory::Open(dir.Join("d/to-sub"), true, &err).Valid());
  EXPECT_FALSE(Directory::Open(dir.Join("d/file"), true, &err).Valid());
  EXPECT_EQ(err, ENOTDIR);
  InjectFault(Call::OpenDir, EACCES);
  EXPECT_FALSE(Directory::Open(dir.Join("d"), true, &err).Valid());
  EXPECT_EQ(err, EACCES);
  ClearFaults();
}

TEST(DirectoryListing, Wildcards) {
  using RegexClass::detail::HasWildcard;
  using RegexClass::detail::WildcardMatch;
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.txt", "a.txt", true},
      {"*.txt", ".txt", true},
      {"*.txt", ".hidden.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"?.c", "a.c", true},
      {"?.c", "ab.c", false},
      {"[ab]*", "b1", true},
      {"[!ab]*", "b1", false},
      {"[a-c].h", "c.h", true},
      {"\\*.txt", "*.txt", true},
      {"\\*.txt", "a.txt", false},
      {"*", "\xff\xfe", true},
      {"A*", "a", false},
  };
  for (const Case& c : cases) EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  EXPECT_TRUE(HasWildcard("a*"));
  EXPECT_TRUE(HasWildcard("[x]"));
  EXPECT_TRUE(HasWildcard("?"));
  EXPECT_FALSE(HasWildcard("plain.txt"));
}

TEST_F(WalkInternals, PositionsAndLinesCountFromTheFileStart) {
  dir_.Write("a.txt", "one two\nthree two");
  dir_.Write("b.txt", std::string("two\0two\r\ntwo", 12));
  dir_.Write("c.txt", "");
  dir_.Write("d/e.txt", std::string(100000, 'x') + "two\n");
  EXPECT_EQ(Grep("two", dir_.path(), true), 6u);
  EXPECT_EQ(seen_.positions, (std::vector<std::int64_t>{4, 14, 0, 4, 9, 100000}));
  EXPECT_EQ(seen_.lines, (std::vector<unsigned>{1, 2, 1, 1, 2, 1}));
}

TEST_F(WalkInternals, FailedCallsSkipOnlyTheirFile) {
  for (const char* n : {"a.txt", "b.txt", "c.txt", "sub/d.txt", "sub/deeper/e.txt", "tail/f.txt"}) {
    dir_.Write(n, "hit\n");
  }
  const std::string spec = dir_.Join("*.txt");
  auto names = [this](std::vector<std::string> v) {
    for (std::string& n : v) n = dir_.Join(n);
    return v;
  };
  struct Case {
    const char* name;
    Call call;
    int skip;
    std::vector<std::string> found;
  };
  const Case cases[] = {
      {"second open fails", Call::Open, 1, {"a.txt", "c.txt", "sub/d.txt", "sub/deeper/e.txt", "tail/f.txt"}},
      {"first read fails", Call::Read, 0, {"b.txt", "c.txt", "sub/d.txt", "sub/deeper/e.txt", "tail/f.txt"}},
      {"a subdirectory cannot be opened", Call::OpenDir, 1, {"a.txt", "b.txt", "c.txt", "tail/f.txt"}},
      {"the top directory cannot be opened", Call::OpenDir, 0, {}},
      {"a file cannot be stat'ed after opening",
       Call::Stat,
       2,
       {"a.txt", "b.txt", "sub/d.txt", "sub/deeper/e.txt", "tail/f.txt"}},
  };
  for (const Case& c : cases) {
    seen_ = Seen();
    InjectFault(c.call, EIO, c.skip);
    const unsigned n = Grep("hit", spec, true);
    ClearFaults();
    EXPECT_EQ(seen_.files, names(c.found)) << c.name;
    EXPECT_EQ(n, c.found.size()) << c.name;
  }
}

TEST_F(WalkInternals, SizeIsOnlyAHint) {
  // Files under /proc report size 0 yet have content.
  EXPECT_EQ(Grep("^Name:", "/proc/self/status", false), 1u);
}

TEST_F(WalkInternals, EngineGivingUpEndsOnlyThatFile) {
  // The second alternative sends the engine past its complexity limit on a
  // long run of x; "a" alone is found before that.
  const std::string hard = "a|(x+x+)+y";
  dir_.Write("1.txt", "a" + std::string(40, 'x'));
  dir_.Write("2.txt", "a\na\n");
  EXPECT_EQ(Grep(hard, dir_.Join("*.txt"), false), 3u);
  EXPECT_EQ(seen_.files, (std::vector<std::string>{dir_.Join("1.txt"), dir_.Join("2.txt"), dir_.Join("2.txt")}));
  EXPECT_EQ(seen_.failures, (std::vector<std::string>{dir_.Join("1.txt")}));
  ASSERT_EQ(seen_.reasons.size(), 1u);
  EXPECT_FALSE(seen_.reasons[0].empty());

  // The failure callback may end the walk.
  seen_ = Seen();
  seen_.stopAtFailure = true;
  EXPECT_EQ(Grep(hard, dir_.Join("*.txt"), false), 1u);

  // FindFiles: a file whose search fails before any match is no match.
  seen_ = Seen();
  dir_.Write("1.txt", std::string(40, 'x'));
  EXPECT_EQ(Find(hard, dir_.Join("*.txt"), false), 1u);
  EXPECT_EQ(seen_.files, (std::vector<std::string>{dir_.Join("2.txt")}));
  EXPECT_EQ(seen_.failures, (std::vector<std::string>{dir_.Join("1.txt")}));
}

TEST_F(WalkInternals, NullCallbacksOnlyCount) {
  dir_.Write("a.txt", "x x\n");
  dir_.Write("b.txt", "x\n");
  FileWalker walker;
  ASSERT_EQ(walker.SetExpression("x", false), 0u);
  EXPECT_EQ(walker.GrepFiles(nullptr, dir_.Join("*.txt"), false, 0), 3u);
  EXPECT_EQ(walker.FindFiles(nullptr, dir_.Join("*.txt"), false, 0), 2u);
  // Icase and the expression's end at a NUL.
  ASSERT_EQ(walker.SetExpression(std::string("X\0junk(", 7), true), 0u);
  EXPECT_EQ(walker.GrepFiles(nullptr, dir_.Join("*.txt"), false, 0), 3u);
  EXPECT_NE(walker.SetExpression("(", false), 0u);
  EXPECT_EQ(walker.GrepFiles(nullptr, dir_.Join("*.txt"), false, 0), 0u);
}

TEST_F(WalkInternals, DeepTreeNeedsNoDescriptorPerLevel) {
  std::string path;
  for (int i = 0; i < 60; ++i) path += "d/";
  dir_.Write(path + "bottom.txt", "hit\n");
  EXPECT_EQ(Find("hit", dir_.Join("*.txt"), true), 1u);
}

TEST(BufferSearch, LinesStayLinearOverAMillionMatches) {
  using namespace RegexClass::detail;
  const unsigned count = 1000000;
  std::string text;
  text.reserve(std::size_t{2} * count);
  for (unsigned i = 0; i < count; ++i) text += "x\n";
  struct Sink : MatchSink {
    unsigned seen = 0;
    bool inOrder = true;
    bool OnMatch(const MatchView& view, unsigned line) override {
      ++seen;
      if (line != seen || (*view.match)[0].first - view.base != 2 * static_cast<std::ptrdiff_t>(seen - 1)) {
        inOrder = false;
      }
      return true;
    }
  } sink;
  boost::regex e("x");
  const BufferSearchResult r =
      SearchBuffer(text.data(), text.data() + text.size(), e, boost::match_default, SearchScope::AllMatches, &sink);
  EXPECT_EQ(r.matches, count);
  EXPECT_EQ(sink.seen, count);
  EXPECT_TRUE(sink.inOrder);
  EXPECT_FALSE(r.failed);
}

TEST(BufferSearch, ScopesAndEmptyMatches) {
  using namespace RegexClass::detail;
  struct Sink : MatchSink {
    std::vector<std::ptrdiff_t> at;
    std::size_t stopAfter = 0;
    bool OnMatch(const MatchView& view, unsigned) override {
      at.push_back((*view.match)[0].first - view.base);
      return at.size() != stopAfter;
    }
  };
  const std::string text = "baa";
  const char* first = text.data();
  const char* last = first + text.size();
  boost::regex e("a*");
  Sink all;
  EXPECT_EQ(SearchBuffer(first, last, e, boost::match_default, SearchScope::AllMatches, &all).matches, 3u);
  EXPECT_EQ(all.at, (std::vector<std::ptrdiff_t>{0, 1, 3}));  // empty, "aa", empty at the end
  Sink one;
  EXPECT_EQ(SearchBuffer(first, last, e, boost::match_default, SearchScope::FirstMatch, &one).matches, 1u);
  Sink stopper;
  stopper.stopAfter = 2;
  const BufferSearchResult r = SearchBuffer(first, last, e, boost::match_default, SearchScope::AllMatches, &stopper);
  EXPECT_EQ(r.matches, 2u);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(SearchBuffer(first, last, e, boost::match_default, SearchScope::AllMatches, nullptr).matches, 3u);
}

namespace {
bool onTop;
bool stackHeld;
void CheckStack(RegularExpression& re, std::string, bool&) {
  onTop = RegexClass::detail::TopActiveObject() == &re;
  stackHeld = RegexClass::detail::GetStackSlot() != nullptr;
}
void Throw(RegularExpression&, std::string, bool&) { throw std::runtime_error("handler"); }
}  // namespace

TEST(ActiveStack, LifecycleOnAFreshThread) {
  TempDir dir;
  dir.Write("a.txt", "hit\n");
  std::thread([&dir] {
    using RegexClass::detail::GetStackSlot;
    using RegexClass::detail::TopActiveObject;
    EXPECT_EQ(GetStackSlot(), nullptr);
    RegularExpression re;
    re.SetExpression("hit");
    re.SetFilesToMatch(dir.Join("a.txt"));
    re.SetOnFindFiles(&CheckStack);
    onTop = stackHeld = false;
    EXPECT_EQ(re.FindFiles(), 1u);
    EXPECT_TRUE(onTop);
    EXPECT_TRUE(stackHeld);
    // After the operation the stack is there and empty.
    EXPECT_NE(GetStackSlot(), nullptr);
    EXPECT_EQ(TopActiveObject(), nullptr);
    // An exception out of a handler pops the entry all the same.
    re.SetOnFindFiles(&Throw);
    EXPECT_THROW(re.FindFiles(), std::runtime_error);
    EXPECT_EQ(TopActiveObject(), nullptr);
    // Destroying an object with no operation running frees the empty stack.
    { RegularExpression other; }
    EXPECT_EQ(GetStackSlot(), nullptr);
    re.SetOnFindFiles(nullptr);
    EXPECT_EQ(re.FindFiles(), 1u);
    EXPECT_NE(GetStackSlot(), nullptr);
  }).join();
}

TEST(ActiveStack, WithoutASlotFileOperationsDoNotStart) {
  TempDir dir;
  dir.Write("a.txt", "hit\n");
  { RegularExpression releaser; }           // the calling thread's empty stack goes with it
  RegexClass::detail::FinalizeClassUnit();  // as if no slot could be had
  static int events;
  events = 0;
  RegularExpression re;
  re.SetExpression("hit");
  re.SetFilesToMatch(dir.Join("a.txt"));
  re.SetOnFindFiles([](RegularExpression&, std::string, bool&) { ++events; });
  re.SetOnGreppingFiles(
      [](RegularExpression&, std::string, const RegexClass::REMatchInfo&, unsigned, bool&) { ++events; });
  const unsigned found = re.FindFiles();
  const unsigned grepped = re.GrepFiles();
  RegexClass::detail::InitializeClassUnit();
  EXPECT_EQ(found, 0u);
  EXPECT_EQ(grepped, 0u);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(re.FindFiles(), 1u);
}
