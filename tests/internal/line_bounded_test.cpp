// Line-bounded walks against a reference that runs the engine on each line
// as a subject of its own, with the prefilter off and on (for every buffer),
// over generated texts and copied system headers. Every match must agree in
// its groups, prefix, position, suffix and last closed group.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "prefilter/prefilter.h"
#include "ravelin/RegularExpression.h"
#include "support/random_text.h"
#include "support/temp_dir.h"
#include "walker/match_walker.h"

namespace {

using namespace RegexClass::detail;
namespace rc = boost::regex_constants;
using ravelin_test::RandomText;
using ravelin_test::TempDir;

class ModeGuard {
 public:
  explicit ModeGuard(PrefilterMode mode) : saved_(GetPrefilterMode()) { SetPrefilterMode(mode); }
  ~ModeGuard() { SetPrefilterMode(saved_); }

 private:
  PrefilterMode saved_;
};

// One match as offsets from the buffer start. Groups that did not take part
// are written without places.
void Describe(std::ostream& out, const boost::cmatch& m, const char* base, const char* origin, const char* last) {
  for (std::size_t k = 0; k < m.size(); ++k) {
    const auto& s = m[static_cast<int>(k)];
    if (s.matched) {
      out << (s.first - base) << ',' << (s.second - base) << ' ';
    } else {
      out << "- ";
    }
  }
  out << "p" << (origin - base) << " @" << (m[0].first - origin) << " s" << (last - base) << ' ' << m.format("[$+|$^N]")
      << '\n';
}

std::string Walk(const std::string& text, const boost::regex& e, rc::match_flag_type flags, PrefilterMode mode) {
  const ModeGuard guard(mode);
  const char* base = text.data();
  const char* last = base + text.size();
  MatchWalker walker(base, last, e, flags, true);
  std::ostringstream out;
  while (walker.Next()) {
    const boost::cmatch& m = walker.Match();
    if (m.suffix().second != last || m.prefix().second != m[0].first) out << "bad frame ";
    Describe(out, m, base, m.prefix().first, m.suffix().second);
    if (m.position() != m[0].first - m.prefix().first) out << "bad position\n";
  }
  if (walker.Failed()) out << "failed\n";
  return out.str();
}

// Each line searched alone: a buffer of its own whose ^ and $ are its ends
// only, the engine's own rules for empty matches, the subject's edge flags
// on its first and last line only.
std::string Reference(const std::string& text, const boost::regex& e, rc::match_flag_type flags) {
  const char* base = text.data();
  const char* last = base + text.size();
  std::ostringstream out;
  const char* previousEnd = base;
  for (const char* line = base; line < last;) {
    const char* newline = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(last - line)));
    const char* end = newline != nullptr ? newline : last;
    rc::match_flag_type lineFlags = flags | rc::match_single_line;
    if (line != base) lineFlags &= ~(rc::match_not_bol | rc::match_not_bob);
    if (end != last) lineFlags &= ~(rc::match_not_eol | rc::match_not_eob);
    const char* at = line;
    bool afterEmpty = false;
    boost::cmatch m;
    for (;;) {
      const rc::match_flag_type f = afterEmpty ? lineFlags | rc::match_not_initial_null : lineFlags;
      if (!boost::regex_search(at, end, m, e, f, line)) break;
      Describe(out, m, base, previousEnd, last);
      previousEnd = m[0].second;
      afterEmpty = m[0].first == m[0].second;
      at = m[0].second;
    }
    if (newline == nullptr) break;
    line = newline + 1;
  }
  return out.str();
}

void ExpectLineWalks(const std::string& text, const boost::regex& e, rc::match_flag_type flags, const char* what) {
  const std::string expected = Reference(text, e, flags);
  const std::string plain = Walk(text, e, flags, PrefilterMode::Off);
  const std::string fast = Walk(text, e, flags, PrefilterMode::Always);
  const std::string shown = testing::PrintToString(text.size() < 200 ? text : text.substr(0, 200));
  EXPECT_EQ(plain, expected) << what << " /" << e.str() << "/ flags 0x" << std::hex << flags << " over " << shown;
  EXPECT_EQ(fast, expected) << what << " prefiltered /" << e.str() << "/ flags 0x" << std::hex << flags << " over "
                            << shown;
}

