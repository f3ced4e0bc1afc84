// The file walk: our own stand-in for the file-walking class the old engine
// offered. It expands a file pattern, visits the files in a fixed
// order (filewalk/file_pattern.h), searches each one as a byte buffer and
// reports through plain function callbacks, as the old class did.
//
// Each file is read whole into one buffer that the walker reuses from file
// to file, so a file that another process shrinks or rewrites meanwhile is
// searched as it was read. Within one walk a file (device and inode, when
// first met) is searched and reported once: later names of it, through links,
// are passed by. What cannot be opened or read, and searches the engine gave
// up on, are listed in Skipped(). Positions are byte offsets from the start
// of the file; lines are counted incrementally. Callbacks may start other
// walks (each walker has its own buffer); exceptions they throw propagate,
// with every descriptor and directory released.
#ifndef RAVELIN_FILEWALK_FILE_WALKER_H
#define RAVELIN_FILEWALK_FILE_WALKER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

class CompiledExpression;
struct FileInHand;
struct WalkFile;

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
  // ChangeFiles: every match of the file has been reported (or the match
  // callback ended the walk), and the file is still in hand. False ends the
  // walk.
  using FileEndCallback = bool (*)(const char* fileName);

  using Skip = RegularExpression::SkippedFile;

  FileWalker();
  ~FileWalker();
  FileWalker(const FileWalker&) = delete;
  FileWalker& operator=(const FileWalker&) = delete;

  // Compiles text (up to its first NUL) with Perl syntax, case-insensitive
  // when icase: 0 on success, else the engine's error code.
  unsigned SetExpression(const std::string& text, bool icase);
  // Searches with an expression compiled before (CompileForFiles): 0 when it
  // is usable, else its error code.
  unsigned SetCompiled(std::shared_ptr<const CompiledExpression> compiled);
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
  // GrepFiles for a change: each file is locked (flock, so two changing runs
  // take turns per file) from before it is read until onEnd or onFailure has
  // heard of it, and each match carries the file in hand (MatchView::file).
  unsigned ChangeFiles(GrepCallback onMatch, FileEndCallback onEnd, FailureCallback onFailure, const std::string& spec,
                       bool recurse, unsigned matchFlags);

  // FindFiles and GrepFiles read and search up to this many files at once
  // on worker threads (1: all on the calling thread, the default; the solo
  // library always searches on the calling thread). Callbacks still run on
  // the calling thread, in walk order. ChangeFiles searches on the calling
  // thread.
  void SetThreads(unsigned threads) { threads_ = threads; }
  // Each line of a file is searched as a buffer of its own (MatchWalker);
  // off by default.
  void SetLineBounded(bool on) { lineBounded_ = on; }
  // Asks filter what to walk into and search, and tells it of each file
  // done (null: none). Its calls come on the calling thread.
  void SetFilter(RegularExpression::FileFilter* filter) { filter_ = filter; }

  // What the last walk passed by, in walk order.
  const std::vector<Skip>& Skipped() const { return skipped_; }

  // How long a changing walk waits for another holder of a file's lock.
  static constexpr int kLockWaitMs = 10000;

 private:
  class Visitor;

  std::shared_ptr<const CompiledExpression> compiled_;
  // The read buffer, reused from file to file.
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::vector<Skip> skipped_;
  unsigned threads_ = 1;
  bool lineBounded_ = false;
  RegularExpression::FileFilter* filter_ = nullptr;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_FILE_WALKER_H
