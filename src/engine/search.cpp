// Every Boost search of the library runs here, inside one guard.
#include "engine/engine.h"

#include "prefilter/prefilter.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace RegexClass {
namespace detail {

bool SafeSearch(const char* first, const char* last, const char* base, boost::cmatch& m, const boost::regex& e,
                boost::match_flag_type flags, std::string* failure) {
  try {
    return boost::regex_search(first, last, m, e, flags, base);
  } catch (const std::runtime_error& error) {  // boost::regex_error included
    if (failure != nullptr) *failure = error.what();
  } catch (const std::logic_error& error) {  // a flag combination the engine refuses
    if (failure != nullptr) *failure = error.what();
  }
  m = boost::cmatch();
  return false;
}

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
  if (at == base_ || at[-1] == '\n') {
    lineStart_ = at;
  } else {
    const void* newline = memrchr(base_, '\n', static_cast<std::size_t>(at - base_));
    lineStart_ = newline != nullptr ? static_cast<const char*>(newline) + 1 : base_;
  }
  const void* newline = std::memchr(at, '\n', static_cast<std::size_t>(last_ - at));
  lineEnd_ = newline != nullptr ? static_cast<const char*>(newline) : last_;
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
            at =
                static_cast<const char*>(memrchr(lineEnd_, '\n', static_cast<std::size_t>(base_ + end - lineEnd_))) + 1;
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
      ReframeMatch(match_, from, last_);
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

void ReframeMatch(boost::cmatch& m, const char* origin, const char* last) {
  const std::size_t size = m.size();
  // The group the format's $^N names: set last below so it stays the last.
  std::size_t lastClosed = 0;
  const boost::csub_match* closed = &m.get_last_closed_paren();
  for (std::size_t k = 1; k < size; ++k) {
    if (closed == &m[static_cast<int>(k)]) lastClosed = k;
  }
  boost::cmatch out(m);
  out.set_size(size, origin, last);
  out.set_base(origin);
  out.set_first(m[0].first);
  for (std::size_t k = 1; k < size; ++k) {
    const boost::csub_match& sub = m[static_cast<int>(k)];
    if (k == lastClosed || !sub.matched) continue;
    out.set_first(sub.first, k);
    out.set_second(sub.second, k, true);
  }
  if (lastClosed != 0) {
    const boost::csub_match& sub = m[static_cast<int>(lastClosed)];
    out.set_first(sub.matched ? sub.first : last, lastClosed);
    out.set_second(sub.matched ? sub.second : last, lastClosed, sub.matched);
  }
  out.set_second(m[0].second);
  m.swap(out);
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

namespace {

// The '\n' bytes in [first, last). With SSE2, sixteen at a time: each
// comparison gives -1 in the bytes that hold a newline, summed per byte lane
// for up to 255 rounds and then added up across the lanes. Otherwise eight
// at a time: in x = word ^ "\n\n...", a byte is zero exactly where the word
// held a newline, the high bit of each byte of ~(((x & 0x7f..) + 0x7f..) |
// x | 0x7f..) says which are, and a multiplication adds them up.
std::size_t CountNewlines(const char* first, const char* last) {
  std::size_t n = 0;
#ifdef __SSE2__
  const __m128i newlines = _mm_set1_epi8('\n');
  while (last - first >= 16) {
    __m128i lanes = _mm_setzero_si128();
    for (int round = 0; round < 255 && last - first >= 16; ++round, first += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, newlines));
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    n += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#else
  constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
  constexpr std::uint64_t kNewlines = 0x0a0a0a0a0a0a0a0aULL;
  for (; last - first >= 8; first += 8) {
    std::uint64_t word;
    std::memcpy(&word, first, sizeof word);
    const std::uint64_t x = word ^ kNewlines;
    const std::uint64_t marks = (~(((x & kLow7) + kLow7) | x | kLow7)) >> 7;  // 1 per newline byte
    n += static_cast<std::size_t>((marks * 0x0101010101010101ULL) >> 56);
  }
#endif
  for (; first < last; ++first) n += *first == '\n' ? 1 : 0;
  return n;
}

}  // namespace

void LineCounter::AdvanceTo(const char* p) {
  if (p <= pos_) return;
  const std::size_t newlines = CountNewlines(pos_, p);
  if (newlines > 0) {
    line_ += static_cast<unsigned>(newlines);
    lineStart_ = static_cast<const char*>(memrchr(pos_, '\n', static_cast<std::size_t>(p - pos_))) + 1;
  }
  pos_ = p;
}

}  // namespace detail
}  // namespace RegexClass
