// libFuzzer target for the walk of a file pattern. The target builds one small
// tree in a temporary directory (odd names, names with wildcard characters,
// a hidden directory, an empty file, links to a file and to a directory, a
// FIFO) and removes it at exit. An input is
//
//   switches (1 byte: bit 0 recursion, bit 1 Icase)
//   expression NUL file pattern
//
// where the file pattern is taken below the tree's root (one holding a ".."
// component is passed over, so the walk stays inside). FindFiles and
// GrepFiles run over it; nothing may crash, block or leave the library as an
// exception (std::bad_alloc aside), and:
//   - every name reported lies below the root and names a regular file there,
//     and no file (device and inode) is reported twice by one walk;
//   - each count is the number of events raised;
//   - every GrepFiles match is the run of its file its position names, on the
//     line it is said to be on;
//   - the files GrepFiles reports matches in are the files FindFiles found.
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ravelin/RegularExpression.h"

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;

namespace {

constexpr std::size_t kMaxExpression = 128;
constexpr std::size_t kMaxPattern = 128;

void Require(bool condition, const char* what, const std::string& detail = "") {
  if (!condition) {
    std::fprintf(stderr, "file_walk_fuzzer: %s %s\n", what, detail.c_str());
    std::abort();
  }
}

// The tree, made on first use and removed when the process exits.
class Tree {
 public:
  Tree() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ravelin-fuzz-XXXXXX";
    Require(mkdtemp(pattern.data()) != nullptr, "mkdtemp failed");
    root_ = pattern;
    Write("a.txt", "grey cat\nblack dog\n");
    Write("b.log", "gray\n\ngrey grey\n");
    Write("empty.txt", "");
    Write("[x].txt", "bracket grey\n");
    Write("star*name", "*\n?\n");
    Write("q?mark.txt", "question\n");
    Write("nul.bin", std::string("a\0grey\0b\n", 9));
    Write("noeol.txt", "no line end grey");
    Dir("sub");
    Write("sub/c.txt", "grey\nGREY\ngrey\n");
    Write("sub/a.txt", "another a\n");
    Dir("sub/deep");
    Write("sub/deep/d.txt", "deep grey\n");
    Dir(".hidden");
    Write(".hidden/h.txt", "hidden grey\n");
    Dir("x.txt.d");
    Write("x.txt.d/y.txt", "y\n");
    Require(symlink("a.txt", Path("link-to-a.txt").c_str()) == 0, "symlink");
    Require(symlink("sub", Path("link-to-sub").c_str()) == 0, "symlink");
    Require(symlink("missing", Path("dangling.txt").c_str()) == 0, "symlink");
    Require(mkfifo(Path("fifo.txt").c_str(), 0600) == 0, "mkfifo");
  }
  ~Tree() {
    nftw(
        root_.c_str(), [](const char* path, const struct stat*, int, FTW*) { return std::remove(path) == 0 ? 0 : -1; },
        16, FTW_DEPTH | FTW_PHYS);
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }

 private:
  void Write(const std::string& name, const std::string& content) {
    std::ofstream out(Path(name), std::ios::binary);
    out << content;
    Require(static_cast<bool>(out), "cannot write", name);
  }
  void Dir(const std::string& name) { Require(mkdir(Path(name).c_str(), 0755) == 0, "mkdir", name); }

  std::string root_;
};

std::string Contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Walk {
  const Tree* tree = nullptr;
  std::vector<std::string> found;
  std::set<std::pair<dev_t, ino_t>> foundIds;
  std::set<std::string> grepFiles;
  unsigned grepEvents = 0;
  std::string lastFile;
  std::string lastContents;

  void CheckName(const std::string& file, std::set<std::pair<dev_t, ino_t>>* ids) {
    Require(file.compare(0, tree->Root().size() + 1, tree->Root() + "/") == 0, "name outside the tree", file);
    struct stat st;
    Require(stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode), "not a regular file", file);
    if (ids != nullptr) Require(ids->insert({st.st_dev, st.st_ino}).second, "file reported twice", file);
  }

  void OnFind(RegularExpression&, std::string file, bool&) {
    CheckName(file, &foundIds);
    found.push_back(file);
  }

  void OnGrep(RegularExpression&, std::string file, const REMatchInfo& m, unsigned line, bool&) {
    ++grepEvents;
    if (file != lastFile) {
      CheckName(file, nullptr);
      lastFile = file;
      lastContents = Contents(file);
      grepFiles.insert(file);
    }
    Require(!m.empty(), "empty match vector", file);
    for (const auto& entry : m) {
      if (entry.position < 0) continue;
      const auto pos = static_cast<std::size_t>(entry.position);
      Require(pos <= lastContents.size() && entry.text.size() <= lastContents.size() - pos, "match outside", file);
      Require(lastContents.compare(pos, entry.text.size(), entry.text) == 0, "match text is not the file's", file);
    }
    const auto start = static_cast<std::size_t>(m[0].position);
    std::size_t lines = 1;
    for (std::size_t i = 0; i < start; ++i) lines += lastContents[i] == '\n';
    Require(line == lines, "wrong line", file);
  }
};

void FuzzOne(const Tree& tree, const std::uint8_t* data, std::size_t size) {
  if (size < 1) return;
  const bool recursion = (data[0] & 1) != 0;
  const bool icase = (data[0] & 2) != 0;
  const char* p = reinterpret_cast<const char*>(data + 1);
  const char* end = reinterpret_cast<const char*>(data + size);
  const char* nul = p;
  while (nul != end && *nul != '\0') ++nul;
  const std::string expression(p, nul);
  const std::string pattern(nul == end ? end : nul + 1, end);
  if (expression.size() > kMaxExpression || pattern.size() > kMaxPattern) return;
  if (pattern.find('\0') != std::string::npos) return;
  const std::string components = "/" + pattern + "/";
  if (components.find("/../") != std::string::npos) return;

  Walk walk;
  walk.tree = &tree;
  RegularExpression re;
  re.SetExpression(expression);
  if (icase) re.AddExpressionOption(RegularExpression::Icase);
  re.SetFilesToMatch(tree.Root() + "/" + pattern);
  re.SetDirectoryRecursion(recursion);
  re.SetOnFindFilesClosure(RegularExpression::OnFindFilesClosure(&walk, &Walk::OnFind));
  re.SetOnGreppingFilesClosure(RegularExpression::OnGreppingFilesClosure(&walk, &Walk::OnGrep));

  const unsigned files = re.FindFiles();
  Require(files == walk.found.size(), "FindFiles count is not the number of events");
  bool gaveUp = false;
  for (const auto& skipped : re.GetSkippedFiles()) gaveUp = gaveUp || skipped.reason == RegularExpression::SearchGaveUp;

  const unsigned matches = re.GrepFiles();
  Require(matches == walk.grepEvents, "GrepFiles count is not the number of events");
  for (const auto& skipped : re.GetSkippedFiles()) gaveUp = gaveUp || skipped.reason == RegularExpression::SearchGaveUp;
  if (!gaveUp) {
    const std::set<std::string> foundSet(walk.found.begin(), walk.found.end());
    Require(foundSet == walk.grepFiles, "FindFiles and GrepFiles name different files");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Tree tree;
  try {
    FuzzOne(tree, data, size);
  } catch (const std::bad_alloc&) {
    // Allowed out of every operation.
  } catch (...) {
    Require(false, "an exception left the library");
  }
  return 0;
}
