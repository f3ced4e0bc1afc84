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

class FileVisitor {
 public:
  // One file of the walk. False ends the walk.
  virtual bool Visit(const std::string& name) = 0;

 protected:
  ~FileVisitor() = default;
};

// Hands every file that spec names to the visitor, in the walk's order.
// The file pattern ends at its first NUL byte, as a C string would. Returns
// false when the visitor ended the walk. Exceptions of the visitor propagate;
// everything the walk holds is released.
bool WalkFilePattern(const std::string& spec, bool recurse, FileVisitor& visitor);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_FILE_PATTERN_H
