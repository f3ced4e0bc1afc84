// The file walk: our own stand-in for the file-walking class the old engine
// offered. It expands a file pattern, visits the files in a fixed
// order (filewalk/file_pattern.h), searches each one as a byte buffer and
// reports through plain function callbacks, as the old class did.
//
// Files below the map threshold are read into one buffer that the walker
// reuses from file to file; larger ones are mapped. A file that cannot be
// opened or read is passed by. Positions are byte offsets from the start of
// the file; lines are counted incrementally. Callbacks may start other
// walks (each walker has its own buffer); exceptions they throw propagate,
// with every descriptor, mapping and directory released.
#ifndef RAVELIN_FILEWALK_FILE_WALKER_H
#define RAVELIN_FILEWALK_FILE_WALKER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

class CompiledExpression;

class FileWalker {
 public:
  // A file holding a match; false ends the walk.
  using FindCallback = bool (*)(const char* fileName);
  // One match in a file, in file order; false ends the walk.
  using GrepCallback = bool (*)(const char* fileName, const FileMatch& match);
  // The engine gave up on a file part-way (too complex, out of stack) after
  // its matches up to then were reported; a receiver that changes files must
  // drop them. The walk goes on with the next file unless it returns false.
  using FailureCallback = bool (*)(const char* fileName, const std::string& reason);

  FileWalker();
  ~FileWalker();
  FileWalker(const FileWalker&) = delete;
  FileWalker& operator=(const FileWalker&) = delete;

  // Compiles text (up to its first NUL) with Perl syntax, case-insensitive
  // when icase: 0 on success, else the engine's error code.
  unsigned SetExpression(const std::string& text, bool icase);
  // Calls back once per file holding a match (each file is searched until its
  // first match only); returns the number of such files reported.
  // The engine giving up on a file counts as no match there; onFailure (if
  // given) hears of it.
  unsigned FindFiles(FindCallback callback, const std::string& spec, bool recurse, unsigned matchFlags,
                     FailureCallback onFailure = nullptr);
  // Calls back once per match (a null callback only counts); returns the
  // number of matches reported, the one whose callback said stop included.
  unsigned GrepFiles(GrepCallback callback, const std::string& spec, bool recurse, unsigned matchFlags,
                     FailureCallback onFailure = nullptr);

  // Files of at least this many bytes are mapped instead of read (default
  // kDefaultMapThreshold). For tests and measurements.
  void SetMapThreshold(std::uint64_t bytes) { mapThreshold_ = bytes; }
  static constexpr std::uint64_t kDefaultMapThreshold = std::uint64_t{4} << 20;

 private:
  class Contents;
  class FindVisitor;
  class GrepVisitor;

  // Loads a file into *contents; false when it cannot be opened or read.
  bool Load(const std::string& name, Contents* contents);

  std::shared_ptr<const CompiledExpression> compiled_;
  std::uint64_t mapThreshold_ = kDefaultMapThreshold;
  // The read buffer, reused from file to file.
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_FILE_WALKER_H
