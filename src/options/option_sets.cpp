// The compile and match option sets and their flag words.
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace {

using Opt = RegularExpression::Options;
using Mat = RegularExpression::Matches;

template <class Set, class... Items>
bool HasAll(const Set& set, Items... items) {
  return ((set.count(items) != 0) && ...);
}

// True when the set holds one of the restrictions MatchNotBol..MatchNotDotNull.
bool AnyRestriction(const std::set<Mat>& s) {
  for (Mat m : s) {
    if (m >= RegularExpression::MatchNotBol && m <= RegularExpression::MatchNotDotNull) return true;
  }
  return false;
}

}  // namespace

void RegularExpression::AddExpressionOption(Options o) {
  auto& s = expressionOptions;
  if (s.count(o) != 0) return;
  expressionParsed = false;
  switch (o) {
    case Extended:
      s.insert({Extended, CharClasses, Intervals, BkRefs});
      if (s.count(Normal) != 0) {
        for (Opt x : {Normal, NoCollate, EscapeInLists}) s.erase(x);
      } else if (s.count(Basic) != 0) {
        for (Opt x : {Basic, LimitedOps, BkBraces, BkParens}) s.erase(x);
      }
      return;
    case Normal:
      s.insert({Normal, CharClasses, Intervals, BkRefs, NoCollate, EscapeInLists});
      if (s.count(Basic) != 0) {
        for (Opt x : {Basic, LimitedOps, BkBraces, BkParens}) s.erase(x);
      } else if (s.count(Extended) != 0) {
        s.erase(Extended);
      }
      return;
    case Basic:
      s.insert({Basic, CharClasses, Intervals, BkRefs, LimitedOps, BkBraces, BkParens});
      if (s.count(Normal) != 0) {
        for (Opt x : {Normal, NoCollate, EscapeInLists}) s.erase(x);
      } else if (s.count(Extended) != 0) {
        s.erase(Extended);
      }
      return;
    default:
      s.insert(o);
      if (!HasAll(s, CharClasses, Intervals, BkRefs)) return;
      if (HasAll(s, EscapeInLists, NoCollate)) {
        s.insert(Normal);
        s.erase(Basic);
        s.erase(Extended);
      } else if (HasAll(s, LimitedOps, BkBraces, BkParens)) {
        s.insert(Basic);
        s.erase(Extended);
      } else {
        s.insert(Extended);
      }
      return;
  }
}

void RegularExpression::DeleteExpressionOption(Options o) {
  auto& s = expressionOptions;
  if (s.count(o) == 0) return;
  expressionParsed = false;
  switch (o) {
    case Extended:
      for (Opt x : {Extended, CharClasses, Intervals, BkRefs}) s.erase(x);
      return;
    case Normal:
      for (Opt x : {Normal, CharClasses, Intervals, BkRefs, NoCollate, EscapeInLists}) s.erase(x);
      return;
    case Basic:
      for (Opt x : {Basic, CharClasses, Intervals, BkRefs, LimitedOps, BkBraces, BkParens}) s.erase(x);
      return;
    default:
      s.erase(o);
      if (s.count(Extended) != 0) {
        if (!HasAll(s, CharClasses, Intervals, BkRefs)) s.erase(Extended);
      } else if (s.count(Normal) != 0) {
        if (!HasAll(s, CharClasses, Intervals, BkRefs, EscapeInLists, NoCollate)) s.erase(Normal);
      } else if (s.count(Basic) != 0) {
        if (!HasAll(s, CharClasses, Intervals, BkRefs, LimitedOps, BkBraces, BkParens)) s.erase(Basic);
      }
      return;
  }
}

bool RegularExpression::IsExpressionOption(Options o) const { return expressionOptions.count(o) != 0; }

void RegularExpression::ClearExpressionOptions() { expressionOptions.clear(); }

unsigned RegularExpression::GetFlagOptions() { return static_cast<const RegularExpression&>(*this).GetFlagOptions(); }

unsigned RegularExpression::GetFlagOptions() const {
  unsigned word = 0;
  for (int v = 0; v < 16; ++v) {
    if (IsExpressionOption(static_cast<Options>(v))) word |= OptionWord(static_cast<Options>(v));
  }
  return word;
}

void RegularExpression::AddMatchOption(Matches m) {
  auto& s = matchOptions;
  if (s.count(m) != 0) return;
  s.insert(m);
  if (m == MatchDefault) {
    for (int v = MatchNotBol; v <= MatchNotDotNull; ++v) s.erase(static_cast<Matches>(v));
  } else if (s.count(MatchDefault) != 0 && AnyRestriction(s)) {
    s.erase(MatchDefault);
  }
}

void RegularExpression::DeleteMatchOption(Matches m) {
  auto& s = matchOptions;
  if (s.count(m) == 0) return;
  s.erase(m);
  if (m == MatchDefault) return;
  if (s.count(MatchDefault) == 0 && !AnyRestriction(s)) s.insert(MatchDefault);
}

bool RegularExpression::IsMatchOption(Matches m) const { return matchOptions.count(m) != 0; }

void RegularExpression::ClearMatchOptions() { matchOptions.clear(); }

unsigned RegularExpression::GetMatchFlags() { return static_cast<const RegularExpression&>(*this).GetMatchFlags(); }

unsigned RegularExpression::GetMatchFlags() const {
  unsigned word = 0;
  for (int v = 0; v < 12; ++v) {
    if (IsMatchOption(static_cast<Matches>(v))) word |= MatchWord(static_cast<Matches>(v));
  }
  return word;
}

}  // namespace RegexClass
