// The walk over one buffer with the prefilter.
//
// Two ways to use the scanner's match ends ("candidates"):
//  * Lines: when no match can cross a '\n', every match lies on the line of
//    its own end. The engine searches only the lines that hold a candidate,
//    from the walk's position or the line start (whichever is later) to the
//    line end. Neither end of that window may look to the engine like an end
//    of the buffer unless it is one, or an assertion there (\z, \Z, $ under
//    (?-m) or after a \r, \b, and any of them inside a negative look-around)
//    would answer otherwise than in the plain search: the base is always the
//    buffer start, so the window's start sees the text before it, and the
//    window takes in the line's '\n' and, unless only line separators follow
//    it, tells the engine the buffer goes on past it.
//    A start found there is confirmed by a search anchored at it over the
//    rest of the buffer, which also gives the match its true suffix.
//  * Tail: otherwise the engine searches from the walk's position (or from
//    the first candidate less the longest possible match) to the buffer end,
//    and only while a candidate lies ahead.
// Matches found after the walk's position are rebuilt (RebuildMatch) so
// that their prefix and positions count from it. When the engine gives up in a shortened
// search, the search is done again plain, so failures are the plain ones.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "engine/engine.h"
#include "prefilter/prefilter.h"
#include "prefilter/scanner.h"

