// The prefilter against the plain engine: the same walks, Grep, Merge and
// Search with the prefilter on (for every buffer) and off, over generated
// texts and patterns and over copied system headers. Every match must agree
// in all its groups, prefix and position, and every merge result byte for
// byte. RAVELIN_PREFILTER_FULL=1 runs many more cases (minutes).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "internal/prefilter_cases.h"
#include "prefilter/pattern_reader.h"
#include "prefilter/prefilter.h"
#include "ravelin/RegularExpression.h"
#include "support/random_text.h"
#include "support/temp_dir.h"
#include "walker/match_walker.h"

namespace {

using namespace RegexClass::detail;
namespace rc = boost::regex_constants;
using RegexClass::RegularExpression;
using ravelin_test::GeneratedTexts;
using ravelin_test::HeaderText;
using ravelin_test::kAlphabet;
using ravelin_test::kHeaderPatterns;
using ravelin_test::kPatterns;
using ravelin_test::RandomText;
using ravelin_test::TempDir;

bool Full() { return std::getenv("RAVELIN_PREFILTER_FULL") != nullptr; }

class ModeGuard {
 public:
  explicit ModeGuard(PrefilterMode mode) : saved_(GetPrefilterMode()) { SetPrefilterMode(mode); }
  ~ModeGuard() { SetPrefilterMode(saved_); }

