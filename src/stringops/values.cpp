// Matches as values: MatchResult, the FindAll range, and Find, FullMatch,
// FindAll and Replace, which search a subject of the caller's and leave the
// object's subject, current match and events alone.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/engine.h"
#include "ravelin/RegularExpression.h"
#include "stringops/string_ops.h"
#include "walker/match_walker.h"

namespace RegexClass {
namespace detail {

// The match a MatchResult shares with its copies.
struct MatchData {
  boost::cmatch match;
  const char* base = nullptr;  // the start of the subject
  std::shared_ptr<const CompiledExpression> compiled;
  unsigned line = 1;
  std::size_t lineStart = 0;
};

struct ValueAccess {
  // The match options of re as the engine's flag word (the getter reads only).
  static unsigned MatchWord(const RegularExpression& re) { return const_cast<RegularExpression&>(re).GetMatchFlags(); }
  static std::shared_ptr<const CompiledExpression> Compiled(const RegularExpression& re) {
    std::shared_ptr<const CompiledExpression> compiled = re.CompiledForValues();
    if (!compiled || !compiled->Usable()) return nullptr;
    return compiled;
  }
  static bool LineBounded(const RegularExpression& re) { return re.lineBounded; }
  static void Note(const RegularExpression& re, const std::string& failure) { re.NoteValueSearch(failure); }

  // Writes m into r: in place when r is the only holder of its match (the
  // usual walk, which then allocates nothing per match), else into a match
  // of its own, so that copies the caller kept stay as they were.
  static void Fill(MatchResult& r, const boost::cmatch& m, const char* base,
                   const std::shared_ptr<const CompiledExpression>& compiled, const LineCounter& lines) {
    if (r.data_ && r.data_.use_count() == 1) {
      // Pairs with the release of the last other holder, which may have read
      // this match on another thread.
      std::atomic_thread_fence(std::memory_order_acquire);
    } else {
      r.data_ = std::make_shared<MatchData>();
    }
    MatchData& d = *r.data_;
    d.match = m;
    d.base = base;
    if (d.compiled != compiled) d.compiled = compiled;
    d.line = lines.Line();
    d.lineStart = lines.LineStart();
  }

  static MatchRange Range(std::unique_ptr<MatchCursor> cursor) { return MatchRange(std::move(cursor)); }
};

// The walk behind a MatchRange: Grep's walk, with Grep's line count.
class MatchCursor {
 public:
  MatchCursor(const RegularExpression& owner, std::shared_ptr<const CompiledExpression> compiled,
              std::string_view subject)
      : owner_(owner),
        compiled_(std::move(compiled)),
        first_(subject.data()),
        last_(subject.data() + subject.size()),
        flags_(compiled_->SearchFlags(ValueAccess::MatchWord(owner))),
        lineBounded_(ValueAccess::LineBounded(owner)) {}

  void Restart() {
    walker_ = std::make_unique<MatchWalker>(first_, last_, compiled_->Regex(), flags_, lineBounded_);
    lines_ = std::make_unique<LineCounter>(first_);
  }

  // The next match, or null at the end of the walk (when the engine gave
  // up, its reason is recorded on the owner).
  const MatchResult* Next() {
    if (!walker_) return nullptr;
    if (!walker_->Next()) {
      ValueAccess::Note(owner_, walker_->Failed() ? walker_->Failure() : std::string());
      walker_.reset();
      return nullptr;
    }
    const boost::cmatch& m = walker_->Match();
    lines_->AdvanceTo(m[0].first);
    ValueAccess::Fill(current_, m, first_, compiled_, *lines_);
    return &current_;
  }