namespace RegexClass {
namespace detail {
namespace {

namespace rc = boost::regex_constants;

// Buffers shorter than this are searched plain (in PrefilterMode::On): the
// engine is as quick there as the scanner's setup.
constexpr std::size_t kShortBuffer = 512;
// Lines are scanned in chunks from this size, doubling up to kMaxChunk, so a
// search whose match comes early does not pay for scanning the whole buffer.
constexpr std::size_t kFirstChunk = std::size_t{4} * 1024;
constexpr std::size_t kMaxChunk = std::size_t{1024} * 1024;
// After this many matches, a walk whose matches came on average closer than
// the gap (in bytes) goes on without the prefilter.
constexpr std::size_t kDenseAfter = 64;
constexpr std::size_t kDenseLineGap = 2048;
constexpr std::size_t kDenseTailGap = std::size_t{64} * 1024;
// A line-bounded walk searches line by line even without the prefilter, so
// it gives the scanner up only when candidates come on most lines.
constexpr std::size_t kDenseBoundedGap = 256;

// The match flags the prefilter is known to keep results for.
const rc::match_flag_type kKnownFlags = rc::match_not_bol | rc::match_not_eol | rc::match_not_bob | rc::match_not_eob |
                                        rc::match_not_bow | rc::match_not_eow | rc::match_not_dot_newline |
                                        rc::match_not_dot_null | rc::match_not_null | rc::match_perl | rc::match_posix |
                                        rc::match_nosubs | rc::match_single_line;

// Where the run of the engine's line separators that ends [first, first +
// size) starts: \Z holds anywhere in that run.
std::size_t SeparatorTail(const char* first, std::size_t size) {
  while (size > 0 && (first[size - 1] == '\n' || first[size - 1] == '\r' || first[size - 1] == '\f')) --size;
  return size;
}

}  // namespace

std::unique_ptr<PrefilterCursor> PrefilterCursor::Open(const char* first, const char* last, const boost::regex& e,
                                                       boost::match_flag_type flags) {
  const PrefilterMode mode = GetPrefilterMode();
  if (mode == PrefilterMode::Off) return nullptr;
  const std::size_t size = static_cast<std::size_t>(last - first);
  if (mode == PrefilterMode::On && size < kShortBuffer) return nullptr;
  if (size >= std::numeric_limits<unsigned int>::max()) return nullptr;  // the scanner's length limit
  // In integers: the complement of a flag set is no flag set the enumeration holds.
  if ((static_cast<std::uint32_t>(flags) & ~static_cast<std::uint32_t>(kKnownFlags)) != 0) return nullptr;
  std::shared_ptr<const Prefilter> prefilter = PrefilterFor(e);
  if (!prefilter) return nullptr;
  return std::make_unique<PrefilterCursor>(std::move(prefilter), first, last, e, flags);
}

bool PrefilterCursor::NextLineCandidate(std::size_t after, std::size_t& end) {
  if (broken_) return false;
  if (++finds_ == kDenseAfter && after / kDenseAfter < kDenseBoundedGap) {
    broken_ = true;
    return false;
  }
  return NextCandidate(after, end);
}

PrefilterCursor::PrefilterCursor(std::shared_ptr<const Prefilter> prefilter, const char* first, const char* last,
                                 const boost::regex& e, boost::match_flag_type flags)
    : prefilter_(std::move(prefilter)),
      base_(first),
      last_(last),
      size_(static_cast<std::size_t>(last - first)),
      regex_(e),
      flags_(flags),
      lineLocal_(PrefilterLineLocal(*prefilter_, flags)),
      tail_(SeparatorTail(first, size_)),
      chunk_(kFirstChunk) {}

PrefilterCursor::~PrefilterCursor() = default;

bool PrefilterCursor::Find(const char* from, bool afterEmpty, boost::cmatch& m, std::string* failure) {
  const std::size_t origin = static_cast<std::size_t>(from - base_);
  // Where matches come thick, the engine alone is quicker than the scanner
  // and the extra searches: the walk goes on plain.
  if (++finds_ == kDenseAfter) {
    const std::size_t gap = lineLocal_ ? kDenseLineGap : kDenseTailGap;
    if (origin / kDenseAfter < gap) broken_ = true;
  }
  if (broken_) return Plain(origin, afterEmpty, m, failure);
  return lineLocal_ ? FindInLines(origin, afterEmpty, m, failure) : FindFromTail(origin, afterEmpty, m, failure);
}

bool PrefilterCursor::Plain(std::size_t origin, bool afterEmpty, boost::cmatch& m, std::string* failure) {
  boost::match_flag_type flags = flags_;
  if (afterEmpty) flags |= rc::match_not_initial_null;
  return SafeSearch(base_ + origin, last_, base_, m, regex_, flags, failure);
}

// A match at start (found by a shortened search) as the plain search from
// origin reports it.
bool PrefilterCursor::Finish(std::size_t origin, std::size_t start, bool afterEmpty, boost::cmatch& m,
                             std::string* failure) {
  if (start == origin || RebuildMatch(m, base_ + origin, last_, last_)) return true;
  return Plain(origin, afterEmpty, m, failure);
}

bool PrefilterCursor::FindInLines(std::size_t origin, bool afterEmpty, boost::cmatch& m, std::string* failure) {
  std::size_t at = origin;
  for (;;) {
    if (lineOpen_ && at <= lineEnd_) {
      switch (SearchLine(origin, at, lineEnd_, afterEmpty, m, failure)) {
        case Window::Found:
          return true;
        case Window::Fallback:
          return Plain(origin, afterEmpty, m, failure);
        case Window::None:
          break;
      }
      lineOpen_ = false;
      if (lineEnd_ >= size_) return false;
      at = lineEnd_ + 1;
    }
    std::size_t end = 0;
    if (!NextCandidate(at, end)) {
      if (broken_) return Plain(origin, afterEmpty, m, failure);
      return false;
    }
    // The candidate's line, from `at` at the earliest.
    const std::size_t lineStart = static_cast<std::size_t>(LineStartOf(base_ + at, base_ + end) - base_);
    lineEnd_ = static_cast<std::size_t>(LineEndOf(base_ + end, last_) - base_);
    lineOpen_ = true;
    at = lineStart;
  }
}

PrefilterCursor::Window PrefilterCursor::SearchLine(std::size_t origin, std::size_t from, std::size_t lineEnd,
                                                    bool afterEmpty, boost::cmatch& m, std::string* failure) {
  // The window ends past the line's '\n', where no match of a pattern that
  // cannot hold one reaches: every assertion at the line end reads the '\n'
  // itself, as in the plain search. Only \Z looks on (over separators) to
  // the window's end: match_not_eob keeps it from holding there unless no
  // more than separators follow the line in the buffer too. Never longer
  // than the line, so a run of lines without a match costs their length.
  const char* windowEnd = lineEnd < size_ ? base_ + lineEnd + 1 : last_;
  const boost::match_flag_type windowFlags = lineEnd < tail_ ? flags_ | rc::match_not_eob : flags_;
  std::size_t at = from;
  while (at <= lineEnd) {
    const bool initial = afterEmpty && at == origin;
    boost::match_flag_type flags = windowFlags;
    if (initial) flags |= rc::match_not_initial_null;
    boost::cmatch line;
    std::string why;
    if (!SafeSearch(base_ + at, windowEnd, base_, line, regex_, flags, &why)) {
      return why.empty() ? Window::None : Window::Fallback;
    }
    const std::size_t start = static_cast<std::size_t>(line[0].first - base_);
    if (start > lineEnd) return Window::None;  // not on this line
    flags = flags_ | rc::match_continuous;
    if (afterEmpty && start == origin) flags |= rc::match_not_initial_null;
    if (SafeSearch(base_ + start, last_, base_, m, regex_, flags, &why)) {
      return Finish(origin, start, afterEmpty, m, failure) ? Window::Found : Window::Fallback;
    }
    if (!why.empty()) return Window::Fallback;
    at = start + 1;
  }
  return Window::None;
}

namespace {

struct Gather {
  const char* base;
  std::size_t offset;   // of the scanned range in the buffer
  std::size_t after;    // only ends after this count
  std::size_t size;     // of the buffer
  std::size_t lineEnd;  // end of the line of the last end kept
  std::vector<std::size_t>* ends;
  bool outOfMemory;  // no exception may cross the scanner's frames
};

bool GatherEnd(std::size_t end, void* context) {
  Gather& g = *static_cast<Gather*>(context);
  const std::size_t at = g.offset + end;
  // A match confined to a line never holds its '\n': an end just after one
  // is no candidate (and would stand for the wrong line).
  if (at <= g.after || g.base[at - 1] == '\n') return true;
  // Keep the first end of each line: the line search finds the rest.
  if (!g.ends->empty() && at > g.ends->back() && at <= g.lineEnd) return true;
  try {
    g.ends->push_back(at);
  } catch (const std::bad_alloc&) {
    g.outOfMemory = true;
    return false;
  }
  g.lineEnd = static_cast<std::size_t>(LineEndOf(g.base + at, g.base + g.size) - g.base);
  return true;
}

struct First {
  std::size_t offset;
  std::size_t after;
  std::size_t found;
  bool any;
  bool keepLooking;  // ends may come out of order: find the least
};

bool FirstEnd(std::size_t end, void* context) {
  First& f = *static_cast<First*>(context);
  const std::size_t at = f.offset + end;
  if (at <= f.after) return true;
  if (!f.any || at < f.found) f.found = at;
  f.any = true;
  return f.keepLooking;
}

}  // namespace

bool PrefilterCursor::ScanChunk(std::size_t after) {
  // Start at a line start (where the scanner's start of data stands for the
  // '\n' before it), or one byte before `after`, so that \b sees its context.
  std::size_t start = std::max(scanned_, after);
  if (start > scanned_ && start > 0 && base_[start - 1] != '\n') --start;
  std::size_t end = std::min(size_, start + chunk_);
  if (end < size_) {
    const char* lineEnd = LineEndOf(base_ + end, last_);
    end = lineEnd != last_ ? static_cast<std::size_t>(lineEnd - base_) + 1 : size_;
  }
  chunk_ = std::min(chunk_ * 2, kMaxChunk);
  candidates_.clear();
  next_ = 0;
  Gather gather{base_, start, after, size_, 0, &candidates_, false};
  const ScanStatus status = PrefilterScan(*prefilter_, base_ + start, end - start, ScanSink{&GatherEnd, &gather});
  if (gather.outOfMemory) throw std::bad_alloc();
  if (status == ScanStatus::Error) {
    broken_ = true;
    return false;
  }
  if (!std::is_sorted(candidates_.begin(), candidates_.end())) std::sort(candidates_.begin(), candidates_.end());
  scanned_ = end;
  return true;
}

bool PrefilterCursor::NextCandidate(std::size_t after, std::size_t& end) {
  for (;;) {
    while (next_ < candidates_.size() && candidates_[next_] <= after) ++next_;
    if (next_ < candidates_.size()) {
      end = candidates_[next_];
      return true;
    }
    if (scanned_ >= size_ || !ScanChunk(after)) return false;
  }
}

bool PrefilterCursor::FindFromTail(std::size_t origin, bool afterEmpty, boost::cmatch& m, std::string* failure) {
  // Is there a candidate after origin, and which is the first?
  const std::size_t start = origin > 0 ? origin - 1 : 0;
  const std::size_t maxWidth = PrefilterMaxWidth(*prefilter_);
  const bool bounded = maxWidth != std::numeric_limits<std::size_t>::max();
  First first{start, origin, 0, false, bounded && !PrefilterOrdered(*prefilter_)};
  if (PrefilterScan(*prefilter_, base_ + start, size_ - start, ScanSink{&FirstEnd, &first}) == ScanStatus::Error) {
    broken_ = true;
    return Plain(origin, afterEmpty, m, failure);
  }
  if (!first.any) return false;
  // No match starts before the first candidate less the longest match.
  std::size_t from = origin;
  if (bounded && first.found - origin > maxWidth) from = first.found - maxWidth;
  if (from == origin) return Plain(origin, afterEmpty, m, failure);
  std::string why;
  if (!SafeSearch(base_ + from, last_, base_, m, regex_, flags_, &why)) {
    if (why.empty()) return false;
    return Plain(origin, afterEmpty, m, failure);
  }
  return Finish(origin, from, afterEmpty, m, failure);
}

}  // namespace detail
}  // namespace RegexClass
