// Operations on the subject string: Match, MatchAll, Search, Grep, Format,
// Merge.
#include <gtest/gtest.h>

#include <boost/regex.hpp>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ravelin/RegularExpression.h"

using RegexClass::REMatch;
using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using R = RegularExpression;

namespace {

using namespace std::string_literals;

struct Entry {
  std::string text;
  std::int64_t position;
  bool operator==(const Entry& o) const { return text == o.text && position == o.position; }
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
  return os << "(\"" << e.text << "\", " << e.position << ")";
}

std::vector<Entry> Entries(const REMatchInfo& info) {
  std::vector<Entry> out;
  for (const REMatch& m : info) out.push_back(Entry{m.text, m.position});
  return out;
}

// One reported event.
struct Event {
  std::vector<Entry> entries;
  unsigned line;
  unsigned lineStart;
};

// Records the events of any string operation. `onEvent`, when set, runs
// inside the handler (after recording) and may stop the walk.
struct Recorder {
  std::vector<Event> events;
  std::function<void(R&, const REMatchInfo&, bool&)> onEvent;

  void Single(R& re, const REMatchInfo& m, unsigned line, unsigned lineStart) {
    events.push_back(Event{Entries(m), line, lineStart});
    bool goOn = true;
    if (onEvent) onEvent(re, m, goOn);
  }
  void Walk(R& re, const REMatchInfo& m, unsigned line, unsigned lineStart, bool& goOn) {
    events.push_back(Event{Entries(m), line, lineStart});
    if (onEvent) onEvent(re, m, goOn);
  }
  // Whole-match entries of the recorded events.
  std::vector<Entry> Matches() const {
    std::vector<Entry> out;
    for (const Event& e : events) out.push_back(e.entries.at(0));
    return out;
  }
  void Listen(R& re) {
    re.SetOnMatchingClosure(R::OnMatchingClosure(this, &Recorder::Single));
    re.SetOnSearchingClosure(R::OnSearchingClosure(this, &Recorder::Single));
    re.SetOnGreppingClosure(R::OnGreppingClosure(this, &Recorder::Walk));
    re.SetOnMergingClosure(R::OnMergingClosure(this, &Recorder::Walk));
  }
};

R Make(const std::string& expression, const std::string& subject, const std::string& format = "") {
  R re;
  re.SetExpression(expression);
  re.SetStringToMatch(subject);
  re.SetFormatString(format);
  return re;
}

std::string MergeOf(R& re) {
  std::string out = "stale";
  re.Merge(out);
  return out;
}

std::string FormatOf(const R& re) {
  std::string out = "stale";
  re.Format(out);
  return out;
}

// Whole matches as a Boost regex_iterator walk gives them.
std::vector<Entry> IteratorMatches(const std::string& pattern, const std::string& subject) {
  const boost::regex e(pattern);
  std::vector<Entry> out;
  const char* first = subject.data();
  for (boost::cregex_iterator it(first, first + subject.size(), e), end; it != end; ++it) {
    out.push_back(Entry{(*it)[0].str(), static_cast<std::int64_t>((*it)[0].first - first)});
  }
  return out;
}

// ---------------------------------------------------------------- Match

TEST(Match, AnchoredAndWholeSubject) {
  struct Case {
    std::string expression, subject;
    bool match, matchAll;
  };
  const Case cases[] = {
      {"a", "abc", true, false},    {"abc", "abc", true, true},  {"b", "abc", false, false},
      {"a|ab", "ab", true, true},  // a whole-subject match exists behind the first alternative
      {"a*?", "aaa", true, true},   {"x*", "", true, true},       // an empty subject is searched like any other
      {"a.c", "a\0c"s, true, true}, {"a", "\0a"s, false, false},  // NUL is an ordinary first byte
      {"", "abc", false, false},                                  // empty expression
      {"(", "abc", false, false},                                 // does not compile
      {"a\0b"s, "ab", true, false},                               // the expression ends at its NUL
  };
  for (const Case& c : cases) {
    R re = Make(c.expression, c.subject);
    Recorder rec;
    rec.Listen(re);
    EXPECT_EQ(re.Match(), c.match) << c.expression;
    EXPECT_EQ(rec.events.size(), c.match ? 1u : 0u) << c.expression;
    rec.events.clear();
    EXPECT_EQ(re.MatchAll(), c.matchAll) << c.expression;
    EXPECT_EQ(rec.events.size(), c.matchAll ? 1u : 0u) << c.expression;
    EXPECT_TRUE(re.GetMatchingInformation().empty()) << c.expression;
  }
}

TEST(Match, ReportsVectorLineOneAndLeavesNoMatchBehind) {
  R re = Make("a(b)?(x)?", "ab\nc", "<$&|$1>");
  Recorder rec;
  rec.Listen(re);
  std::string formatted;
  std::vector<Entry> fromObject;
  rec.onEvent = [&](R& r, const REMatchInfo&, bool&) {
    r.Format(formatted);
    fromObject = Entries(r.GetMatchingInformation());
  };
  ASSERT_TRUE(re.Match());
  ASSERT_EQ(rec.events.size(), 1u);
  const std::vector<Entry> expected = {{"ab", 0}, {"b", 1}, {"", -1}, {"", -1}, {"\nc", 2}};
  EXPECT_EQ(rec.events[0].entries, expected);
  EXPECT_EQ(rec.events[0].line, 1u);
  EXPECT_EQ(rec.events[0].lineStart, 0u);
  EXPECT_EQ(fromObject, expected);
  EXPECT_EQ(formatted, "<ab|b>");
  EXPECT_TRUE(re.GetMatchingInformation().empty());
  EXPECT_EQ(FormatOf(re), "");

  rec.events.clear();
  re.SetStringToMatch("ab");
  ASSERT_TRUE(re.MatchAll());
  EXPECT_EQ(rec.events.at(0).entries.at(0), (Entry{"ab", 0}));
  EXPECT_EQ(FormatOf(re), "");
}

TEST(Match, HandlerMayReplaceTheSubject) {
  R re = Make("(\\w+)", "hello world", "$1");
  Recorder rec;
  rec.Listen(re);
  std::string formatted;
  rec.onEvent = [&](R& r, const REMatchInfo&, bool&) {
    r.SetStringToMatch(std::string(1000, 'z'));  // frees the old text
    r.Format(formatted);
  };
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(formatted, "hello");
}

// ---------------------------------------------------------------- Search

TEST(Search, MatchVectors) {
  struct Case {
    std::string expression, subject;
    std::vector<Entry> entries;
  };
  const Case cases[] = {
      {"b", "abcb", {{"b", 1}, {"a", 0}, {"cb", 2}}},
      {"(a)|(b)", "b", {{"b", 0}, {"", -1}, {"b", 0}, {"", -1}, {"", -1}}},
      {"b(c)", "abcd", {{"bc", 1}, {"c", 2}, {"a", 0}, {"d", 3}}},
      {"x*", "abc", {{"", 0}, {"", -1}, {"abc", 0}}},
      {"c", "a\0b\0c\0"s, {{"c", 4}, {"a\0b\0"s, 0}, {"\0"s, 5}}},
  };
  for (const Case& c : cases) {
    R re = Make(c.expression, c.subject);
    Recorder rec;
    rec.Listen(re);
    ASSERT_TRUE(re.Search()) << c.expression;
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].entries, c.entries) << c.expression;
    EXPECT_TRUE(re.GetMatchingInformation().empty());
  }
}

