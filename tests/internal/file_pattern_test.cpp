// The walk of a file pattern on its own: order and naming over a tree with
// links, dot-names and leftovers of an interrupted run; what it reports as
// skipped; depth far beyond PATH_MAX under a low descriptor limit; a tree
// that changes while the walk is deep below.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "filewalk/file_pattern.h"
#include "platform/posix_file.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace {

using RegexClass::detail::FileVisitor;
using RegexClass::detail::WalkFile;
using ravelin_test::TempDir;

std::string V(const std::string& name) { return "V " + name; }
std::string S(const std::string& name, int err) { return "S " + name + " " + std::to_string(err); }

// Records the walk; each file is read through its directory descriptor, as
// the searching code reads it.
class Recording final : public FileVisitor {
 public:
  std::vector<std::string> events;
  std::function<void()> onFirstVisit;

  bool Visit(const WalkFile& file) override {
    std::string content;
    const int fd = ::openat(file.directoryFd, file.entryName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      char buf[16];
      const ssize_t got = ::read(fd, buf, sizeof buf);
      if (got > 0) content.assign(buf, static_cast<std::size_t>(got));
      ::close(fd);
    }
    events.push_back(V(file.displayName) + (content == "hit\n" ? "" : " (not read: " + std::to_string(errno) + ")"));
    if (onFirstVisit) {
      onFirstVisit();
      onFirstVisit = nullptr;
    }
    return true;
  }
  void Skip(const std::string& displayName, int err) override { events.push_back(S(displayName, err)); }
};

std::vector<std::string> Walked(const std::string& spec, bool recurse) {
  Recording r;
  RegexClass::detail::WalkFilePattern(spec, recurse, r);
  return r.events;
}

// Runs body in a child process and hands back the strings it returned.
std::vector<std::string> InChild(const std::function<std::vector<std::string>()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return {"no pipe"};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string out;
    for (const std::string& s : body()) out += s + '\0';
    for (std::size_t done = 0; done < out.size();) {
      const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) ::_exit(1);
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string all;
  char buf[65536];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) all.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::vector<std::string> result;
  for (std::size_t at = 0, end; (end = all.find('\0', at)) != std::string::npos; at = end + 1) {
    result.push_back(all.substr(at, end - at));
  }
  return result;
}

// The walk as a user without privileges sees it.
std::vector<std::string> WalkedAsNobody(const std::string& spec, bool recurse) {
  return InChild([&] {
    if (!ravelin_test::BecomeUnprivileged()) {
      return std::vector<std::string>{"cannot drop privileges"};
    }
    return Walked(spec, recurse);
  });
}

}  // namespace

TEST(FilePatternWalk, OrderAndNamesOverLinksDotNamesAndLeftovers) {
  TempDir dir;
  const std::string R = dir.Join("r");
  const std::vector<std::string> files = {"b.txt", "a.txt", "B.txt", ".dot.txt", "new\nline.txt", "\xff.txt",
                                          ".hidden/a.txt", "sub/a.txt", "sub/deeper/a.txt",
                                          // Leftovers of an interrupted update: only the exact form is one.
                                          ".ravelin-Ab3dE9", "sub/.ravelin-zzzzzz", ".ravelin-Ab3dE",
                                          ".ravelin-Ab3dE9x", ".ravelin-Ab_dE9"};
  for (const std::string& f : files) dir.Write("r/" + f, "hit\n");
  dir.Write("elsewhere/target.txt", "hit\n");
  ASSERT_EQ(symlink("../elsewhere/target.txt", (R + "/link.txt").c_str()), 0);
  ASSERT_EQ(symlink("missing", (R + "/dangling.txt").c_str()), 0);
  ASSERT_EQ(symlink("sub", (R + "/dirlink").c_str()), 0);
  ASSERT_EQ(symlink(".", (R + "/loop").c_str()), 0);
  ASSERT_EQ(mkfifo((R + "/fifo.txt").c_str(), 0600), 0);

  auto in = [&R](std::vector<std::string> names) {
    for (std::string& n : names) n = V(R + "/" + n);
    return names;
  };
  struct Case {
    std::string spec;
    bool recurse;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"/*", true,
       in({".dot.txt", ".ravelin-Ab3dE", ".ravelin-Ab3dE9x", ".ravelin-Ab_dE9", "B.txt", "a.txt", "b.txt", "link.txt",
           "new\nline.txt", "\xff.txt", ".hidden/a.txt", "sub/a.txt", "sub/deeper/a.txt"})},
      {"/*.txt", false, in({".dot.txt", "B.txt", "a.txt", "b.txt", "link.txt", "new\nline.txt", "\xff.txt"})},
      {"/a.txt", true, in({"a.txt", ".hidden/a.txt", "sub/a.txt", "sub/deeper/a.txt"})},
      {"/sub//", true, in({"sub/a.txt", "sub/deeper/a.txt"})},
      {"/dirlink", false, in({"dirlink/a.txt"})},  // named by the pattern: followed
      {"/link.txt", false, in({"link.txt"})},
      {"/new\nline.txt", false, in({"new\nline.txt"})},
      {"/fifo.txt", false, {}},
      {"/.ravelin-Ab3dE9", false, {}},
      {"/*.none", true, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Walked(R + c.spec, c.recurse), c.want) << c.spec;
}