 private:
  const RegularExpression& owner_;
  const std::shared_ptr<const CompiledExpression> compiled_;
  const char* first_;
  const char* last_;
  const boost::match_flag_type flags_;
  const bool lineBounded_;
  std::unique_ptr<MatchWalker> walker_;
  std::unique_ptr<LineCounter> lines_;
  MatchResult current_;
};

namespace {

// One match of a search that ran once (Find, FullMatch) as a value.
std::optional<MatchResult> OneMatch(const RegularExpression& re, std::string_view subject, SearchKind kind) {
  const std::shared_ptr<const CompiledExpression> compiled = ValueAccess::Compiled(re);
  if (!compiled) return std::nullopt;
  const char* first = subject.data();
  boost::cmatch m;
  std::string failure;
  const bool found = SearchSubject(kind, first, first + subject.size(), *compiled, ValueAccess::MatchWord(re),
                                   ValueAccess::LineBounded(re), m, &failure);
  ValueAccess::Note(re, failure);
  if (!found) return std::nullopt;
  LineCounter lines(first);
  lines.AdvanceTo(m[0].first);
  MatchResult result;
  ValueAccess::Fill(result, m, first, compiled, lines);
  return result;
}

// Replace: the subject with every match replaced by what replace(compiled,
// match, out) appends, or the subject itself when the expression does not compile or
// the engine gives up before the end.
template <class Replacer>
std::string ReplaceAll(const RegularExpression& re, std::string_view subject, Replacer&& replace) {
  const std::shared_ptr<const CompiledExpression> compiled = ValueAccess::Compiled(re);
  // An empty subject holds no match (as Grep counts).
  if (!compiled || subject.empty()) return std::string(subject);
  const char* first = subject.data();
  const char* last = first + subject.size();
  MatchWalker walker(first, last, compiled->Regex(), compiled->SearchFlags(ValueAccess::MatchWord(re)),
                     ValueAccess::LineBounded(re));
  std::string out;
  out.reserve(subject.size());
  ReplaceMatches(walker, first, last, true, out,
                 [&](const boost::cmatch& m, std::string& to) { replace(compiled, m, to); });
  ValueAccess::Note(re, walker.Failed() ? walker.Failure() : std::string());
  if (walker.Failed()) return std::string(subject);
  return out;
}

}  // namespace
}  // namespace detail

// ------------------------------------------------------------ MatchResult

std::size_t MatchResult::Size() const { return data_ ? data_->match.size() : 0; }

std::string_view MatchResult::operator[](std::size_t i) const {
  if (i >= Size()) return std::string_view();
  const boost::csub_match& s = data_->match[static_cast<int>(i)];
  if (!s.matched) return std::string_view();
  return std::string_view(s.first, static_cast<std::size_t>(s.second - s.first));
}

bool MatchResult::Matched(std::size_t i) const { return i < Size() && data_->match[static_cast<int>(i)].matched; }

std::int64_t MatchResult::Position(std::size_t i) const {
  if (!Matched(i)) return -1;
  return static_cast<std::int64_t>(data_->match[static_cast<int>(i)].first - data_->base);
}

std::string_view MatchResult::Group(std::string_view name) const {
  if (Size() == 0 || name.empty()) return std::string_view();
  const boost::csub_match& s = data_->match.named_subexpression(name.data(), name.data() + name.size());
  if (!s.matched) return std::string_view();
  return std::string_view(s.first, static_cast<std::size_t>(s.second - s.first));
}

std::string_view MatchResult::Prefix() const {
  if (Size() == 0) return std::string_view();
  const boost::csub_match s = data_->match.prefix();
  return std::string_view(s.first, static_cast<std::size_t>(s.second - s.first));
}

std::string_view MatchResult::Suffix() const {
  if (Size() == 0) return std::string_view();
  const boost::csub_match s = data_->match.suffix();
  return std::string_view(s.first, static_cast<std::size_t>(s.second - s.first));
}

unsigned MatchResult::Line() const { return data_ ? data_->line : 0; }

std::int64_t MatchResult::LineStart() const { return data_ ? static_cast<std::int64_t>(data_->lineStart) : -1; }

std::string MatchResult::Format(std::string_view format) const {
  std::string out;
  if (format.empty() || Size() == 0) return out;
  detail::AppendFormatted(data_->match, std::string(format), &data_->compiled->Regex(), out);
  return out;
}

// ------------------------------------------------------------- MatchRange

MatchRange::MatchRange(std::unique_ptr<detail::MatchCursor> cursor) : cursor_(std::move(cursor)) {}
MatchRange::MatchRange(MatchRange&& other) noexcept = default;
MatchRange& MatchRange::operator=(MatchRange&& other) noexcept = default;
MatchRange::~MatchRange() = default;

MatchRange::iterator MatchRange::begin() {
  if (!cursor_) return iterator();
  cursor_->Restart();
  return iterator(cursor_.get());
}

MatchRange::iterator::iterator(detail::MatchCursor* cursor) : cursor_(cursor), current_(cursor->Next()) {}

MatchRange::iterator& MatchRange::iterator::operator++() {
  if (current_ != nullptr) current_ = cursor_->Next();
  return *this;
}

// ------------------------------------------------ the value operations

RegularExpression::RegularExpression(std::string_view expression) : RegularExpression() {
  this->expression.assign(expression);
}

std::optional<MatchResult> RegularExpression::Find(std::string_view subject) const {
  return detail::OneMatch(*this, subject, detail::SearchKind::Search);
}

std::optional<MatchResult> RegularExpression::FullMatch(std::string_view subject) const {
  return detail::OneMatch(*this, subject, detail::SearchKind::MatchAll);
}

MatchRange RegularExpression::FindAll(std::string_view subject) const {
  std::shared_ptr<const detail::CompiledExpression> compiled = detail::ValueAccess::Compiled(*this);
  // An empty subject holds no match (as Grep counts).
  if (!compiled || subject.empty()) return detail::ValueAccess::Range(nullptr);
  return detail::ValueAccess::Range(std::make_unique<detail::MatchCursor>(*this, std::move(compiled), subject));
}

std::string RegularExpression::Replace(std::string_view subject, std::string_view format) const {
  const std::string text(format);
  return detail::ReplaceAll(
      *this, subject,
      [&](const std::shared_ptr<const detail::CompiledExpression>& compiled, const boost::cmatch& m, std::string& out) {
        detail::AppendFormatted(m, text, &compiled->Regex(), out);
      });
}

std::string RegularExpression::ReplaceCalling(std::string_view subject, ReplaceCallback call,
                                              const void* context) const {
  const char* first = subject.data();
  detail::LineCounter lines(first);
  MatchResult current;
  return detail::ReplaceAll(
      *this, subject,
      [&](const std::shared_ptr<const detail::CompiledExpression>& compiled, const boost::cmatch& m, std::string& out) {
        lines.AdvanceTo(m[0].first);
        detail::ValueAccess::Fill(current, m, first, compiled, lines);
        call(context, current, out);
      });
}

}  // namespace RegexClass
