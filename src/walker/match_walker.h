// Walks the matches of an expression over a buffer, through the prefilter
// where it applies. Above both the engine boundary and the prefilter.
#ifndef RAVELIN_WALKER_MATCH_WALKER_H
#define RAVELIN_WALKER_MATCH_WALKER_H

#include <boost/regex.hpp>

#include <memory>
#include <string>

#include "engine/engine.h"

namespace RegexClass {
namespace detail {

class PrefilterCursor;

// Walks the matches of an expression over [first, last) in order, with the
// rules of Boost's regex_iterator: after an empty match the next match may
// not be empty at the same place, and an empty match at the very end of the
// buffer is reported (as Perl's s///g and regex_replace do). Every search runs
// inside a guard: when the engine gives up (complexity, stack), the walk ends
// and Failed() tells why. std::bad_alloc propagates. Where the prefilter
// applies (prefilter/prefilter.h), the engine runs only where a match may
// start; the matches, their prefixes and positions are the same.
//
// Line-bounded walks (lineBounded) find the matches as if each line (the
// bytes between two '\n', without them) were a buffer of its own: the
// engine runs over [line start, line end) with the line start as its
// buffer start, so no match holds a '\n', ^ $ \A \z are the line's ends
// (match_single_line: ^ and $ match nowhere else, not around a \r or \f),
// look-around stops there, and the empty-match rule applies per line. The
// bytes after a final '\n' are no line (an empty buffer holds none). The
// flags that describe the buffer's edges (not_bol, not_bob, prev_avail and
// not_eol, not_eob) apply to its first and last line only. Matches are
// reported as the plain walk reports them: positions from the buffer start,
// the prefix from the end of the previous match, the suffix to the buffer
// end. The prefilter, where it applies, skips the lines without a candidate.
class MatchWalker {
 public:
  MatchWalker(const char* first, const char* last, const boost::regex& e, boost::match_flag_type flags,
              bool lineBounded = false);
  ~MatchWalker();
  MatchWalker(const MatchWalker&) = delete;
  MatchWalker& operator=(const MatchWalker&) = delete;
  // Starts the walk at `from` instead of the buffer start (context before it
  // is still seen by ^, \b and look-behind).
  void StartAt(const char* from) { next_ = from; }
  // Finds the next match; false at the end of the buffer or on failure.
  bool Next();
  const boost::cmatch& Match() const { return match_; }
  MatchView View() const { return MatchView{&match_, base_, nullptr}; }
  bool Failed() const { return !failure_.empty(); }
  const std::string& Failure() const { return failure_; }

 private:
  const char* base_;
  const char* next_;
  const char* last_;
  const boost::regex& regex_;
  boost::match_flag_type flags_;
  boost::cmatch match_;
  bool started_ = false;
  bool done_ = false;
  std::string failure_;
  std::unique_ptr<PrefilterCursor> prefilter_;
  // Line-bounded walks: the line being searched.
  bool NextInLines();
  bool OpenLine(const char* at);
  bool lineBounded_;
  bool lineOpen_ = false;
  const char* lineStart_ = nullptr;
  const char* lineEnd_ = nullptr;
};

// The first match in [first, last) with positions counted from first, as
// SafeSearch(first, last, first, ...) finds it, through the prefilter where
// it applies.
bool FirstSearch(const char* first, const char* last, boost::cmatch& m, const boost::regex& e,
                 boost::match_flag_type flags, std::string* failure, bool lineBounded = false);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_WALKER_MATCH_WALKER_H