TEST(Search, LineAndLineStart) {
  struct Case {
    std::string expression, subject;
    unsigned line, lineStart;
  };
  const Case cases[] = {
      {"x", "a\nbx\nc", 2, 2}, {"c", "a\nbx\nc", 3, 5},
      {"\n", "ab\ncd", 1, 0},  // a match on a newline belongs to the line it ends
      {"d", "\n\n\nd", 4, 3},  {"x", "x", 1, 0},
  };
  for (const Case& c : cases) {
    R re = Make(c.expression, c.subject);
    Recorder rec;
    rec.Listen(re);
    ASSERT_TRUE(re.Search()) << c.subject;
    EXPECT_EQ(rec.events.at(0).line, c.line) << c.expression;
    EXPECT_EQ(rec.events.at(0).lineStart, c.lineStart) << c.expression;
  }
}

TEST(Search, EmptyInputs) {
  R emptySubject = Make("x*", "");
  EXPECT_TRUE(emptySubject.Search());
  EXPECT_EQ(emptySubject.Grep(), 0u);

  R emptyExpression = Make("", "abc", "x");
  Recorder rec;
  rec.Listen(emptyExpression);
  EXPECT_FALSE(emptyExpression.Search());
  EXPECT_EQ(emptyExpression.Grep(), 0u);
  EXPECT_EQ(MergeOf(emptyExpression), "");
  EXPECT_TRUE(rec.events.empty());

  R bad = Make("a[", "a[", "x");
  EXPECT_FALSE(bad.Search());
  EXPECT_EQ(bad.Grep(), 0u);
  EXPECT_EQ(MergeOf(bad), "");
  EXPECT_NE(bad.GetExpressionError(), "");
}