 private:
  PrefilterMode saved_;
};

// Every match of a walk, as offsets: each group's (first, second, matched),
// the prefix, the position and the last closed group's format.
std::string Walk(const std::string& text, const boost::regex& e, rc::match_flag_type flags, PrefilterMode mode) {
  const ModeGuard guard(mode);
  const char* base = text.data();
  MatchWalker walker(base, base + text.size(), e, flags);
  std::ostringstream out;
  while (walker.Next()) {
    const boost::cmatch& m = walker.Match();
    for (std::size_t k = 0; k < m.size(); ++k) {
      const auto& s = m[static_cast<int>(k)];
      out << (s.first - base) << ',' << (s.second - base) << ',' << s.matched << ' ';
    }
    out << "p" << (m.prefix().first - base) << '-' << (m.prefix().second - base) << " @" << m.position() << " s"
        << (m.suffix().first - base) << ' ' << m.format("[$+|$^N]") << '\n';
  }
  if (walker.Failed()) out << "failed\n";
  return out.str();
}

void ExpectSameWalk(const std::string& text, const boost::regex& e, rc::match_flag_type flags,
                    const std::string& what) {
  const std::string plain = Walk(text, e, flags, PrefilterMode::Off);
  const std::string fast = Walk(text, e, flags, PrefilterMode::Always);
  if (plain != fast) {
    ADD_FAILURE() << what << " /" << e.str() << "/ flags 0x" << std::hex << flags << " over "
                  << testing::PrintToString(text.size() < 300 ? text : text.substr(0, 300)) << "\nplain:\n"
                  << plain.substr(0, 2000) << "prefiltered:\n"
                  << fast.substr(0, 2000);
  }
}

const rc::match_flag_type kFlags[] = {
    rc::match_default,
    rc::match_not_dot_newline,
    rc::match_not_bol,
    rc::match_not_eol,
    rc::match_not_bow | rc::match_not_eow,
    rc::match_not_null,
    rc::match_single_line,
    rc::match_posix,
    rc::match_any,
};

TEST(Prefilter, WalksAgreeWithThePlainEngineOnGeneratedTexts) {
  if (!PrefilterAvailable()) GTEST_SKIP() << "built without the scanner";
  const std::vector<std::string> corpus = GeneratedTexts(Full() ? 400 : 25);
  const boost::regex::flag_type syntaxes[] = {boost::regex::perl, boost::regex::perl | boost::regex::icase,
                                              boost::regex::perl | boost::regex::no_mod_s, boost::regex::extended,
                                              boost::regex::basic};
  for (const char* pattern : kPatterns) {
    for (const auto syntax : syntaxes) {
      const boost::regex e(pattern, syntax | boost::regex::no_except);
      if (e.status() != 0) continue;
      for (const auto flags : kFlags) {
        for (const std::string& text : corpus) ExpectSameWalk(text, e, flags, "generated");
      }
    }
  }
}

TEST(Prefilter, LiteralAndOptionWordsAgree) {
  if (!PrefilterAvailable()) GTEST_SKIP() << "built without the scanner";
  std::mt19937 rng(7);
  struct Word {
    unsigned word;
    bool extended;
    const char* pattern;
  } const words[] = {{0x1000, false, "a.b"},         {0x3000, false, "A_t"},        {0x4107, false, "b_t"},
                     {0x6107, false, "aB"},          {0x106, true, "a|ab"},         {0x1CE, false, "a\\(b\\)"},
                     {0x4107 | 0x10, false, "a\nb"}, {0x4107 & ~0x4, false, "a{2}"}};
  // The classic locale, and a UTF-8 one where bytes over 0x7F are in the text.
  std::vector<std::locale> locales{std::locale::classic()};
  try {
    locales.emplace_back("C.UTF-8");
  } catch (const std::runtime_error&) {
  }
  for (const std::locale& loc : locales) {
    for (const Word& w : words) {
      const auto compiled =
          CompiledExpression::Compile(w.pattern, w.pattern + std::strlen(w.pattern), w.word, w.extended, loc);
      ASSERT_TRUE(compiled->Usable()) << w.pattern;
      for (int t = 0; t < 30; ++t) {
        ExpectSameWalk(RandomText(rng, 1 + rng() % 400, kAlphabet) +
                           "a.b a{2} A_t \xc3\x84_t \xe4"
                           "B",
                       compiled->Regex(), rc::match_default, "option word, locale " + loc.name());
      }
    }
  }
}

// What the reader must refuse, and what it must see as confined to a line.
TEST(Prefilter, ReaderRefusesWhatItCannotWiden) {
  struct Row {
    const char* pattern;
    bool readable;
    bool lineLocal;  // with the default match flags
  } const rows[] = {
      {"EHOSTUNREACH", true, true},
      {"[A-Za-z_][A-Za-z0-9_]*_t\\b", true, true},
      {"^\\s*#\\s*define", true, false},
      {"a.*b", true, false},
      {"(?-s)a.*b", true, true},
      {"(?<=foo)bar", true, true},
      {"a(?!\\z)", true, true},
      {"\\r(?!$|^)", true, true},
      {"foo(?=\\n)", true, false},
      {"[^x]y", true, false},
      {"\\Ga", false, false},
      {"a\\Kb", false, false},
      {"(?x)a b", false, false},
      {"(a)\\1", false, false},
      {"(a|b)*c", false, false},
      {"a*a*c", false, false},
      {"(a)?(?(1)b|c)", false, false},
      {"(a)(?1)", false, false},
      {"\\R", false, false},
  };
  for (const Row& row : rows) {
    const boost::regex e(row.pattern, boost::regex::perl | boost::regex::no_except);
    ASSERT_EQ(e.status(), 0) << row.pattern;
    const ScannerPattern p = ReadPattern(e);
    EXPECT_EQ(p.readable, row.readable) << row.pattern << ": " << p.why;
    if (p.readable) {
      EXPECT_EQ(!p.newlineOutsideDot && !p.dotAlways && !p.dotUnlessFlag, row.lineLocal) << row.pattern;
    }
  }
}

TEST(Prefilter, OperationsAgreeOverCopiedHeaders) {
  if (!PrefilterAvailable()) GTEST_SKIP() << "built without the scanner";
  TempDir dir;
  std::string text = HeaderText(dir, Full());
  ASSERT_GT(text.size(), 10000u);
  text += "\r\nCRLF_LINE_t\r\n\f#define FORMFEED 1\v\n";
  for (const char* pattern : kHeaderPatterns) {
    const boost::regex e(pattern, boost::regex::perl | boost::regex::no_except);
    ASSERT_EQ(e.status(), 0) << pattern;
    ExpectSameWalk(text, e, rc::match_default, "headers");
    ExpectSameWalk(text, e, rc::match_not_dot_newline, "headers");

    // Grep, Merge (with $` and $') and Search through the public class.
    std::string merged[2], searched[2];
    unsigned grepped[2];
    for (int on = 0; on < 2; ++on) {
      const ModeGuard guard(on ? PrefilterMode::Always : PrefilterMode::Off);
      RegularExpression re;
      re.SetExpression(pattern);
      re.SetStringToMatch(text);
      re.SetFormatString("<$&|$1|${^N}|$`>");
      grepped[on] = re.Grep();
      re.Merge(merged[on]);
      searched[on] = re.Search() ? "found" : "none";
    }
    EXPECT_EQ(grepped[0], grepped[1]) << pattern;
    EXPECT_TRUE(merged[0] == merged[1]) << pattern;
    EXPECT_EQ(searched[0], searched[1]) << pattern;
  }
}

}  // namespace