// Patterns whose matches differ when lines are subjects of their own, and
// the prefilter's own workloads.
const char* const kPatterns[] = {
    ".*",
    "\\s+",
    "[^,]*",
    ",\\s*$",
    "^$",
    "(?<=\\n)x",
    "x$",
    "^",
    "$",
    "\\Ax",
    "x\\z",
    "x\\Z",
    "(?<=a)b",
    "(?<!a)b_",
    "a(?=\\s)",
    "a(?!\\n)",
    "x(?!\\z)",
    "(?-m)x(?!$)",
    "\\r(?!$)",
    "(?<!^)x(?!\\b)",
    "a.b",
    "(?s)a.*t",
    "a[^\\n]*b",
    "[^a]b",
    "\\w+ \\w+",
    "\\bab\\b",
    "(a)(b)?(_)?",
    "(a)|(b)(_)?",
    "(?:(a)|(b))+",
    "(?<n>a)(?:b)",
    "x*",
    "b?t",
    "a{2,3}",
    "\\n",
    "t\\r",
    "a$\\r?",
    "(ERROR|WARNING|FATAL)",
    "[A-Za-z_][A-Za-z0-9_]*_t\\b",
    "(?i)mutex",
    "[0-9]{4}-[0-9]{2}-[0-9]{2}",
    "return",
    "^\\s*#\\s*define",
};

// The characters of the generated subjects.
const std::string kAlphabet = "aab_t \n\n#,x\r\f1-b";

TEST(LineBounded, WalksAgreeWithEachLineSearchedAlone) {
  std::mt19937 rng(14);
  std::vector<std::string> corpus{"", "\n", "\n\n", "x", "x\n", "a,\nb, \n\nx", "ab_t\r\nx\r\n"};
  for (int t = 0; t < 24; ++t) corpus.push_back(RandomText(rng, 1 + rng() % (t % 4 == 0 ? 2500 : 90), kAlphabet));
  const rc::match_flag_type flags[] = {rc::match_default, rc::match_not_bol, rc::match_not_eol | rc::match_not_eob,
                                       rc::match_not_null, rc::match_not_dot_newline};
  for (const char* pattern : kPatterns) {
    const boost::regex::flag_type syntaxes[] = {boost::regex::perl, boost::regex::perl | boost::regex::icase,
                                                boost::regex::extended};
    for (const auto syntax : syntaxes) {
      const boost::regex e(pattern, syntax | boost::regex::no_except);
      if (e.status() != 0) continue;
      for (const auto f : flags) {
        for (const std::string& text : corpus) ExpectLineWalks(text, e, f, "generated");
      }
    }
  }
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(LineBounded, WalksAgreeOverCopiedHeaders) {
  TempDir dir;
  std::string text;
  int k = 0;
  for (const char* f : {"/usr/include/stdio.h", "/usr/include/unistd.h", "/usr/include/pthread.h",
                        "/usr/include/errno.h", "/usr/include/time.h"}) {
    const std::string name = "h" + std::to_string(k++) + ".h";
    dir.Write(name, ReadAll(f));
    text += ReadAll(dir.Join(name));
  }
  ASSERT_GT(text.size(), 10000u);
  text += "\r\nCRLF_LINE_t\r\n\f#define FORMFEED 1\v\n2024-01-02, x";
  for (const char* pattern : kPatterns) {
    const boost::regex e(pattern, boost::regex::perl | boost::regex::no_except);
    ASSERT_EQ(e.status(), 0) << pattern;
    ExpectLineWalks(text, e, rc::match_default, "headers");
  }
}

// The public operations: off by default (whole subject), on per line.
TEST(LineBounded, OperationsFollowTheSwitch) {
  RegexClass::RegularExpression re;
  EXPECT_FALSE(re.GetLineBounded());
  re.SetExpression(" *// TODO.*");
  re.SetStringToMatch("int a; // TODO fix\nint b;\nint c;\n");
  re.SetFormatString("$`|");
  re.SetMergeCopy(true);
  std::string whole, lines;
  re.Merge(whole);
  EXPECT_EQ(whole, "int a;int a;|");
  RegexClass::RegularExpression copy(re);
  copy.SetLineBounded(true);
  RegexClass::RegularExpression assigned;
  assigned = copy;
  EXPECT_TRUE(assigned.GetLineBounded());
  assigned.Merge(lines);
  EXPECT_EQ(lines, "int a;int a;|\nint b;\nint c;\n");
  std::ostringstream record;
  record << assigned;
  RegexClass::RegularExpression read;
  std::istringstream in(record.str());
  in >> read;
  EXPECT_FALSE(read.GetLineBounded());

  struct Row {
    const char* pattern;
    const char* subject;
    bool match, matchAll, search;
  } const rows[] = {
      {"a.*", "abc\ndef", true, true, true},   {"abc\\ndef", "abc\ndef", false, false, false},
      {"def", "abc\ndef", false, false, true}, {"^$", "", true, true, false},
      {"ab", "abc\n", true, false, true},      {"c$", "abc\nx", false, false, true},
  };
  for (const Row& row : rows) {
    RegexClass::RegularExpression r;
    r.SetLineBounded(true);
    r.SetExpression(row.pattern);
    r.SetStringToMatch(row.subject);
    EXPECT_EQ(r.Match(), row.match) << row.pattern;
    EXPECT_EQ(r.MatchAll(), row.matchAll) << row.pattern;
    EXPECT_EQ(r.Search(), row.search) << row.pattern;
  }
}

}  // namespace
