// Match vectors: from the engine's match to REMatch records.
#include "engine/engine.h"
#include "handlers/events.h"

namespace RegexClass {
namespace detail {
namespace {

REMatch Entry(const boost::csub_match& sub, const char* base) {
  REMatch entry;
  SetMatchEntry(entry, sub, base);
  return entry;
}

void AppendMarks(const MatchView& view, REMatchInfo& out) {
  const boost::cmatch& m = *view.match;
  if (m.empty() || !m[0].matched) return;
  out.reserve(m.size() + 2);
  for (std::size_t k = 0; k < m.size(); ++k) out.push_back(Entry(m[static_cast<int>(k)], view.base));
}

}  // namespace

REMatchInfo StringMatchVector(const MatchView& view) {
  REMatchInfo out;
  AppendMarks(view, out);
  const boost::cmatch& m = *view.match;
  if (m.empty()) {
    out.push_back(REMatch{std::string(), -1});
    out.push_back(REMatch{std::string(), -1});
    return out;
  }
  out.push_back(Entry(m.prefix(), view.base));
  out.push_back(Entry(m.suffix(), view.base));
  return out;
}

REMatchInfo FileMatchVector(const MatchView& view) {
  REMatchInfo out;
  AppendMarks(view, out);
  return out;
}

void FillFileMatchVector(const MatchView& view, REMatchInfo& out) {
  const boost::cmatch& m = *view.match;
  if (m.empty() || !m[0].matched) {
    out.clear();
    return;
  }
  out.resize(m.size());
  for (std::size_t k = 0; k < m.size(); ++k) SetMatchEntry(out[k], m[static_cast<int>(k)], view.base);
}

}  // namespace detail

REMatchInfo RegularExpression::GetMatchingInformation() {
  const detail::MatchView* source = lastGrepMatch != nullptr ? lastGrepMatch : matchResults;
  if (source == nullptr || source->match == nullptr) return REMatchInfo();
  return detail::StringMatchVector(*source);
}

void RegularExpression::ResetMatches() { matchResults = nullptr; }

unsigned FileMatch::Marks() const { return static_cast<unsigned>(view_->match->size()); }

std::string FileMatch::What(unsigned i) const {
  const boost::cmatch& m = *view_->match;
  if (i >= m.size() || !m[static_cast<int>(i)].matched) return std::string();
  return m[static_cast<int>(i)].str();
}

std::int64_t FileMatch::Position(unsigned i) const {
  const boost::cmatch& m = *view_->match;
  if (i >= m.size() || !m[static_cast<int>(i)].matched) return -1;
  return static_cast<std::int64_t>(m[static_cast<int>(i)].first - view_->base);
}

unsigned FileMatch::Line() const { return line_; }

}  // namespace RegexClass