TEST(Search, PlainHandler) {
  static std::vector<Entry> seen;
  seen.clear();
  R re = Make("b+", "abbc");
  re.SetOnSearching([](R&, const REMatchInfo& m, unsigned, unsigned) { seen = Entries(m); });
  ASSERT_TRUE(re.Search());
  EXPECT_EQ(seen, (std::vector<Entry>{{"bb", 1}, {"a", 0}, {"c", 3}}));
}

// ---------------------------------------------------------------- Grep

TEST(Grep, ReportsEveryMatchInOrder) {
  R re = Make("b", "abcb");
  EXPECT_EQ(re.Grep(), 2u);
  Recorder rec;
  rec.Listen(re);
  EXPECT_EQ(re.Grep(), 2u);
  ASSERT_EQ(rec.events.size(), 2u);
  // The second prefix runs from where the search resumed; the suffix is the
  // rest of the subject, or ("", -1) when the match ends it.
  EXPECT_EQ(rec.events[0].entries, (std::vector<Entry>{{"b", 1}, {"a", 0}, {"cb", 2}}));
  EXPECT_EQ(rec.events[1].entries, (std::vector<Entry>{{"b", 3}, {"c", 2}, {"", -1}}));
}

TEST(Grep, ZeroLengthMatchesFollowOneRule) {
  struct Case {
    std::string expression, subject;
    std::vector<Entry> matches;
  };
  const Case cases[] = {
      {"a*", "baa", {{"", 0}, {"aa", 1}, {"", 3}}},
      {"a*", "baab", {{"", 0}, {"aa", 1}, {"", 3}, {"", 4}}},
      {"x*", "abc", {{"", 0}, {"", 1}, {"", 2}, {"", 3}}},
      {"\\b", "ab cd", {{"", 0}, {"", 2}, {"", 3}, {"", 5}}},
      {"(?=a)", "aab", {{"", 0}, {"", 1}}},
      {"$", "a\nb", {{"", 1}, {"", 3}}},
      {"^", "a\nb\n", {{"", 0}, {"", 2}, {"", 4}}},
      {"a|", "ab", {{"a", 0}, {"", 1}, {"", 2}}},
      {"a?", "\0a"s, {{"", 0}, {"a", 1}, {"", 2}}},
  };
  for (const Case& c : cases) {
    R re = Make(c.expression, c.subject);
    EXPECT_EQ(re.Grep(), c.matches.size()) << c.expression;
    Recorder rec;
    rec.Listen(re);
    EXPECT_EQ(re.Grep(), c.matches.size()) << c.expression;
    EXPECT_EQ(rec.Matches(), c.matches) << c.expression << " on " << c.subject;
    EXPECT_EQ(rec.Matches(), IteratorMatches(c.expression, c.subject)) << c.expression;
  }
}

