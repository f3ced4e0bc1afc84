// Grep: every match of the expression in the subject, in string order.
#include <memory>
#include <string>

#include "engine/engine.h"
#include "handlers/events.h"
#include "ravelin/RegularExpression.h"
#include "stringops/string_ops.h"
#include "walker/match_walker.h"

namespace RegexClass {
namespace detail {

const REMatchInfo& WalkVector::Fill(const MatchView& view) {
  const boost::cmatch& m = *view.match;
  const std::size_t marks = m.size();
  info_.resize(marks + 2);
  for (std::size_t k = 0; k < marks; ++k) SetMatchEntry(info_[k], m[static_cast<int>(k)], view.base);
  SetMatchEntry(info_[marks], m.prefix(), view.base);
  SetMatchEntry(info_[marks + 1], m.suffix(), view.base);
  return info_;
}

namespace {

// Reports the matches of one Grep to the caller's handler: publishes each in
// the owner's lastGrepMatch while the handler runs and counts lines from the
// previous match on.
class GrepPredicate {
 public:
  GrepPredicate(RegularExpression& owner, const MatchView*& currentMatch, const std::string& subject,
                const GreppingHandlers& handlers)
      : owner_(owner), currentMatch_(currentMatch), handlers_(handlers), lines_(subject.data()) {}

  // Raises OnGrepping for one match; returns the handler's go-on flag.
  bool operator()(const MatchView& view) {
    lines_.AdvanceTo((*view.match)[0].first);
    const REMatchInfo& info = vector_.Fill(view);
    bool goOn = true;
    const MatchSlot current(currentMatch_, &view);
    handlers_.Raise(owner_, info, lines_.Line(), static_cast<unsigned>(lines_.LineStart()), goOn);
    return goOn;
  }

 private:
  RegularExpression& owner_;
  const MatchView*& currentMatch_;
  const GreppingHandlers& handlers_;
  LineCounter lines_;
  WalkVector vector_;
};

}  // namespace
}  // namespace detail

unsigned RegularExpression::Grep() {
  lastSearchError.clear();
  if (stringToMatch.empty()) return 0;
  if (ParseExpression() != 0) return 0;
  // Held for the whole walk: a handler may compile another expression.
  const std::shared_ptr<const detail::CompiledExpression> compiled = compiledExpression;
  if (!compiled || !compiled->Usable()) return 0;
  const boost::match_flag_type flags = compiled->SearchFlags(GetMatchFlags());
  const detail::GreppingHandlers handlers(onGrepping, onGreppingClosure, eventFunctions.get(),
                                          &detail::EventFunctions::grepping);

  unsigned count = 0;
  if (!handlers.Set()) {
    // No code of the caller runs during this walk, so the subject cannot
    // change under it and needs no copy.
    const char* first = stringToMatch.data();
    detail::MatchWalker walker(first, first + stringToMatch.size(), compiled->Regex(), flags, lineBounded);
    while (walker.Next()) ++count;
    if (walker.Failed()) lastSearchError = walker.Failure();
    return count;
  }

  // The walk runs over a copy: a handler may assign a new stringToMatch.
  const detail::SubjectCopy copy(stringToMatch, mergeResult);
  const std::string& subject = copy.Text();
  detail::MatchWalker walker(subject.data(), subject.data() + subject.size(), compiled->Regex(), flags, lineBounded);
  detail::GrepPredicate predicate(*this, lastGrepMatch, subject, handlers);
  while (walker.Next()) {
    ++count;
    if (!predicate(walker.View())) break;
  }
  if (walker.Failed()) lastSearchError = walker.Failure();
  return count;
}

}  // namespace RegexClass
