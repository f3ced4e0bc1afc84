#include "filewalk/file_pattern.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/directory.h"
#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {
namespace {

// How entry names are chosen in each directory.
struct NameTest {
  enum Kind { Everything, Exact, Wildcard } kind = Everything;
  std::string pattern;

  bool Accepts(const std::string& name) const {
    switch (kind) {
      case Everything:
        return true;
      case Exact:
        return name == pattern;
      case Wildcard:
        return WildcardMatch(pattern, name);
    }
    return false;
  }
};

class Walk {
 public:
  Walk(const NameTest& test, bool recurse, FileVisitor& visitor)
      : test_(test), recurse_(recurse), visitor_(visitor) {}

  // Walks the directory at path; names handed over start with prefix (""
  // or ending in '/'). followLink: the directory was named by the caller, so
  // a link there is followed. False when the visitor ended the walk.
  bool WalkDirectory(const std::string& path, const std::string& prefix, bool followLink) {
    std::vector<std::string> files;
    std::vector<std::string> subdirectories;
    {
      int err = 0;
      Directory dir = Directory::Open(path, followLink, &err);
      if (!dir.Valid()) return true;  // unreadable or gone: passed by
      const DirectoryId id = dir.Id();
      if (std::find(ancestors_.begin(), ancestors_.end(), id) != ancestors_.end()) return true;
      ancestors_.push_back(id);

      std::vector<DirectoryEntry> entries;
      dir.ReadEntries(&entries, &err);  // a read error keeps what was listed
      for (DirectoryEntry& entry : entries) {
        const bool named = test_.Accepts(entry.name);
        if (entry.kind == EntryKind::Unresolved && (named || recurse_)) entry.kind = dir.Resolve(entry.name);
        if (named && entry.kind == EntryKind::File) files.push_back(std::move(entry.name));
        else if (recurse_ && entry.kind == EntryKind::Directory) subdirectories.push_back(std::move(entry.name));
      }
    }  // the directory is closed before anything is visited: depth costs no descriptors

    // Byte-wise order: std::string compares as unsigned char.
    std::sort(files.begin(), files.end());
    std::sort(subdirectories.begin(), subdirectories.end());
    bool goOn = true;
    for (const std::string& name : files) {
      if (!visitor_.Visit(WalkFile{AT_FDCWD, prefix + name, prefix + name})) {
        goOn = false;
        break;
      }
    }
    for (std::size_t i = 0; goOn && i < subdirectories.size(); ++i) {
      const std::string below = prefix + subdirectories[i];
      goOn = WalkDirectory(below, below + "/", false);
    }
    ancestors_.pop_back();
    return goOn;
  }

 private:
  const NameTest& test_;
  bool recurse_;
  FileVisitor& visitor_;
  std::vector<DirectoryId> ancestors_;  // the directories being walked, outermost first
};

// The directory to open for a prefix ("" or ending in '/').
std::string DirectoryPath(const std::string& prefix) { return prefix.empty() ? std::string(".") : prefix; }

}  // namespace

bool WalkFilePattern(const std::string& fullSpec, bool recurse, FileVisitor& visitor) {
  const std::string spec(fullSpec.c_str(), std::strlen(fullSpec.c_str()));
  if (spec.empty()) return true;

  NameTest test;
  std::string prefix;
  if (spec.back() == '/') {
    // A trailing slash: the directory itself, named with one slash.
    const std::size_t end = spec.find_last_not_of('/');
    prefix = end == std::string::npos ? std::string("/") : spec.substr(0, end + 1) + "/";
  } else {
    const std::size_t slash = spec.rfind('/');
    const std::string last = slash == std::string::npos ? spec : spec.substr(slash + 1);
    const std::string directoryPart = slash == std::string::npos ? std::string() : spec.substr(0, slash + 1);
    if (HasWildcard(last)) {
      test.kind = NameTest::Wildcard;
      test.pattern = last;
      prefix = directoryPart;
    } else {
      FileStat st;
      int err = 0;
      if (Stat(spec, &st, &err) && st.IsDirectory()) {
        prefix = spec + "/";
      } else if (!recurse) {
        // One file. If it is missing or not a regular file, the reader says so.
        return visitor.Visit(WalkFile{AT_FDCWD, spec, spec});
      } else {
        test.kind = NameTest::Exact;
        test.pattern = last;
        prefix = directoryPart;
      }
    }
  }
  Walk walk(test, recurse, visitor);
  return walk.WalkDirectory(DirectoryPath(prefix), prefix, true);
}

}  // namespace detail
}  // namespace RegexClass