TEST(FilePatternWalk, WhatCannotBeWalkedIsReported) {
  TempDir dir;
  dir.Write("a.txt", "hit\n");
  dir.Write(".hidden/b.txt", "hit\n");
  dir.Write("sub/c.txt", "hit\n");
  ASSERT_EQ(symlink("missing", dir.Join("dangling.txt").c_str()), 0);
  struct Case {
    std::string spec;
    bool recurse;
    int err;
  };
  const Case cases[] = {
      {"missing/*.txt", false, ENOENT}, {"missing/*.txt", true, ENOENT}, {"missing.txt", false, ENOENT},
      {"missing/a.txt", false, ENOENT}, {"missing/a.txt", true, ENOENT}, {"dangling.txt", false, ENOENT},
      {"a.txt/*.txt", false, ENOTDIR},  {"a.txt/b.txt", false, ENOTDIR},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Walked(dir.Join(c.spec), c.recurse), std::vector<std::string>{S(dir.Join(c.spec), c.err)}) << c.spec;
  }
  // A directory below that cannot be opened is named, and the walk goes on.
  RegexClass::detail::InjectFault(RegexClass::detail::Call::OpenDir, EIO, 1);
  EXPECT_EQ(Walked(dir.Join("*.txt"), true),
            (std::vector<std::string>{V(dir.Join("a.txt")), S(dir.Join(".hidden"), EIO), V(dir.Join("sub/c.txt"))}));
  RegexClass::detail::ClearFaults();
}

TEST(FilePatternWalk, PermissionsWithoutPrivileges) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  for (const char* f : {"a.txt", "closed/c.txt", "open/d.txt", "searchonly/s.txt"}) dir.Write(f, "hit\n");
  ASSERT_EQ(chmod(dir.Join("closed").c_str(), 0), 0);
  ASSERT_EQ(chmod(dir.Join("searchonly").c_str(), 0111), 0);
  EXPECT_EQ(WalkedAsNobody(dir.Join("*.txt"), true),
            (std::vector<std::string>{V(dir.Join("a.txt")), S(dir.Join("closed"), EACCES), V(dir.Join("open/d.txt")),
                                      S(dir.Join("searchonly"), EACCES)}));
  // A file named outright in a directory that can be searched but not listed.
  EXPECT_EQ(WalkedAsNobody(dir.Join("searchonly/s.txt"), false),
            std::vector<std::string>{V(dir.Join("searchonly/s.txt"))});
  EXPECT_EQ(WalkedAsNobody(dir.Join("searchonly/*.txt"), false),
            std::vector<std::string>{S(dir.Join("searchonly/*.txt"), EACCES)});
  EXPECT_EQ(WalkedAsNobody(dir.Join("closed/c.txt"), false),
            std::vector<std::string>{S(dir.Join("closed/c.txt"), EACCES)});
}

