// The translation of compile option words to the engine: each row is a
// pattern that tells the options apart.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/engine.h"
#include "options/translate.h"

namespace {

using RegexClass::detail::CompiledExpression;

constexpr unsigned kNormal = 0x4107, kExtended = 0x106, kBasic = 0x1CE, kLiteral = 0x1000;
constexpr unsigned kIcase = 0x2000, kNewlineAlt = 0x10, kNoCollate = 0x4000, kEscapeInLists = 0x1, kBkRefs = 0x100,
                   kIntervals = 0x4, kCharClasses = 0x2, kBkPlusQm = 0x20, kBkVbar = 0x200, kLimitedOps = 0x8;

struct Row {
  unsigned word;
  bool extendedRules;  // the set holds Extended
  const char* pattern;
  const char* subject;
  const char* expected;  // the first match, or nullptr for none
};

std::string FirstMatch(const CompiledExpression& c, const std::string& subject, bool* found) {
  boost::cmatch m;
  const char* first = subject.data();
  *found =
      RegexClass::detail::SafeSearch(first, first + subject.size(), first, m, c.Regex(), boost::match_default, nullptr);
  return *found ? m[0].str() : std::string();
}

}  // namespace

TEST(Translate, WordsBehaveAsTheirOptionsSay) {
  const Row rows[] = {
      // The four words.
      {kBasic, false, "a+", "aa a+", "a+"},
      {kBasic, false, "\\(a\\)\\1", "xaa", "aa"},
      {kBasic, false, "a\\{2\\}", "aaa", "aa"},
      {kBasic, false, "(a)", "(a)", "(a)"},
      {kNormal, false, "a|ab", "ab", "a"},
      {kExtended, true, "a|ab", "ab", "ab"},
      {kExtended, true, "(a)\\1", "aa", "aa"},
      {kNormal, false, "(a)\\1", "aa", "aa"},
      {kLiteral, false, "a.b(", "xa.b(", "a.b("},
      {kLiteral, false, "a.b", "axb", nullptr},
      // Icase.
      {kNormal | kIcase, false, "abc", "xABC", "ABC"},
      {kBasic | kIcase, false, "a\\{2\\}", "AA", "AA"},
      {kLiteral | kIcase, false, "a.B", "A.b", "A.b"},
      {kExtended | kIcase, true, "b+", "aBb", "Bb"},
      // NewlineAlt.
      {kNormal | kNewlineAlt, false, "x\ny", "aya", "y"},
      {kNormal, false, "x\ny", "aya", nullptr},
      {kBasic | kNewlineAlt, false, "x\ny", "y", "y"},
      // BkRefs taken away: \1 is the digit.
      {kNormal & ~kBkRefs, false, "(a)\\1", "aa a1", "a1"},
      {kExtended & ~kBkRefs, true, "(a)\\1", "aa a1", "a1"},
      {kBasic & ~kBkRefs, false, "\\(a\\)\\1", "aa a1", "a1"},
      // EscapeInLists: a backslash in a list is an escape only when set.
      {kNormal, false, "[\\d]", "\\d5", "5"},
      {kNormal & ~kEscapeInLists, false, "[\\d]+", "5\\d", "\\d"},
      {kExtended, true, "[\\n]+", "x\\n", "\\n"},
      {kExtended | kEscapeInLists, true, "[\\]]", "a]", "]"},
      {kBasic, false, "[\\]", "a\\", "\\"},
      {kBasic | kEscapeInLists, false, "[\\]]", "a]", "]"},
      // NoCollate taken away or added: plain ranges still work.
      {kNormal & ~kNoCollate, false, "[a-c]+", "xabcd", "abc"},
      {kExtended | kNoCollate, true, "[a-c]+", "xabcd", "abc"},
      // Intervals and CharClasses taken away.
      {kNormal & ~kIntervals, false, "a{2}", "aa a{2}", "a{2}"},
      {kNormal & ~kCharClasses, false, "[[:digit:]]+", "5 d]]", "d]]"},
      {kBasic & ~kIntervals, false, "a\\{2\\}", "aa a{2}", "a{2}"},
      {kBasic & ~kCharClasses, false, "[[:digit:]]", "5]", nullptr},
      // Basic with its operators in backslashed form.
      {(kBasic & ~kLimitedOps) | kBkPlusQm | kBkVbar, false, "a\\+", "xaa", "aa"},
      {(kBasic & ~kLimitedOps) | kBkPlusQm | kBkVbar, false, "x\\|a", "a", "a"},
      {(kBasic & ~kLimitedOps) | kBkPlusQm | kBkVbar, false, "a+", "aa+", "a+"},
      // A possessive repeat followed by text that only looks like a repeat
      // (perl agrees on each).
      {kNormal, false, "a++#+", "aa##", "aa##"},
      {kNormal, false, "(?x:a++)#+", "aa#", "aa#"},
      {kNormal, false, "(?x)a++ #c\nb", "aab", "aab"},
      {kNormal, false, "a++[+?]", "aa+", "aa+"},
      {kNormal, false, "a++\\Qb\\E+", "aabbb", "aabbb"},
      {kNormal, false, "\\Qa++\\E+", "a+++", "a+++"},
      // A lazy bounded repeat at the start still finds the leftmost match
      // (perl's answers).
      {kNormal, false, ".{1,3}?bA", "b_b bA", "_b bA"},
      {kNormal | kIcase, false, ".{1,3}?BA", "b_b bA", "_b bA"},
      {kNormal, false, "(.{1,3}?)bA", "b_b bA", "_b bA"},
      {kNormal, false, "\\w{0,2}?xy", "axaxy", "xaxy"},
      {kNormal, false, "[^ ]{0,2}?xy", "axaxy", "xaxy"},
      {kNormal, false, "a{0,3}?ab", "aaaaab", "aaaab"},
      {kNormal, false, "[ab]{1,3}?bc", "abbbbc", "bbbbc"},
  };
  for (const Row& row : rows) {
    auto compiled = CompiledExpression::Compile(row.pattern, row.pattern + std::strlen(row.pattern), row.word,
                                                row.extendedRules, std::locale());
    ASSERT_TRUE(compiled->Usable()) << std::hex << row.word << " " << row.pattern << ": " << compiled->Message();
    bool found = false;
    std::string got = FirstMatch(*compiled, row.subject, &found);
    if (row.expected == nullptr) {
      EXPECT_FALSE(found) << std::hex << row.word << " " << row.pattern << " found " << got;
    } else {
      EXPECT_TRUE(found) << std::hex << row.word << " " << row.pattern;
      EXPECT_EQ(got, row.expected) << std::hex << row.word << " " << row.pattern;
    }
  }
  // The file walk compiles through the same translation.
  bool found = false;
  EXPECT_EQ(FirstMatch(*CompiledExpression::CompileForFiles(".{1,3}?bA", false), "b_b bA", &found), "_b bA");
}

