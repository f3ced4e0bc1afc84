// File patterns: which files a file pattern names, and in what order.
//
// A file pattern is a path whose last component may hold the wildcards
// * ? and [...]:
//   dir/*.txt   the files in dir whose names match; "*.txt" alone means the
//               current directory
//   dir/a.txt   that one file
//   dir, dir/   every file in the directory
// With recursion the last component is matched in every directory below as
// well, at any depth (for a directory: every file below it).
//
// Order: within a directory the matching files first, in byte-wise name
// order, then each subdirectory in byte-wise name order, depth first. Links
// to files are files; links to directories are never descended (a link named
// by the file pattern itself is followed). Names beginning with a dot are
// ordinary names. Only regular files are handed over: FIFOs, devices and
// sockets are passed by. A directory that cannot be read is passed by and the
// walk goes on.
//
// Each file is handed over as a user would type it: the directory part of
// the file pattern joined with the path below it ("dir/sub/a.txt"; "a.txt"
// for "*.txt").
#ifndef RAVELIN_FILEWALK_FILE_PATTERN_H
#define RAVELIN_FILEWALK_FILE_PATTERN_H

#include <string>

namespace RegexClass {
namespace detail {

// One file of the walk: where it lies and what to call it. The directory
// descriptor stays open while the visitor runs, so the file can be opened
// (and replaced) relative to it whatever the depth of the tree.
struct WalkFile {
  int directoryFd;          // the directory holding the entry, or AT_FDCWD
  std::string entryName;    // the name to open relative to directoryFd
  std::string displayName;  // the name as a user would type it ("dir/sub/a.txt")
};

class FileVisitor {
 public:
  // One file of the walk. False ends the walk.
  virtual bool Visit(const WalkFile& file) = 0;
  // A path the walk had to pass by: a file or directory that could not be
  // opened or read (err: its errno), or a file pattern naming a file or
  // directory that does not exist (ENOENT). The walk goes on.
  virtual void Skip(const std::string& displayName, int err) = 0;

 protected:
  ~FileVisitor() = default;
};

bool WalkFilePattern(const std::string& spec, bool recurse, FileVisitor& visitor);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_FILE_PATTERN_H