namespace {

// Makes depth nested directories "d" below top, each listed level in
// branches with a side directory e/f.txt, and bottom.txt at the bottom.
bool MakeDeepTree(const std::string& top, int depth, const std::vector<int>& branches) {
  int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 1; fd >= 0 && level <= depth; ++level) {
    const int next = ::mkdirat(fd, "d", 0755) == 0 ? ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    ::close(fd);
    fd = next;
    if (fd >= 0 && std::find(branches.begin(), branches.end(), level) != branches.end()) {
      if (::mkdirat(fd, "e", 0755) != 0) return false;
      const int f = ::openat(fd, "e/f.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (f < 0 || ::write(f, "hit\n", 4) != 4) return false;
      ::close(f);
    }
  }
  if (fd < 0) return false;
  const int f = ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  const bool written = f >= 0 && ::write(f, "hit\n", 4) == 4;
  if (f >= 0) ::close(f);
  ::close(fd);
  return written;
}

std::vector<std::string> Names(int fd) {
  std::vector<std::string> names;
  if (DIR* d = ::fdopendir(::dup(fd))) {
    ::rewinddir(d);  // the duplicate shares the offset of an earlier listing
    while (dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
  }
  return names;
}

// Removes everything below top, whatever the depth: the directories inside
// a directory are first moved up beside it, so no path ever grows long.
void RemoveBelow(const std::string& top) {
  const int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int fresh = 0;
  for (bool again = fd >= 0; again;) {
    again = false;
    for (const std::string& n : Names(fd)) {
      if (::unlinkat(fd, n.c_str(), 0) == 0 || ::unlinkat(fd, n.c_str(), AT_REMOVEDIR) == 0) continue;
      const int sub = ::openat(fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) continue;
      for (const std::string& m : Names(sub)) {
        if (::unlinkat(sub, m.c_str(), 0) != 0) ::renameat(sub, m.c_str(), fd, ("~" + std::to_string(fresh++)).c_str());
      }
      ::close(sub);
      if (::unlinkat(fd, n.c_str(), AT_REMOVEDIR) == 0) again = true;
    }
  }
  if (fd >= 0) ::close(fd);
}

std::string Levels(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "d/";
  return s;
}

}  // namespace

TEST(FilePatternWalk, DepthBeyondPathMaxUnderALowDescriptorLimit) {
  const int depth = 3000;  // about 6000 bytes of path
  TempDir dir;
  const std::string R = dir.MakeDir("r");
  ASSERT_TRUE(MakeDeepTree(R, depth, {1, 2, 50, 100, 2990}));
  auto at = [&R](int level, const std::string& rest) { return V(R + "/" + Levels(level) + rest); };

  // Returning from the bottom the walk opens the levels above again, from
  // the top, before it takes their side branches.
  auto walk = [&R](std::function<void()> onFirstVisit) {
    return InChild([&] {
      const rlimit low{64, 64};
      if (::setrlimit(RLIMIT_NOFILE, &low) != 0) return std::vector<std::string>{"no limit"};
      Recording r;
      r.onFirstVisit = onFirstVisit;
      RegexClass::detail::WalkFilePattern(R + "/*.txt", true, r);
      return r.events;
    });
  };
  EXPECT_EQ(walk(nullptr), (std::vector<std::string>{at(depth, "bottom.txt"), at(2990, "e/f.txt"), at(100, "e/f.txt"),
                                                     at(50, "e/f.txt"), at(2, "e/f.txt"), at(1, "e/f.txt")}));

  // The third level is swapped for another directory while the walk is at
  // the bottom: what lies below it is passed by, reported once.
  const std::string third = R + "/d/d/d";
  EXPECT_EQ(walk([&third] {
              if (::rename(third.c_str(), (third + "-moved").c_str()) != 0 || ::mkdir(third.c_str(), 0755) != 0) {
                ::_exit(2);
              }
            }),
            (std::vector<std::string>{at(depth, "bottom.txt"), at(2990, "e/f.txt"), S(third, ESTALE), at(2, "e/f.txt"),
                                      at(1, "e/f.txt")}));
  RemoveBelow(R);
}
