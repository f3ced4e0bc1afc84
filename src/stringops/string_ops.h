// Pieces shared by the operations on the subject string.
#ifndef RAVELIN_STRINGOPS_STRING_OPS_H
#define RAVELIN_STRINGOPS_STRING_OPS_H

#include <string>

#include "engine/engine.h"
#include "ravelin/RegularExpression.h"
#include "walker/match_walker.h"

namespace RegexClass {
namespace detail {

// Appends m, formatted by fmt in the engine's default (Perl-like) format
// syntax, to out. The character traits of e, and so the locale the
// expression was compiled with, drive \u \l \U \L; with e null the engine's
// plain traits do. A format the engine refuses appends nothing.
void AppendFormatted(const boost::cmatch& m, const std::string& fmt, const boost::regex* e, std::string& out);

// The one search of Match, MatchAll and Search (and of the value forms
// FullMatch and Find): over [first, last) under the match option word, the
// first match from the subject's first byte on (Match), one covering the whole
// subject (MatchAll), or the first anywhere (Search). Line-bounded, Match and
// MatchAll take the first line as their subject. False when there is none or
// the engine gave up (*failure then holds why); m is rebuilt to count from
// first and its suffix reaches last.
enum class SearchKind { Match, MatchAll, Search };
bool SearchSubject(SearchKind kind, const char* first, const char* last, const CompiledExpression& compiled,
                   unsigned matchWord, bool lineBounded, boost::cmatch& m, std::string* failure);

// Writes [first, last) to out with every match of walker replaced by what
// replace(match, out) appends for it; the text between matches is copied
// only when copy is set. Stops where the walker stops: the caller asks it
// whether it ran to its end.
template <class Replacer>
void ReplaceMatches(MatchWalker& walker, const char* first, const char* last, bool copy, std::string& out,
                    Replacer&& replace) {
  const char* copied = first;
  while (walker.Next()) {
    const boost::cmatch& m = walker.Match();
    if (copy) out.append(copied, m[0].first);
    replace(m, out);
    copied = m[0].second;
  }
  if (copy) out.append(copied, last);
}

// A private copy of the subject, for an operation during which the caller's
// handlers run and may assign a new subject. It borrows the storage of
// `spare`, a string of the object that holds nothing between operations, and
// hands it back at the end, so that repeated operations over a large subject
// reuse their memory instead of faulting in fresh pages every time. A nested
// operation on the same object finds `spare` empty and allocates its own.
class SubjectCopy {
 public:
  SubjectCopy(const std::string& subject, std::string& spare) : spare_(spare) {
    // Storage far larger than needed is let go rather than kept alive.
    if (spare_.capacity() <= 2 * subject.size() + 4096) copy_.swap(spare_);
    spare_.clear();
    spare_.shrink_to_fit();
    copy_.assign(subject);
  }
  ~SubjectCopy() { spare_.swap(copy_); }
  SubjectCopy(const SubjectCopy&) = delete;
  SubjectCopy& operator=(const SubjectCopy&) = delete;

  const std::string& Text() const { return copy_; }

 private:
  std::string& spare_;
  std::string copy_;
};

// The match vector of an OnGrepping or OnMerging event, refilled in place for
// each match of one walk so that its strings keep their storage. Every entry,
// the suffix included, is as GetMatchingInformation gives it. Only a walk
// with a handler fills one: the suffix copy costs O(subject) per match.
class WalkVector {
 public:
  const REMatchInfo& Fill(const MatchView& view);

 private:
  REMatchInfo info_;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_STRINGOPS_STRING_OPS_H