TEST(Grep, MatchAndCompileOptionsApplyToEveryStep) {
  struct Case {
    const char* name;
    void (*apply)(R&);
    std::string expression, subject;
    std::vector<Entry> matches;
  };
  const Case cases[] = {
      {"not null", [](R& r) { r.AddMatchOption(R::MatchNotNull); }, "a*", "baab", {{"aa", 1}}},
      {"not bol", [](R& r) { r.AddMatchOption(R::MatchNotBol); }, "^a", "aa\na", {{"a", 3}}},
      {"continuous", [](R& r) { r.AddMatchOption(R::MatchContinuous); }, "a", "aaba", {{"a", 0}, {"a", 1}}},
      {"icase", [](R& r) { r.AddExpressionOption(R::Icase); }, "a+", "AbaA", {{"A", 0}, {"aA", 2}}},
      {"extended: longest", [](R& r) { r.AddExpressionOption(R::Extended); }, "a|ab", "abab", {{"ab", 0}, {"ab", 2}}},
      {"extended: empty", [](R& r) { r.AddExpressionOption(R::Extended); }, "b*", "abb", {{"", 0}, {"bb", 1}, {"", 3}}},
  };
  for (const Case& c : cases) {
    R re = Make(c.expression, c.subject, "<$&>");
    c.apply(re);
    re.SetMergeCopy(true);
    const std::string plain = MergeOf(re);
    Recorder rec;
    rec.Listen(re);
    EXPECT_EQ(re.Grep(), c.matches.size()) << c.name;
    EXPECT_EQ(rec.Matches(), c.matches) << c.name;
    EXPECT_EQ(MergeOf(re), plain) << c.name;
  }
}

TEST(Grep, LinesCountFromTheSubjectStart) {
  R re = Make("x", "x\nax\n\nx");
  Recorder rec;
  rec.Listen(re);
  ASSERT_EQ(re.Grep(), 3u);
  const unsigned lines[] = {1, 2, 4};
  const unsigned starts[] = {0, 2, 6};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rec.events[i].line, lines[i]);
    EXPECT_EQ(rec.events[i].lineStart, starts[i]);
  }
}

TEST(Grep, HandlerStopsTheWalk) {
  for (unsigned stopAt : {1u, 2u, 3u}) {
    R re = Make("a", "banana");
    Recorder rec;
    rec.Listen(re);
    rec.onEvent = [&](R&, const REMatchInfo&, bool& goOn) { goOn = rec.events.size() < stopAt; };
    EXPECT_EQ(re.Grep(), stopAt);
    EXPECT_EQ(rec.events.size(), stopAt);
  }
}

TEST(Grep, HandlerSeesTheCurrentMatchThroughTheObject) {
  R re = Make("(a)(n)?", "banana", "[$&:$2]");
  Recorder rec;
  rec.Listen(re);
  std::vector<std::string> formatted;
  std::vector<std::vector<Entry>> fromObject;
  rec.onEvent = [&](R& r, const REMatchInfo&, bool&) {
    std::string f;
    r.Format(f);
    formatted.push_back(f);
    fromObject.push_back(Entries(r.GetMatchingInformation()));
  };
  ASSERT_EQ(re.Grep(), 3u);
  EXPECT_EQ(formatted, (std::vector<std::string>{"[an:n]", "[an:n]", "[a:]"}));
  // GetMatchingInformation gives the handler's vector, suffix text included.
  EXPECT_EQ(fromObject[1], (std::vector<Entry>{{"an", 3}, {"a", 3}, {"n", 4}, {"", -1}, {"a", 5}}));
  EXPECT_EQ(rec.events[1].entries, fromObject[1]);
  EXPECT_EQ(FormatOf(re), "");
  EXPECT_TRUE(re.GetMatchingInformation().empty());
}

