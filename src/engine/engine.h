// The boundary to Boost.Regex: the compiled expression, one match over a
// buffer, and the one place where searches run. No other part of the library
// calls a Boost search directly, so no engine exception can escape.
#ifndef RAVELIN_ENGINE_ENGINE_H
#define RAVELIN_ENGINE_ENGINE_H

#include <boost/regex.hpp>

#include <cstddef>
#include <locale>
#include <memory>
#include <string>

namespace RegexClass {
namespace detail {

class PrefilterCursor;

// The outcome of compiling one expression under one option word. Immutable
// once built, so objects, their copies and running operations share it.
class CompiledExpression {
 public:
  // Compiles [first, last) under a legacy option word (see options/translate.h)
  // with the locale imbued first. extendedRules: the option set holds Extended
  // (the word alone cannot tell Extended+EscapeInLists from Normal-NoCollate).
  static std::shared_ptr<const CompiledExpression> Compile(const char* first, const char* last, unsigned optionWord,
                                                           bool extendedRules, const std::locale& loc);
  // Compiles as the file walk does: Perl syntax, optionally case-insensitive.
  static std::shared_ptr<const CompiledExpression> CompileForFiles(const std::string& text, bool icase);

  // True when the expression compiled and may be searched.
  bool Usable() const { return code_ == 0 && !regex_.empty(); }
  // 0, or the engine's (or the translation's) error code.
  unsigned Code() const { return code_; }
  // The message for Code(); "" when Code() is 0.
  const std::string& Message() const { return message_; }
  // Number of parenthesised sub-expressions; 0 when not usable.
  unsigned SubExpressions() const { return Usable() ? static_cast<unsigned>(regex_.mark_count()) : 0; }
  // The compiled expression. REQUIRES: Usable().
  const boost::regex& Regex() const { return regex_; }
  // The engine flags to search with, from a match option word.
  boost::match_flag_type SearchFlags(unsigned matchWord) const {
    return static_cast<boost::match_flag_type>(matchWord);
  }

 private:
  void Assign(const std::string& pattern, boost::regex::flag_type flags);

  boost::regex regex_;
  unsigned code_ = 0;
  std::string message_;
};

struct FileInHand;

// One match, with the start of the buffer positions count from, and the
// file it was found in when a file walk found it.
struct MatchView {
  const boost::cmatch* match = nullptr;
  const char* base = nullptr;
  const FileInHand* file = nullptr;
};

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

// Gives m, found by a search over part of [origin, last), the prefix that
// starts at origin, the suffix that ends at last and positions counted from
// origin, as a search over [origin, last) would report the same match.
// Groups that did not take part stand at last, as the engine leaves them.
void ReframeMatch(boost::cmatch& m, const char* origin, const char* last);

// One search over [first, last) with positions counted from base. Returns
// true on a match; false when there is none or the engine gave up, in which
// case *failure (if given) holds the reason.
bool SafeSearch(const char* first, const char* last, const char* base, boost::cmatch& m, const boost::regex& e,
                boost::match_flag_type flags, std::string* failure);

// Counts lines incrementally over one buffer: the line of an offset is 1 +
// the '\n' bytes before it; its line start the offset after the last of
// them. Offsets must not go backwards.
class LineCounter {
 public:
  explicit LineCounter(const char* base) : base_(base), pos_(base), lineStart_(base) {}
  void AdvanceTo(const char* p);
  unsigned Line() const { return line_; }
  std::size_t LineStart() const { return static_cast<std::size_t>(lineStart_ - base_); }

 private:
  const char* base_;
  const char* pos_;
  const char* lineStart_;
  unsigned line_ = 1;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_ENGINE_ENGINE_H
