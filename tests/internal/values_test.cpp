// Matches as values against the events: FindAll against Grep's vectors,
// Find against Search, FullMatch against MatchAll and Replace against Merge
// (mergeCopy on), over the prefilter test's patterns and subjects, with the
// prefilter on (for every buffer) and off, line-bounded matching on and off.
// Then the rows where Replace differs from Merge on purpose.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "internal/prefilter_cases.h"
#include "prefilter/prefilter.h"
#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"

namespace {

using RegexClass::MatchResult;
using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using RegexClass::detail::PrefilterMode;
using RegexClass::detail::SetPrefilterMode;

class ModeGuard {
 public:
  explicit ModeGuard(PrefilterMode mode) : saved_(RegexClass::detail::GetPrefilterMode()) { SetPrefilterMode(mode); }
  ~ModeGuard() { SetPrefilterMode(saved_); }

 private:
  PrefilterMode saved_;
};

const char* const kFormat = "<$&|$1|${^N}|$`>";

// A prefix or suffix as its place in the subject ("-1" when empty), and
// whether its text is the subject's there.
std::string Part(std::int64_t position, std::string_view text, std::string_view subject) {
  if (text.empty()) return "-1|";
  const bool same = position >= 0 && subject.substr(static_cast<std::size_t>(position), text.size()) == text;
  return std::to_string(position) + '+' + std::to_string(text.size()) + (same ? "|" : " (other text)|");
}

// One match as the events tell it: every mark (text and position), the
// prefix and the suffix, the line, the line start and the format.
std::string EventRecord(RegularExpression& re, const REMatchInfo& info, unsigned line, unsigned lineStart,
                        std::string_view subject) {
  std::ostringstream out;
  for (std::size_t k = 0; k + 2 < info.size(); ++k) out << info[k].position << ':' << info[k].text << '|';
  if (info.size() >= 2) {
    out << Part(info[info.size() - 2].position, info[info.size() - 2].text, subject)
        << Part(info.back().position, info.back().text, subject);
  }
  std::string formatted;
  re.Format(formatted);
  out << line << '/' << lineStart << ' ' << formatted << '\n';
  return out.str();
}

// The same from a MatchResult over subject.
std::string ValueRecord(const MatchResult& m, std::string_view subject) {
  std::ostringstream out;
  for (std::size_t i = 0; i < m.Size(); ++i) out << m.Position(i) << ':' << m[i] << '|';
  const auto offset = [&](std::string_view part) { return static_cast<std::int64_t>(part.data() - subject.data()); };
  out << Part(offset(m.Prefix()), m.Prefix(), subject) << Part(offset(m.Suffix()), m.Suffix(), subject);
  out << m.Line() << '/' << m.LineStart() << ' ' << m.Format(kFormat) << '\n';
  return out.str();
}

std::string* g_events = nullptr;  // where the handlers below write
std::string_view g_subject;       // and the subject they see

void OnGrepping(RegularExpression& re, const REMatchInfo& info, unsigned line, unsigned lineStart, bool&) {
  *g_events += EventRecord(re, info, line, lineStart, g_subject);
}
void OnSearching(RegularExpression& re, const REMatchInfo& info, unsigned line, unsigned lineStart) {
  *g_events += EventRecord(re, info, line, lineStart, g_subject);
}

struct Setting {
  const char* name;
  RegularExpression::Options option;  // added to the defaults
  RegularExpression::Matches match;
};

void ExpectSameResults(const std::string& pattern, const std::string& subject, const Setting& setting, bool bounded,
                       PrefilterMode mode) {
  const ModeGuard guard(mode);
  RegularExpression re;
  re.SetExpression(pattern);
  re.AddExpressionOption(setting.option);
  re.AddMatchOption(setting.match);
  re.SetLineBounded(bounded);
  re.SetFormatString(kFormat);
  re.SetMergeCopy(true);
  re.SetStringToMatch(subject);
  if (re.ParseExpression() != 0) return;
  const std::string where = pattern + " (" + setting.name + (bounded ? ", line-bounded" : "") +
                            (mode == PrefilterMode::Off ? ", plain" : ", prefiltered") + ") over " +
                            testing::PrintToString(subject.substr(0, 200));

  std::string events;
  g_events = &events;
  g_subject = subject;
  re.SetOnGrepping(&OnGrepping);
  re.Grep();
  const bool grepFailed = !re.GetLastSearchError().empty();
  std::string values;
  for (const MatchResult& m : re.FindAll(subject)) values += ValueRecord(m, subject);
  EXPECT_EQ(values, events) << "FindAll: " << where;
  EXPECT_EQ(re.GetLastSearchError().empty(), !grepFailed) << where;

  events.clear();
  re.SetOnSearching(&OnSearching);
  re.Search();
  const std::optional<MatchResult> found = re.Find(subject);
  EXPECT_EQ(found ? ValueRecord(*found, subject) : "", events) << "Find: " << where;

  events.clear();
  re.SetOnMatching(&OnSearching);
  re.MatchAll();
  const std::optional<MatchResult> full = re.FullMatch(subject);
  EXPECT_EQ(full ? ValueRecord(*full, subject) : "", events) << "FullMatch: " << where;
  g_events = nullptr;

  re.SetOnMerging(nullptr);
  std::string merged;
  re.Merge(merged);
  const bool mergeFailed = !re.GetLastSearchError().empty();
  // What Merge gives, but for a search the engine gave up on: then the subject.
  EXPECT_EQ(re.Replace(subject, kFormat), mergeFailed ? subject : merged) << "Replace: " << where;
  // None of them touched the object's subject or current match.
  EXPECT_EQ(re.GetStringToMatch(), subject);
  EXPECT_TRUE(re.GetMatchingInformation().empty());
}

// A function named as such, for the callable form.
const char* Star(const MatchResult&) { return "*"; }

const Setting kSettings[] = {
    {"defaults", RegularExpression::Normal, RegularExpression::MatchDefault},
    {"icase", RegularExpression::Icase, RegularExpression::MatchDefault},
    {"not-dot-newline", RegularExpression::Normal, RegularExpression::MatchNotDotNewline},
    {"not-bol", RegularExpression::Normal, RegularExpression::MatchNotBol},
};

TEST(Values, AgreeWithTheEventsOverThePrefilterCases) {
  const std::vector<std::string> corpus = ravelin_test::GeneratedTexts(10);
  ravelin_test::TempDir dir;
  const std::string headers =
      ravelin_test::HeaderText(dir, false).substr(0, std::size_t{24} * 1024) + "\r\nA_t\r\n\f#define B 1\v\n";
  for (const PrefilterMode mode : {PrefilterMode::Off, PrefilterMode::Always}) {
    for (const bool bounded : {false, true}) {
      for (const Setting& setting : kSettings) {
        for (const char* pattern : ravelin_test::kPatterns) {
          for (const std::string& text : corpus) ExpectSameResults(pattern, text, setting, bounded, mode);
        }
      }
      for (const char* pattern : ravelin_test::kHeaderPatterns) {
        ExpectSameResults(pattern, headers, kSettings[0], bounded, mode);
      }
    }
  }
}

TEST(Values, ReplaceRows) {
  struct Row {
    const char* pattern;
    const char* subject;
    const char* format;
    const char* replaced;
  };
  const Row rows[] = {
      {"b", "abcb", "", "ac"},                             // an empty format deletes (Merge would give "")
      {"x*", "ab", "-", "-a-b-"},                          // empty matches, the one at the end included
      {"(\\w+)@(\\w+)", "a@b, c@d", "$2@$1", "b@a, d@c"},  // groups
      {"a(", "a(b", "x", "a(b"},                           // does not compile: the subject unchanged
      {"", "abc", "x", "abc"},                             // no expression: the same
      {"b", "", "x", ""},                                  // an empty subject
  };
  for (const Row& row : rows) {
    const RegularExpression re{std::string_view(row.pattern)};
    EXPECT_EQ(re.Replace(row.subject, row.format), row.replaced) << row.pattern << " over " << row.subject;
  }

  // A pattern that does not compile finds nothing, and says why.
  RegularExpression bad("a(");
  EXPECT_FALSE(bad.Find("a(b").has_value());
  EXPECT_FALSE(bad.FullMatch("a(").has_value());
  EXPECT_TRUE(bad.FindAll("a(b").begin() == bad.FindAll("a(b").end());
  EXPECT_EQ(bad.ParseExpression(), static_cast<unsigned char>(RegularExpression::ParseResult::UnmatchedParenthesis));
  EXPECT_NE(bad.GetExpressionError(), "");

  // The engine gives up part-way: Merge keeps what it replaced before, Replace
  // gives the subject unchanged and says why.
  const std::string hard = "bc" + std::string(300, 'a');
  RegularExpression giving("(?:a|aa)*c");
  EXPECT_EQ(giving.Replace(hard, "x"), hard);
  EXPECT_NE(giving.GetLastSearchError(), "");
  EXPECT_EQ(giving.Replace("abc", "x"), "abx");
  EXPECT_EQ(giving.GetLastSearchError(), "");

  // A callable: its text replaces each match; it sees the match's groups,
  // line and position; string literals still pick the format form.
  const RegularExpression word("(?<w>[a-z]+)([0-9]?)");
  const std::string text = "ab1 cd\nef2";
  const std::string upper = word.Replace(text, [](const MatchResult& m) {
    std::string s(m.Group("w"));
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s + std::to_string(m.Line()) + ":" + std::to_string(m.Position(0) - m.LineStart());
  });
  EXPECT_EQ(upper, "AB1:0 CD1:4\nEF2:0");
  EXPECT_EQ(word.Replace(text, "[$2]"), "[1] []\n[2]");
  EXPECT_EQ(word.Replace(text, [](const MatchResult& m) { return m[2]; }), "1 \n2");
  EXPECT_EQ(word.Replace(text, Star), "* *\n*");
}

}  // namespace
