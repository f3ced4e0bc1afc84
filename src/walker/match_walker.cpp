// The walk over the matches of an expression in a buffer: the engine's
// guarded search, through the prefilter where it applies.
#include "walker/match_walker.h"

#include <cstring>

#include "prefilter/prefilter.h"

namespace RegexClass {
namespace detail {

MatchWalker::MatchWalker(const char* first, const char* last, const boost::regex& e, boost::match_flag_type flags,
                         bool lineBounded)
    : base_(first),
      next_(first),
      last_(last),
      regex_(e),
      flags_(flags),
      prefilter_(PrefilterCursor::Open(first, last, e, flags)),
      lineBounded_(lineBounded) {}

MatchWalker::~MatchWalker() = default;

bool MatchWalker::Next() {
  if (done_) return false;
  if (lineBounded_) return NextInLines();
  bool afterEmpty = false;
  if (started_) {
    next_ = match_[0].second;
    afterEmpty = match_[0].first == match_[0].second;
  }
  started_ = true;
  bool found;
  if (prefilter_) {
    found = prefilter_->Find(next_, afterEmpty, match_, &failure_);
  } else {
    boost::match_flag_type flags = flags_;
    if (afterEmpty) flags |= boost::regex_constants::match_not_initial_null;
    found = SafeSearch(next_, last_, base_, match_, regex_, flags, &failure_);
  }
  if (!found) {
    done_ = true;
    return false;
  }
  return true;
}

// Opens the line that holds `at` (a line's end belongs to it); false when
// no line does: past the buffer, or after a final '\n'.
bool MatchWalker::OpenLine(const char* at) {
  if (at > last_ || (at == last_ && (at == base_ || at[-1] == '\n'))) return false;
  lineStart_ = at == base_ || at[-1] == '\n' ? at : LineStartOf(base_, at);
  lineEnd_ = LineEndOf(at, last_);
  lineOpen_ = true;
  return true;
}

bool MatchWalker::NextInLines() {
  namespace rc = boost::regex_constants;
  const char* from = next_;
  bool afterEmpty = false;
  if (started_) {
    from = match_[0].second;
    afterEmpty = match_[0].first == match_[0].second;
  }
  started_ = true;
  const char* at = from;
  for (;;) {
    if (!lineOpen_) {
      if (!OpenLine(at)) break;
      // Lines without a candidate hold no match: go to the first that has one.
      std::size_t end = 0;
      if (prefilter_ && !prefilter_->Broken()) {
        if (prefilter_->NextLineCandidate(static_cast<std::size_t>(at - base_), end)) {
          if (base_ + end > lineEnd_) {
            at = LineStartOf(lineEnd_, base_ + end);
            if (!OpenLine(at)) break;
          }
        } else if (!prefilter_->Broken()) {
          break;
        }
      }
    }
    if (at < lineStart_) at = lineStart_;
    // ^ and $ at the line's ends only: not also after or before a \r or \f
    // inside it, as the engine's line separators would have them.
    boost::match_flag_type flags = flags_ | rc::match_single_line;
    if (lineStart_ != base_) flags &= ~(rc::match_not_bol | rc::match_not_bob | rc::match_prev_avail);
    if (lineEnd_ != last_) flags &= ~(rc::match_not_eol | rc::match_not_eob);
    if (afterEmpty && at == from) flags |= rc::match_not_initial_null;
    if (SafeSearch(at, lineEnd_, lineStart_, match_, regex_, flags, &failure_)) {
      RebuildMatch(match_, from, lineEnd_, last_);
      return true;
    }
    if (!failure_.empty()) break;
    lineOpen_ = false;
    if (lineEnd_ == last_) break;
    at = lineEnd_ + 1;
  }
  done_ = true;
  match_ = boost::cmatch();
  return false;
}

bool FirstSearch(const char* first, const char* last, boost::cmatch& m, const boost::regex& e,
                 boost::match_flag_type flags, std::string* failure, bool lineBounded) {
  MatchWalker walker(first, last, e, flags, lineBounded);
  if (walker.Next()) {
    m = walker.Match();
    return true;
  }
  if (failure != nullptr && walker.Failed()) *failure = walker.Failure();
  m = boost::cmatch();
  return false;
}

}  // namespace detail
}  // namespace RegexClass
