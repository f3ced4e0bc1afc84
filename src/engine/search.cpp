// Every Boost search of the library runs here, inside one guard.
#include "engine/engine.h"

#include "prefilter/prefilter.h"

#include <cstring>
#include <stdexcept>

namespace RegexClass {
namespace detail {

bool SafeSearch(const char* first, const char* last, const char* base, boost::cmatch& m,
                const boost::regex& e, boost::match_flag_type flags, std::string* failure) {
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

MatchWalker::MatchWalker(const char* first, const char* last, const boost::regex& e, boost::match_flag_type flags)
    : base_(first),
      next_(first),
      last_(last),
      regex_(e),
      flags_(flags),
      prefilter_(PrefilterCursor::Open(first, last, e, flags)) {}

MatchWalker::~MatchWalker() = default;

bool MatchWalker::Next() {
  if (done_) return false;
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

bool FirstSearch(const char* first, const char* last, boost::cmatch& m, const boost::regex& e,
                 boost::match_flag_type flags, std::string* failure) {
  MatchWalker walker(first, last, e, flags);
  if (walker.Next()) {
    m = walker.Match();
    return true;
  }
  if (failure != nullptr && walker.Failed()) *failure = walker.Failure();
  m = boost::cmatch();
  return false;
}

void LineCounter::AdvanceTo(const char* p) {
  while (pos_ < p) {
    const void* newline = std::memchr(pos_, '\n', static_cast<std::size_t>(p - pos_));
    if (newline == nullptr) {
      pos_ = p;
      return;
    }
    ++line_;
    pos_ = static_cast<const char*>(newline) + 1;
    lineStart_ = pos_;
  }
}

}  // namespace detail
}  // namespace RegexClass