TEST(Grep, WalkIgnoresChangesMadeByTheHandler) {
  R re = Make("a", "banana");
  Recorder rec;
  rec.Listen(re);
  int otherCalls = 0;
  static int* other = nullptr;
  other = &otherCalls;
  rec.onEvent = [&](R& r, const REMatchInfo&, bool&) {
    r.SetStringToMatch(std::string(46, 'n'));
    r.SetOnGrepping([](R&, const REMatchInfo&, unsigned, unsigned, bool&) { ++*other; });
    r.SetExpression("n");
    EXPECT_EQ(r.ParseExpression(), 0);
  };
  EXPECT_EQ(re.Grep(), 3u);
  EXPECT_EQ(rec.Matches(), (std::vector<Entry>{{"a", 1}, {"a", 3}, {"a", 5}}));
  EXPECT_EQ(otherCalls, 0);
  EXPECT_EQ(re.Grep(), 46u);  // the next walk uses what the handler set
  EXPECT_EQ(otherCalls, 46);
}

TEST(Grep, ThrowingHandlerLeavesTheObjectUsable) {
  R re = Make("a", "banana", "<$&>");
  Recorder rec;
  rec.Listen(re);
  rec.onEvent = [&](R&, const REMatchInfo&, bool&) {
    if (rec.events.size() == 2) throw std::runtime_error("handler");
  };
  EXPECT_THROW(re.Grep(), std::runtime_error);
  EXPECT_TRUE(re.GetMatchingInformation().empty());
  EXPECT_EQ(FormatOf(re), "");
  rec.events.clear();
  rec.onEvent = nullptr;
  EXPECT_EQ(re.Grep(), 3u);
  rec.onEvent = [&](R&, const REMatchInfo&, bool&) { throw 7; };
  EXPECT_THROW(re.Search(), int);
  EXPECT_TRUE(re.GetMatchingInformation().empty());
  EXPECT_FALSE(re.Match());  // "banana" does not start with a: no event
}

TEST(Grep, NestedOperationsRestoreTheOuterMatch) {
  R re = Make("an", "banana", "$&@$`");
  Recorder rec;
  rec.Listen(re);
  std::vector<std::string> after;
  rec.onEvent = [&](R& r, const REMatchInfo& m, bool&) {
    if (m.size() != 3 || rec.events.size() > 2) return;  // only the outer events
    Recorder inner;
    inner.Listen(r);
    std::string innerFormat;
    inner.onEvent = [&](R& rr, const REMatchInfo&, bool&) { rr.Format(innerFormat); };
    EXPECT_TRUE(r.Search());
    EXPECT_EQ(innerFormat, "an@b");  // the Search's own match
    rec.Listen(r);
    std::string f;
    r.Format(f);
    after.push_back(f);
  };
  EXPECT_EQ(re.Grep(), 2u);
  EXPECT_EQ(after, (std::vector<std::string>{"an@b", "an@"}));
}

// ---------------------------------------------------------------- Format

TEST(Format, PerlSyntaxOnTheCurrentMatch) {
  struct Case {
    std::string format, expected;
  };
  const Case cases[] = {
      {"$2=$1", "value=key"},          {"${1}0|$10", "key0|"}, {"$&", "key=value"},    {"[$`][$']", "[x ][ y]"},
      {"\\U$1\\E-\\u$2", "KEY-Value"}, {"$$1 \\$", "$1 $"},    {"a\\tb\\n", "a\tb\n"}, {"(&?:)", "(&?:)"},
      {"\0$1\0"s, "\0key\0"s},
  };
  for (const Case& c : cases) {
    R re = Make("(\\w+)=(\\w+)", "x key=value y", c.format);
    Recorder rec;
    rec.Listen(re);
    std::string formatted;
    rec.onEvent = [&](R& r, const REMatchInfo&, bool&) { r.Format(formatted); };
    ASSERT_TRUE(re.Search());
    EXPECT_EQ(formatted, c.expected) << c.format;
  }
}

TEST(Format, NothingWithoutMatchOrFormat) {
  R re = Make("a", "a", "x");
  EXPECT_EQ(FormatOf(re), "");
  re.SetFormatString("");
  Recorder rec;
  rec.Listen(re);
  std::string formatted = "stale";
  rec.onEvent = [&](R& r, const REMatchInfo&, bool&) { r.Format(formatted); };
  ASSERT_TRUE(re.Match());
  EXPECT_EQ(formatted, "");
}

// ---------------------------------------------------------------- Merge

