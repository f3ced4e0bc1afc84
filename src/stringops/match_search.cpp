// Match, MatchAll and Search: one search over the subject, one event.
#include <memory>
#include <string>

#include "engine/engine.h"
#include "handlers/events.h"
#include "ravelin/RegularExpression.h"
#include "stringops/string_ops.h"
#include "walker/match_walker.h"

namespace RegexClass {
namespace detail {

bool SearchSubject(SearchKind kind, const char* first, const char* last, const CompiledExpression& compiled,
                   unsigned matchWord, bool lineBounded, boost::cmatch& m, std::string* failure) {
  namespace rc = boost::regex_constants;
  boost::match_flag_type flags = compiled.SearchFlags(matchWord);
  if (kind != SearchKind::Search) flags |= rc::match_continuous;
  // match_all makes the engine look for a match that reaches the end, so an
  // alternative that stops short (a in a|ab) does not hide one that covers
  // the whole subject.
  if (kind == SearchKind::MatchAll) flags |= rc::match_all;
  const bool wholeSubject = kind == SearchKind::MatchAll;
  if (lineBounded && kind != SearchKind::Search) {
    // Anchored and line-bounded: the first line is the subject searched.
    const char* lineEnd = LineEndOf(first, last);
    boost::match_flag_type lineFlags = flags | rc::match_single_line;
    if (lineEnd != last) lineFlags &= ~(rc::match_not_eol | rc::match_not_eob);
    if (!FirstSearch(first, lineEnd, m, compiled.Regex(), lineFlags, failure)) return false;
    if (wholeSubject && m[0].second != lineEnd) return false;
    RebuildMatch(m, first, lineEnd, last);
    return true;
  }
  if (!FirstSearch(first, last, m, compiled.Regex(), flags, failure, lineBounded)) return false;
  return !wholeSubject || m[0].second == last;
}

}  // namespace detail

namespace {

// What one search needs of the object that runs it.
struct SingleSearch {
  RegularExpression& owner;
  const std::string& subject;
  const detail::MatchView*& matchResults;
  const detail::MatchView*& lastGrepMatch;
  std::string& lastSearchError;
  std::string& spare;  // storage the subject copy may borrow
  bool lineBounded;
};

// Searches the subject once and raises the event for the match.
template <class Handlers>
bool SearchOnce(const SingleSearch& s, const detail::CompiledExpression& compiled, detail::SearchKind kind,
                unsigned matchWord, const Handlers& handlers) {
  // A handler may assign a new subject while the match still points into the
  // old one, so with a handler the search runs over a private copy.
  const bool handler = handlers.Set();
  std::unique_ptr<detail::SubjectCopy> copy;
  if (handler) copy = std::make_unique<detail::SubjectCopy>(s.subject, s.spare);
  const std::string& subject = handler ? copy->Text() : s.subject;
  const char* first = subject.data();
  const char* last = first + subject.size();

  boost::cmatch m;
  if (!detail::SearchSubject(kind, first, last, compiled, matchWord, s.lineBounded, m, &s.lastSearchError)) {
    return false;
  }
  if (!handler) return true;

  const detail::MatchView view{&m, first};
  detail::LineCounter lines(first);
  lines.AdvanceTo(m[0].first);
  const REMatchInfo info = detail::StringMatchVector(view);
  // While the handler runs this match is the current one, even inside the
  // handler of a Grep or Merge on the same object.
  const detail::MatchSlot hideWalk(s.lastGrepMatch, nullptr);
  const detail::MatchSlot current(s.matchResults, &view);
  handlers.Raise(s.owner, info, lines.Line(), static_cast<unsigned>(lines.LineStart()));
  return true;
}

}  // namespace

bool RegularExpression::Match() {
  lastSearchError.clear();
  if (ParseExpression() != 0) return false;
  // The running search keeps the compiled expression alive even if a handler
  // compiles another one.
  const std::shared_ptr<const detail::CompiledExpression> compiled = compiledExpression;
  if (!compiled || !compiled->Usable()) return false;
  const detail::MatchingHandlers handlers(onMatching, onMatchingClosure, eventFunctions.get(), &detail::EventFunctions::matching);
  const SingleSearch state{*this,           stringToMatch, matchResults, lastGrepMatch,
                           lastSearchError, mergeResult,   lineBounded};
  return SearchOnce(state, *compiled, detail::SearchKind::Match, GetMatchFlags(), handlers);
}

bool RegularExpression::MatchAll() {
  lastSearchError.clear();
  if (ParseExpression() != 0) return false;
  const std::shared_ptr<const detail::CompiledExpression> compiled = compiledExpression;
  if (!compiled || !compiled->Usable()) return false;
  const detail::MatchingHandlers handlers(onMatching, onMatchingClosure, eventFunctions.get(), &detail::EventFunctions::matching);
  const SingleSearch state{*this,           stringToMatch, matchResults, lastGrepMatch,
                           lastSearchError, mergeResult,   lineBounded};
  return SearchOnce(state, *compiled, detail::SearchKind::MatchAll, GetMatchFlags(), handlers);
}

bool RegularExpression::Search() {
  lastSearchError.clear();
  if (ParseExpression() != 0) return false;
  const std::shared_ptr<const detail::CompiledExpression> compiled = compiledExpression;
  if (!compiled || !compiled->Usable()) return false;
  const detail::SearchingHandlers handlers(onSearching, onSearchingClosure, eventFunctions.get(), &detail::EventFunctions::searching);
  const SingleSearch state{*this,           stringToMatch, matchResults, lastGrepMatch,
                           lastSearchError, mergeResult,   lineBounded};
  return SearchOnce(state, *compiled, detail::SearchKind::Search, GetMatchFlags(), handlers);
}

}  // namespace RegexClass
