#include "filewalk/file_pattern.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/directory.h"
#include "platform/posix_file.h"
#include "platform/temp_file.h"

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

}  // namespace

namespace {

// Directories held open along the current path, the top of the walk
// included. Deeper down the shallowest ones are closed, and opened again
// from the top when the walk comes back to them.
constexpr std::size_t kMaxOpenDirectories = 32;

// The walk of one tree, depth first, without recursion: one frame per
// directory on the current path.
class Walk {
 public:
  Walk(const NameTest& test, bool recurse, FileVisitor& visitor) : test_(test), recurse_(recurse), visitor_(visitor) {}

  // Walks the directory at path, whose entries are named prefix + name
  // (prefix "" or ending in '/'). A link at path is followed. A top that
  // cannot be opened is reported under spec. False when the visitor ended
  // the walk.
  bool Run(const std::string& path, const std::string& prefix, const std::string& spec) {
    int err = 0;
    Directory top = Directory::Open(path, true, &err);
    if (!top.Valid()) {
      visitor_.Skip(spec, err);
      return true;
    }
    prefix_ = prefix;
    if (!Enter(std::move(top), std::string())) return false;
    while (!frames_.empty()) {
      const std::size_t index = frames_.size() - 1;
      Frame& frame = frames_[index];
      if (frame.next == frame.subdirectories.size()) {
        Leave();
        continue;
      }
      std::string name = std::move(frame.subdirectories[frame.next++]);
      if (!Reopen(index)) continue;
      const std::string displayName = prefix_ + name;
      if (!visitor_.EnterDirectory(displayName)) continue;
      MakeRoom(index);
      Directory below = Directory::OpenAt(frames_[index].dir.Fd(), name, false, &err);
      if (!below.Valid()) {
        // An entry that became a link or a file since the listing is passed
        // by as such an entry would be.
        if (err != ELOOP && err != ENOTDIR) visitor_.Skip(displayName, err);
        visitor_.LeaveDirectory(displayName);
        continue;
      }
      if (OnCurrentPath(below.Id())) {  // a bind mount looping back
        visitor_.LeaveDirectory(displayName);
        continue;
      }
      if (!Enter(std::move(below), std::move(name))) return false;
    }
    return true;
  }

 private:
  struct Frame {
    Directory dir;                            // closed while far above the walk
    DirectoryId id;                           // what dir must be when opened again
    std::string name;                         // entry name in the parent ("" at the top)
    std::size_t prefixLength = 0;             // prefix_ of this directory's entries
    std::vector<std::string> subdirectories;  // byte-wise order
    std::size_t next = 0;                     // the next subdirectory to walk
  };

  // Makes dir the current directory, lists it, and hands over its files.
  // False when the visitor ended the walk.
  bool Enter(Directory dir, std::string name) {
    if (!frames_.empty()) {
      prefix_ += name;
      prefix_ += '/';
    }
    Frame frame;
    frame.id = dir.Id();
    frame.dir = std::move(dir);
    frame.name = std::move(name);
    frame.prefixLength = prefix_.size();
    frames_.push_back(std::move(frame));
    ++open_;
    const std::size_t index = frames_.size() - 1;

    std::vector<DirectoryEntry> entries;
    int err = 0;
    // A read error keeps what was listed.
    if (!frames_[index].dir.ReadEntries(&entries, &err)) visitor_.Skip(DirectoryName(index), err);
    std::vector<std::string> files;
    std::vector<std::string> subdirectories;
    for (DirectoryEntry& entry : entries) {
      const bool named = test_.Accepts(entry.name);
      if (entry.kind == EntryKind::Unresolved && (named || recurse_)) {
        entry.kind = frames_[index].dir.Resolve(entry.name);
      }
      if (named && entry.kind == EntryKind::File) {
        // What an interrupted run left beside its file is no file of ours.
        if (!IsTempFileName(entry.name.c_str())) files.push_back(std::move(entry.name));
      } else if (recurse_ && entry.kind == EntryKind::Directory) {
        subdirectories.push_back(std::move(entry.name));
      }
    }
    // Byte-wise order: std::string compares as unsigned char.
    std::sort(files.begin(), files.end());
    std::sort(subdirectories.begin(), subdirectories.end());
    frames_[index].subdirectories = std::move(subdirectories);

    const int fd = frames_[index].dir.Fd();
    for (std::string& file : files) {
      WalkFile walkFile{fd, std::move(file), std::string()};
      walkFile.displayName = prefix_ + walkFile.entryName;
      if (!visitor_.Visit(walkFile)) return false;
    }
    return true;
  }