TEST(Merge, ReplacesEveryMatch) {
  struct Case {
    std::string expression, subject, format;
    bool copy;
    std::string expected;
  };
  const Case cases[] = {
      {"a", "banana", "[$&]", true, "b[a]n[a]n[a]"},
      {"a", "banana", "[$&]", false, "[a][a][a]"},
      {"a*", "baa", "-", true, "-b--"},
      {"x*", "abc", "-", true, "-a-b-c-"},
      {"\\b", "ab cd", "|", true, "|ab| |cd|"},
      {"z", "banana", "-", true, "banana"},  // no match
      {"z", "banana", "-", false, ""},
      {"(\\w+) (\\w+)", "one two\nthree four", "$2 $1", true, "two one\nfour three"},
      {"b", "a\0b\0c"s, "\0"s, true, "a\0\0\0c"s},
      {"a", "banana", "", true, ""},  // empty format: nothing at all
      {"a", "", "x", true, ""},       // empty subject
  };
  for (const Case& c : cases) {
    R re = Make(c.expression, c.subject, c.format);
    re.SetMergeCopy(c.copy);
    EXPECT_EQ(MergeOf(re), c.expected) << c.expression << " copy=" << c.copy;
  }
}

TEST(Merge, HandlerThatGoesOnGivesTheSameText) {
  const char* expressions[] = {"a", "a*", "x*", "\\b", "^", "$", "(?=n)", "a|", "n?", "(a)|(b)", "\\w+$"};
  const std::string subjects[] = {"banana", "baa", "a\nb\n", "\n", "nab ban"};
  for (const char* expression : expressions) {
    for (const std::string& subject : subjects) {
      for (bool copy : {true, false}) {
        R re = Make(expression, subject, "<$&$1>");
        re.SetMergeCopy(copy);
        const std::string plain = MergeOf(re);
        Recorder rec;
        rec.Listen(re);
        EXPECT_EQ(MergeOf(re), plain) << expression << " on " << subject << " copy=" << copy;
        EXPECT_EQ(rec.Matches(), IteratorMatches(expression, subject)) << expression << " on " << subject;
      }
    }
  }
}

TEST(Merge, HandlerStopsTheMerge) {
  struct Case {
    bool copy;
    unsigned stopAt;
    std::string expected;
  };
  const Case cases[] = {
      {true, 2, "b[a]nana"}, {false, 2, "[a]"}, {true, 1, "banana"}, {false, 1, ""}, {true, 3, "b[a]n[a]na"},
  };
  for (const Case& c : cases) {
    R re = Make("a", "banana", "[$&]");
    re.SetMergeCopy(c.copy);
    Recorder rec;
    rec.Listen(re);
    rec.onEvent = [&](R&, const REMatchInfo&, bool& goOn) { goOn = rec.events.size() < c.stopAt; };
    EXPECT_EQ(MergeOf(re), c.expected) << c.stopAt << " copy=" << c.copy;
    EXPECT_EQ(rec.events.size(), c.stopAt);
  }
}

TEST(Merge, HandlerSeesMatchLinesAndFormat) {
  R re = Make("(\\d)", "a1\nb2\n\nc3", "#$1");
  re.SetMergeCopy(true);
  Recorder rec;
  rec.Listen(re);
  std::vector<std::string> formatted;
  rec.onEvent = [&](R& r, const REMatchInfo&, bool&) {
    std::string f;
    r.Format(f);
    formatted.push_back(f);
  };
  EXPECT_EQ(MergeOf(re), "a#1\nb#2\n\nc#3");
  ASSERT_EQ(rec.events.size(), 3u);
  EXPECT_EQ(formatted, (std::vector<std::string>{"#1", "#2", "#3"}));
  EXPECT_EQ(rec.events[2].line, 4u);
  EXPECT_EQ(rec.events[2].lineStart, 7u);
  EXPECT_EQ(rec.events[1].entries, (std::vector<Entry>{{"2", 4}, {"2", 4}, {"\nb", 2}, {"\n\nc3", 5}}));
  // The suffix of every event is the rest of the subject ("", -1 at its end).
  const std::string subject = "a1\nb2\n\nc3";
  for (const Event& e : rec.events) {
    const Entry& suffix = e.entries.back();
    const std::size_t end = suffix.position < 0 ? subject.size() : static_cast<std::size_t>(suffix.position);
    EXPECT_EQ(suffix.text, subject.substr(end));
  }
  EXPECT_EQ(FormatOf(re), "");
}

