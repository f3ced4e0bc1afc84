// The boundary to Boost.Regex: the compiled expression, one match over a
// buffer, the rebuild of a match found over part of a buffer, the line spans
// of a buffer, and the one place where searches run. No other part of the
// library calls a Boost search or match directly, so no engine exception can
// escape. The prefilter sits on this boundary; the match walker
// (walker/match_walker.h) sits on both.
#ifndef RAVELIN_ENGINE_ENGINE_H
#define RAVELIN_ENGINE_ENGINE_H

#include <boost/regex.hpp>

#include <cstddef>
#include <cstring>
#include <locale>
#include <memory>
#include <string>

namespace RegexClass {
namespace detail {

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

// Gives m, found by a search that ended at `end` and started at or after
// origin, the prefix that starts at origin, the suffix that ends at last and
// positions counted from origin, as a search over [origin, last) would report
// the same match. Groups that did not take part and stand at `end` or at
// last, where the engine leaves them, stand at last; every other group keeps
// its place, and the group that closed last (the format's $^N) stays the
// last. False when no group closed last yet some group keeps a place: m is
// rebuilt all the same, but $^N then names that group, so a caller that can
// search again should.
bool RebuildMatch(boost::cmatch& m, const char* origin, const char* end, const char* last);

// One search over [first, last) with positions counted from base. Returns
// true on a match; false when there is none or the engine gave up, in which
// case *failure (if given) holds the reason.
bool SafeSearch(const char* first, const char* last, const char* base, boost::cmatch& m, const boost::regex& e,
                boost::match_flag_type flags, std::string* failure);

// One match of e over the whole of [first, last) (regex_match), under the
// same guard: false when there is none or the engine gave up, in which case
// *failure (if given) holds the reason.
bool SafeMatch(const char* first, const char* last, const boost::regex& e, boost::match_flag_type flags,
               std::string* failure);

// The line that holds `at`: it starts just after the last '\n' in [floor,
// at) (at floor when there is none) and ends at the first '\n' in [at,
// last) (at last when there is none).
inline const char* LineStartOf(const char* floor, const char* at) {
  const void* newline = memrchr(floor, '\n', static_cast<std::size_t>(at - floor));
  return newline != nullptr ? static_cast<const char*>(newline) + 1 : floor;
}
inline const char* LineEndOf(const char* at, const char* last) {
  const void* newline = std::memchr(at, '\n', static_cast<std::size_t>(last - at));
  return newline != nullptr ? static_cast<const char*>(newline) : last;
}

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