  // Leaves the current directory for its parent.
  void Leave() {
    if (frames_.back().dir.Valid()) --open_;
    if (frames_.size() > 1) visitor_.LeaveDirectory(DirectoryName(frames_.size() - 1));
    frames_.pop_back();
    prefix_.resize(frames_.empty() ? 0 : frames_.back().prefixLength);
  }

  // Opens frame index again if it was closed, component by component from
  // the nearest open directory above it. A directory that is gone or is no
  // longer the one listed means the tree changed under the walk: it is
  // reported, and the walk goes on beside it. False then.
  bool Reopen(std::size_t index) {
    if (frames_[index].dir.Valid()) return true;
    std::size_t open = index;
    while (!frames_[open].dir.Valid()) --open;  // the top is never closed
    for (std::size_t i = open + 1; i <= index; ++i) {
      MakeRoom(i - 1);
      int err = 0;
      Directory dir = Directory::OpenAt(frames_[i - 1].dir.Fd(), frames_[i].name, false, &err);
      if (dir.Valid() && !(dir.Id() == frames_[i].id)) err = ESTALE;
      if (!dir.Valid() || err == ESTALE) {
        visitor_.Skip(DirectoryName(i), err);
        while (frames_.size() > i) Leave();
        return false;
      }
      frames_[i].dir = std::move(dir);
      ++open_;
    }
    return true;
  }

  // Closes the shallowest open directories below the top until one more may
  // be opened; frame keep and the top stay open.
  void MakeRoom(std::size_t keep) {
    std::size_t i = 1;
    while (open_ >= kMaxOpenDirectories) {
      while (i < keep && !frames_[i].dir.Valid()) ++i;
      if (i >= keep) return;
      frames_[i].dir = Directory();
      --open_;
    }
  }

  bool OnCurrentPath(const DirectoryId& id) const {
    return std::any_of(frames_.begin(), frames_.end(), [&id](const Frame& f) { return f.id == id; });
  }

  // Frame index's directory as a user would type it.
  std::string DirectoryName(std::size_t index) const {
    const std::size_t length = frames_[index].prefixLength;
    if (length == 0) return ".";
    if (length == 1) return prefix_.substr(0, 1);  // "/"
    return prefix_.substr(0, length - 1);
  }

  const NameTest& test_;
  bool recurse_;
  FileVisitor& visitor_;
  std::vector<Frame> frames_;  // the directories being walked, outermost first
  std::string prefix_;         // the current directory's entries are prefix_ + name
  std::size_t open_ = 0;       // frames holding an open directory
};

// A file pattern naming one file outright: handed over when it is a regular
// file, reported when it cannot be found.
bool VisitNamedFile(const std::string& spec, FileVisitor& visitor) {
  const std::size_t slash = spec.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string(".")
                                : slash == 0               ? std::string("/")
                                                           : spec.substr(0, slash);
  const std::string name = slash == std::string::npos ? spec : spec.substr(slash + 1);
  int err = 0;
  UniqueFd dir = OpenDirectoryHandle(directory, &err);
  FileStat st;
  if (!dir.Valid() || !StatAt(dir.Get(), name, true, &st, &err)) {
    visitor.Skip(spec, err);
    return true;
  }
  // FIFOs and devices are never opened: reading one could wait forever.
  if (!st.IsRegular() || IsTempFileName(name.c_str())) return true;
  return visitor.Visit(WalkFile{dir.Get(), name, spec});
}

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
        return VisitNamedFile(spec, visitor);
      } else {
        test.kind = NameTest::Exact;
        test.pattern = last;
        prefix = directoryPart;
      }
    }
  }
  Walk walk(test, recurse, visitor);
  return walk.Run(prefix.empty() ? std::string(".") : prefix, prefix, spec);
}

}  // namespace detail
}  // namespace RegexClass