TEST(Merge, HandlerChangesDoNotDisturbTheRunningMerge) {
  R re = Make("a", "banana", "[$&]");
  re.SetMergeCopy(true);
  Recorder rec;
  rec.Listen(re);
  int depth = 0;
  std::string nested;
  rec.onEvent = [&](R& r, const REMatchInfo&, bool&) {
    if (depth > 0) return;
    r.SetStringToMatch("zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz");
    r.SetExpression("z");
    EXPECT_EQ(r.ParseExpression(), 0);
    ++depth;
    r.Merge(nested);  // a whole Merge of the new subject, with this handler
    --depth;
  };
  EXPECT_EQ(MergeOf(re), "b[a]n[a]n[a]");
  std::string allReplaced;
  for (int i = 0; i < 43; ++i) allReplaced += "[z]";
  EXPECT_EQ(nested, allReplaced);
}

TEST(Merge, SwitchesReadAtEveryMatch) {
  // The handler turns copying on after the first match: the text before it
  // is already dropped and is not copied later.
  R re = Make("a", "banana", "[$&]");
  Recorder rec;
  rec.Listen(re);
  rec.onEvent = [&](R& r, const REMatchInfo&, bool&) {
    r.SetMergeCopy(true);
    if (rec.events.size() == 2) r.SetFormatString("{$&}");
  };
  EXPECT_EQ(MergeOf(re), "[a]n{a}n{a}");
}

TEST(Merge, ThrowingHandlerLeavesNoResult) {
  R re = Make("a", "banana", "[$&]");
  Recorder rec;
  rec.Listen(re);
  rec.onEvent = [&](R&, const REMatchInfo&, bool&) {
    if (rec.events.size() == 2) throw std::logic_error("stop");
  };
  std::string out = "stale";
  EXPECT_THROW(re.Merge(out), std::logic_error);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(re.GetMatchingInformation().empty());
  rec.onEvent = nullptr;
  re.SetMergeCopy(true);
  EXPECT_EQ(MergeOf(re), "b[a]n[a]n[a]");
}

// ------------------------------------------------------ engine failures

TEST(EngineFailure, CountsAsNoFurtherMatch) {
  // Too complex for the engine: it gives up while searching.
  const std::string hard = "(?:a|aa)*c";
  const std::string subject = std::string(300, 'a');
  R re = Make(hard, subject, "x");
  Recorder rec;
  rec.Listen(re);
  EXPECT_FALSE(re.Search());
  const std::string reason = re.GetLastSearchError();
  EXPECT_NE(reason, "");
  EXPECT_FALSE(re.Match());
  EXPECT_NE(re.GetLastSearchError(), "");
  EXPECT_EQ(re.Grep(), 0u);
  EXPECT_NE(re.GetLastSearchError(), "");
  re.SetMergeCopy(true);
  EXPECT_EQ(MergeOf(re), subject);
  EXPECT_NE(re.GetLastSearchError(), "");
  EXPECT_TRUE(rec.events.empty());
  EXPECT_TRUE(re.GetMatchingInformation().empty());

  // Matches found before the engine gave up are kept.
  re.SetStringToMatch("bc" + subject);
  EXPECT_EQ(re.Grep(), 1u);
  EXPECT_EQ(rec.Matches(), (std::vector<Entry>{{"c", 1}}));
  EXPECT_NE(re.GetLastSearchError(), "");
  EXPECT_EQ(MergeOf(re), "bx" + subject);

  // The next operation that runs to its end clears the reason.
  re.SetStringToMatch("abc");
  EXPECT_TRUE(re.Search());
  EXPECT_EQ(re.GetLastSearchError(), "");
}

// ------------------------------------------- against the engine directly

