// Format and Merge: the current match through the format string, and the
// subject with every match replaced.
#include <cstdint>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/engine.h"
#include "handlers/events.h"
#include "ravelin/RegularExpression.h"
#include "stringops/string_ops.h"
#include "walker/match_walker.h"

namespace RegexClass {
namespace detail {

void AppendFormatted(const boost::cmatch& m, const std::string& fmt, const boost::regex* e, std::string& out) {
  const std::size_t before = out.size();
  try {
    if (e != nullptr) {
      m.format(std::back_inserter(out), fmt, boost::regex_constants::format_default, *e);
    } else {
      m.format(std::back_inserter(out), fmt, boost::regex_constants::format_default);
    }
  } catch (const std::runtime_error&) {
    out.resize(before);
  } catch (const std::logic_error&) {
    out.resize(before);
  }
}

namespace {

// Reports the matches of one Merge to the caller's handler and builds the
// result: the text before each match is copied (or dropped, by the owner's
// mergeCopy, read afresh at every match), then the handler decides whether
// the match is replaced by its formatted text.
class MergePredicate {
 public:
  MergePredicate(RegularExpression& owner, const MatchView*& currentMatch, const std::string& subject,
                 const MergingHandlers& handlers, const bool& copy, const std::string& format, const boost::regex& e,
                 std::uint64_t& position, std::string& output)
      : owner_(owner),
        currentMatch_(currentMatch),
        base_(subject.data()),
        handlers_(handlers),
        copy_(copy),
        format_(format),
        regex_(e),
        position_(position),
        output_(output),
        lines_(subject.data()) {}

  // Handles one match; returns the handler's go-on flag.
  bool operator()(const MatchView& view) {
    const boost::cmatch& m = *view.match;
    lines_.AdvanceTo(m[0].first);
    const REMatchInfo& info = vector_.Fill(view);
    const MatchSlot current(currentMatch_, &view);
    // position_ is where the text not yet dealt with starts; the gap up to
    // this match is copied or dropped now, whatever the handler says.
    if (copy_) output_.append(base_ + position_, m[0].first);
    position_ = static_cast<std::uint64_t>(m[0].first - base_);
    bool goOn = true;
    handlers_.Raise(owner_, info, lines_.Line(), static_cast<unsigned>(lines_.LineStart()), goOn);
    if (goOn) {
      AppendFormatted(m, format_, &regex_, output_);
      position_ = static_cast<std::uint64_t>(m[0].second - base_);
    }
    return goOn;
  }

 private:
  RegularExpression& owner_;
  const MatchView*& currentMatch_;
  const char* base_;
  const MergingHandlers& handlers_;
  const bool& copy_;
  const std::string& format_;
  const boost::regex& regex_;
  std::uint64_t& position_;
  std::string& output_;
  LineCounter lines_;
  WalkVector vector_;
};

}  // namespace
}  // namespace detail

void RegularExpression::Format(std::string& out) const {
  out.clear();
  if (formatString.empty()) return;
  const detail::MatchView* source = lastGrepMatch != nullptr ? lastGrepMatch : matchResults;
  if (source == nullptr || source->match == nullptr) return;
  const boost::cmatch& m = *source->match;
  if (m.empty() || !m[0].matched) return;
  const boost::regex* e = compiledExpression && compiledExpression->Usable() ? &compiledExpression->Regex() : nullptr;
  std::string result;
  detail::AppendFormatted(m, formatString, e, result);
  out = std::move(result);
}

void RegularExpression::Merge(std::string& out) {
  out.clear();
  lastSearchError.clear();
  if (formatString.empty() || stringToMatch.empty() || ParseExpression() != 0) return;
  // Held for the whole merge: a handler may compile another expression.
  const std::shared_ptr<const detail::CompiledExpression> compiled = compiledExpression;
  if (!compiled || !compiled->Usable()) return;
  const boost::regex& e = compiled->Regex();
  const boost::match_flag_type flags = compiled->SearchFlags(GetMatchFlags());
  const detail::MergingHandlers handlers(onMerging, onMergingClosure, eventFunctions.get(),
                                         &detail::EventFunctions::merging);

  if (!handlers.Set()) {
    // No code of the caller runs here: subject, format and switch hold still,
    // and the result can be built in out itself, reusing its storage.
    try {
      const char* first = stringToMatch.data();
      const char* last = first + stringToMatch.size();
      const bool copy = mergeCopy;
      if (copy) out.reserve(stringToMatch.size());
      detail::MatchWalker walker(first, last, e, flags, lineBounded);
      detail::ReplaceMatches(walker, first, last, copy, out, [&](const boost::cmatch& m, std::string& to) {
        detail::AppendFormatted(m, formatString, &e, to);
      });
      if (walker.Failed()) lastSearchError = walker.Failure();
    } catch (...) {  // std::bad_alloc: no half-built result
      out.clear();
      throw;
    }
    return;
  }

  // The merge scans a private copy, so a handler may assign a new
  // stringToMatch; the copy borrows the storage of mergeResult. The result
  // and position live on this stack rather than in the object, so that a
  // handler running another Merge on this object cannot disturb this one.
  mergePosition = 0;
  const detail::SubjectCopy copy(stringToMatch, mergeResult);
  const std::string& subject = copy.Text();
  std::string result;
  std::uint64_t position = 0;
  detail::MatchWalker walker(subject.data(), subject.data() + subject.size(), e, flags, lineBounded);
  detail::MergePredicate predicate(*this, lastGrepMatch, subject, handlers, mergeCopy, formatString, e, position,
                                   result);
  while (walker.Next()) {
    if (!predicate(walker.View())) break;
  }
  if (walker.Failed()) lastSearchError = walker.Failure();
  if (mergeCopy && position < subject.size()) result.append(subject, static_cast<std::size_t>(position));
  mergePosition = position;
  out = std::move(result);
}

}  // namespace RegexClass
