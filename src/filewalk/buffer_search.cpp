#include "filewalk/buffer_search.h"

#include "walker/match_walker.h"

namespace RegexClass {
namespace detail {

BufferSearchResult SearchBuffer(const char* first, const char* last, const boost::regex& e,
                                boost::match_flag_type flags, SearchScope scope, MatchSink* sink, bool lineBounded) {
  BufferSearchResult result;
  MatchWalker walker(first, last, e, flags, lineBounded);
  LineCounter lines(first);
  while (walker.Next()) {
    ++result.matches;
    if (sink != nullptr) {
      lines.AdvanceTo(walker.Match()[0].first);
      const MatchView view = walker.View();
      if (!sink->OnMatch(view, lines.Line())) {
        result.stopped = true;
        return result;
      }
    }
    if (scope == SearchScope::FirstMatch) return result;
  }
  if (walker.Failed()) {
    result.failed = true;
    result.failure = walker.Failure();
  }
  return result;
}

}  // namespace detail
}  // namespace RegexClass
