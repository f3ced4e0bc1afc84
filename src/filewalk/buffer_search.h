// The search of one file's bytes. Every search of file contents goes through
// SearchBuffer. Its walk (MatchWalker) puts the prefilter in front of the
// engine where it applies (prefilter/prefilter.h): a fast scan rules out the
// buffer, or the lines of it that cannot hold a match, with the same results.
#ifndef RAVELIN_FILEWALK_BUFFER_SEARCH_H
#define RAVELIN_FILEWALK_BUFFER_SEARCH_H

#include <cstdint>
#include <string>

#include "engine/engine.h"

namespace RegexClass {
namespace detail {

// Receives the matches of one buffer, in order.
class MatchSink {
 public:
  // view: the match, positions counted from the buffer start; line: 1 + the
  // '\n' bytes before it. False stops the search.
  virtual bool OnMatch(const MatchView& view, unsigned line) = 0;

 protected:
  ~MatchSink() = default;
};

enum class SearchScope {
  FirstMatch,  // stop at the first match
  AllMatches,  // every match, by the engine's rules for empty matches
};

struct BufferSearchResult {
  std::uint64_t matches = 0;  // found (and reported, with a sink)
  bool stopped = false;       // the sink asked to stop
  bool failed = false;        // the engine gave up part-way
  std::string failure;        // why, when failed
};

// Searches [first, last) with e under flags. With a sink, each match is
// reported with its line (counted incrementally, so the whole search stays
// linear in the buffer); without one the matches are only counted. The
// engine giving up ends the search with failed set, after the matches found
// until then. std::bad_alloc and exceptions of the sink propagate.
// lineBounded: each line is searched as a buffer of its own (MatchWalker).
BufferSearchResult SearchBuffer(const char* first, const char* last, const boost::regex& e,
                                boost::match_flag_type flags, SearchScope scope, MatchSink* sink,
                                bool lineBounded = false);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_BUFFER_SEARCH_H
