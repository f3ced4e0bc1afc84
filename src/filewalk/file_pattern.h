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
// sockets are passed by, and so are the temporary files an interrupted run
// may have left (IsTempFileName). A directory on the current path is never
// entered again (a bind mount can loop without any link).
//
// Skip hears of what the walk passes by, and the walk goes on:
//  - the file pattern itself, as given, when its directory cannot be opened
//    (ENOENT when it does not exist) or the one file it names is not there;
//  - a directory below that cannot be opened or read, with its errno;
//  - a directory replaced while the walk was deep below it (ESTALE).
// A wildcard that matches nothing is no error.
//
// Each file is handed over as a user would type it: the directory part of
// the file pattern joined with the path below it ("dir/sub/a.txt"; "a.txt"
// for "*.txt").
//
// The walk works from directory descriptors, so depth has no limit (paths
// far beyond PATH_MAX are walked like any other), and it holds at most a few
// dozen of them at once whatever the depth.
#ifndef RAVELIN_FILEWALK_FILE_PATTERN_H
#define RAVELIN_FILEWALK_FILE_PATTERN_H

#include <string>

namespace RegexClass {
namespace detail {

// One file of the walk: where it lies and what to call it. The directory
// descriptor stays open while the visitor runs, so the file can be opened
// (and replaced) relative to it whatever the depth of the tree.
struct WalkFile {
  // The directory holding the entry. For a file named outright in a
  // directory that may be searched but not listed it is an O_PATH
  // descriptor: good for the *at calls, not for fsync or fchmod.
  int directoryFd;
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
  // With recursion, a directory below the top, before it is opened (named
  // as its files are, without the final '/'): false passes it by, with
  // nothing reported. Every true is followed by LeaveDirectory, whether or
  // not the directory could be opened, unless the walk ends first.
  virtual bool EnterDirectory(const std::string& displayName) {
    static_cast<void>(displayName);
    return true;
  }
  virtual void LeaveDirectory(const std::string& displayName) { static_cast<void>(displayName); }

 protected:
  ~FileVisitor() = default;
};

// Walks the files spec names; false when the visitor ended the walk.
bool WalkFilePattern(const std::string& spec, bool recurse, FileVisitor& visitor);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_FILE_PATTERN_H
