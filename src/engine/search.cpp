// Every Boost search and match of the library runs here, inside one guard,
// and the rebuild of a match found over part of a buffer.
#include "engine/engine.h"

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

bool SafeMatch(const char* first, const char* last, const boost::regex& e, boost::match_flag_type flags,
               std::string* failure) {
  try {
    return boost::regex_match(first, last, e, flags);
  } catch (const std::runtime_error& error) {
    if (failure != nullptr) *failure = error.what();
  } catch (const std::logic_error& error) {
    if (failure != nullptr) *failure = error.what();
  }
  return false;
}

bool RebuildMatch(boost::cmatch& m, const char* origin, const char* end, const char* last) {
  const std::size_t size = m.size();
  // The group the format's $^N names: set last below so it stays the last.
  std::size_t lastClosed = 0;
  const boost::csub_match* closed = &m.get_last_closed_paren();
  for (std::size_t k = 1; k < size; ++k) {
    if (closed == &m[static_cast<int>(k)]) lastClosed = k;
  }
  // Where the engine left it: a group that did not take part, at the end of
  // the search that found m.
  auto leftAtEnd = [end, last](const boost::csub_match& sub) {
    return !sub.matched && sub.first == sub.second && (sub.first == end || sub.first == last);
  };
  boost::cmatch out(m);
  out.set_size(size, origin, last);
  out.set_base(origin);
  out.set_first(m[0].first);
  bool setAny = false;
  for (std::size_t k = 1; k < size; ++k) {
    const boost::csub_match& sub = m[static_cast<int>(k)];
    if (k == lastClosed || leftAtEnd(sub)) continue;
    out.set_first(sub.first, k);
    out.set_second(sub.second, k, sub.matched);
    setAny = true;
  }
  if (lastClosed != 0) {
    const boost::csub_match& sub = m[static_cast<int>(lastClosed)];
    const bool atEnd = leftAtEnd(sub);
    out.set_first(atEnd ? last : sub.first, lastClosed);
    out.set_second(atEnd ? last : sub.second, lastClosed, sub.matched);
  }
  out.set_second(m[0].second);
  m.swap(out);
  return lastClosed != 0 || !setAny;
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