// Real text: a standard C header present wherever a C++ compiler is, plus
// generated text, so the check never depends on one file.
std::string RealText() {
  std::ifstream in("/usr/include/stdio.h", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  unsigned seed = 12345;
  const char* words[] = {"int", "foo_bar", "(x)", "#define", "MAX_LEN", "42", "\n", " ", "\t", "()"};
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    s += words[(seed >> 16) % 10];
    s += ' ';
  }
  return s;
}

TEST(Differential, AgreesWithBoostOnRealText) {
  const std::string text = RealText();
  struct Case {
    const char* expression;
    const char* format;
  };
  const Case cases[] = {
      {"\\w+", "<$&>"},     {"#\\s*define\\s+(\\w+)", "D($1)"}, {"\\(([^()]*)\\)", "[$1|$`]"}, {"[A-Z_]{3,}", "\\L$&"},
      {"\\d+|\\n", "$&$&"}, {"(?<=\\s)int\\b", "long"},
  };
  for (const Case& c : cases) {
    const boost::regex e(c.expression);
    R re = Make(c.expression, text, c.format);
    re.SetMergeCopy(true);
    EXPECT_EQ(MergeOf(re), boost::regex_replace(text, e, std::string(c.format))) << c.expression;
    re.SetMergeCopy(false);
    EXPECT_EQ(MergeOf(re), boost::regex_replace(text, e, std::string(c.format), boost::format_no_copy)) << c.expression;

    const std::vector<Entry> expected = IteratorMatches(c.expression, text);
    EXPECT_GT(expected.size(), 10u) << c.expression;
    EXPECT_EQ(re.Grep(), expected.size()) << c.expression;
    Recorder rec;
    rec.Listen(re);
    EXPECT_EQ(re.Grep(), expected.size()) << c.expression;
    EXPECT_EQ(rec.Matches(), expected) << c.expression;
  }
}

// ----------------------------------------------------------- large input

// A million matches: line counting and match vectors must stay linear in the
// subject, or this takes hours instead of well under a second.
TEST(LargeSubject, MillionMatchesStayLinear) {
  // A million matches without a handler: counted and merged in linear time.
  const unsigned n = 1000000;
  std::string subject;
  subject.reserve(std::size_t{3} * n);
  for (unsigned i = 0; i < n; ++i) subject += (i % 2 == 0) ? "xy\n" : "x\n";
  R re = Make("x", subject, "z");
  EXPECT_EQ(re.Grep(), n);
  re.SetMergeCopy(true);
  std::string out;
  re.Merge(out);
  ASSERT_EQ(out.size(), subject.size());
  EXPECT_EQ(out.substr(0, 8), "zy\nz\nzy\n");

  // With handlers every vector carries the rest of the subject, so the
  // subject is kept smaller there; lines and line starts are counted
  // incrementally all the same.
  const unsigned m = 20000;
  subject.resize(std::size_t{m} / 2 * 5);
  re.SetStringToMatch(subject);
  struct Check {
    unsigned count = 0;
    unsigned wrong = 0;
    std::uint64_t expectedStart = 0;
    const std::string* subject = nullptr;
    void Hit(R&, const REMatchInfo& v, unsigned line, unsigned lineStart, bool&) {
      if (line != count + 1 || lineStart != expectedStart || v[0].position != static_cast<std::int64_t>(lineStart) ||
          v.back().text.size() != subject->size() - lineStart - 1) {
        ++wrong;
      }
      expectedStart += (count % 2 == 0) ? 3 : 2;
      ++count;
    }
  };
  Check grep;
  grep.subject = &subject;
  re.SetOnGreppingClosure(R::OnGreppingClosure(&grep, &Check::Hit));
  EXPECT_EQ(re.Grep(), m);
  EXPECT_EQ(grep.wrong, 0u);
  Check merge;
  merge.subject = &subject;
  re.SetOnMergingClosure(R::OnMergingClosure(&merge, &Check::Hit));
  re.Merge(out);
  EXPECT_EQ(merge.count, m);
  EXPECT_EQ(merge.wrong, 0u);
  EXPECT_EQ(out.size(), subject.size());
}

}  // namespace