TEST(Translate, WordsTheEngineCannotExpressAreRefused) {
  const unsigned refused[] = {
      kNormal | kBkVbar,
      kNormal | kLimitedOps,
      kNormal | kBkPlusQm,
      kExtended | 0x40,                     // BkBraces without BkParens
      kBasic & ~0x40,                       // bounds in plain braces with \( \) groups
      kBasic & ~kLimitedOps,                // plain + ? | with \( \) groups
      (kBasic & ~kLimitedOps) | kBkPlusQm,  // ... and plain |
  };
  for (unsigned word : refused) {
    auto compiled = CompiledExpression::Compile("a", "a" + 1, word, false, std::locale());
    EXPECT_FALSE(compiled->Usable()) << std::hex << word;
    EXPECT_EQ(compiled->Code(), 200u);
    EXPECT_NE(compiled->Message().find("cannot be expressed"), std::string::npos);
  }
}

TEST(Translate, EngineErrorsComeWithTheEngineText) {
  const char* bad[] = {"a(b", "[a", "*a", "a{3,2}",
                       // A repeat after a possessive one, across what the
                       // engine's own check does not skip: it would crash or
                       // loop while compiling.
                       "(((a{2}+\\Q\\E{3}){2}))", "(?=a++\\Q\\E+)", "(?!a++\\Q\\E++b)", "(b|a++\\Q\\E+)",
                       "(?x)(((a{2}+#\n{3}){2}))", "(?x)(?=a++ (?#c) #x\n +)", "a*+\\Q\\E(?#c)\\Q\\E?"};
  for (const char* pattern : bad) {
    auto compiled = CompiledExpression::Compile(pattern, pattern + std::strlen(pattern), kNormal, false, std::locale());
    EXPECT_FALSE(compiled->Usable()) << pattern;
    EXPECT_NE(compiled->Code(), 0u);
    EXPECT_FALSE(compiled->Message().empty());
    EXPECT_EQ(compiled->SubExpressions(), 0u);
    EXPECT_FALSE(CompiledExpression::CompileForFiles(pattern, false)->Usable()) << pattern;
  }
}
