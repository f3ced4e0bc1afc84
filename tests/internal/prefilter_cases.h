// The patterns and generated subjects of the prefilter's differential test,
// shared with the other tests that walk them (the value forms of the string
// operations against the events).
#ifndef RAVELIN_TESTS_INTERNAL_PREFILTER_CASES_H
#define RAVELIN_TESTS_INTERNAL_PREFILTER_CASES_H

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/random_text.h"
#include "support/temp_dir.h"

namespace ravelin_test {

inline constexpr const char* kPatterns[] = {
    "ab",
    "a_t",
    "#define",
    "b_t\\b",
    "\\bab\\b",
    "\\Bt\\b",
    "\\<ab\\>",
    "[A-Za-z_][A-Za-z0-9_]*_t\\b",
    "(ab|b_|#)",
    "a+b",
    "a[^\\n]*b",
    "[^a]b",
    "\\w+ \\w+",
    "\\s+#",
    "\\S+\\s",
    "^a",
    "b$",
    "^#.*$",
    "^$\\n?a",
    "a$\\r?",
    "\\Aa",
    "b\\z",
    "b\\Z",
    "\\`a",
    "b\\'",
    "(?=ab)a",
    "a(?!b)",
    "(?<=a)b",
    "(?<!a)b_",
    "b(?!\\z)",
    "b(?!\\Z)",
    "a(?!\\')",
    "(?-m)b(?!$)",
    "\\r(?!$|^)",
    "\\b(?<!^|\\A|\\`)a",
    "(?-m)(?<!^)b(?!\\b)",
    "(?i)AB",
    "(?i:A)b",
    "a(?i)B|T",
    "(a)(b)?(_)?",
    "(?:(a)|(b))+t",
    "(?<n>a)(?:b)",
    "(a)\\1",
    "a.b",
    "(?s)a.*?t",
    "(?-s)a.*t",
    "a.*b.*t",
    "a\\nb",
    "\\n#",
    "t\\r",
    "\\f\\v",
    "[\\r\\f\\v]a",
    "a{2,3}",
    "a*a*t",
    "(a|b)*t",
    "(a*)*b",
    "\\Qa_\\E",
    "\\x61b",
    "[[:alpha:]]_[[:digit:]]?",
    "\\da",
    "\\Ga",
    "a\\Kb",
    "b?t",
    "x*",
    "(?x) a b",
    "\\d+\\.\\d+",
};

// The characters of the generated subjects.
inline const std::string kAlphabet = "aab_t \n#AB\r\f\v1.b";

// count subjects over kAlphabet, the same every run: most up to 120 bytes,
// every fifth up to 3000.
inline std::vector<std::string> GeneratedTexts(int count) {
  std::mt19937 rng(20261207);
  std::vector<std::string> corpus;
  corpus.reserve(static_cast<std::size_t>(count));
  for (int t = 0; t < count; ++t) corpus.push_back(RandomText(rng, 1 + rng() % (t % 5 == 0 ? 3000 : 120), kAlphabet));
  return corpus;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Copies system headers into a temporary directory and reads them back as
// one text, a few hundred kilobytes (all of them when every is set).
inline std::string HeaderText(TempDir& dir, bool every) {
  const char* const files[] = {"/usr/include/stdio.h",   "/usr/include/stdlib.h", "/usr/include/string.h",
                               "/usr/include/unistd.h",  "/usr/include/fcntl.h",  "/usr/include/errno.h",
                               "/usr/include/signal.h",  "/usr/include/time.h",   "/usr/include/wchar.h",
                               "/usr/include/pthread.h", "/usr/include/locale.h", "/usr/include/regex.h"};
  std::string all;
  int k = 0;
  for (const char* f : files) {
    const std::string text = ReadAll(f);
    if (text.empty()) continue;
    const std::string copy = "h" + std::to_string(k++) + ".h";
    dir.Write(copy, text);
    all += ReadAll(dir.Join(copy));
    if (!every && all.size() > std::size_t{300} * 1024) break;
  }
  return all;
}

// Patterns for the header text.
inline constexpr const char* kHeaderPatterns[] = {
    "EHOSTUNREACH",
    "return",
    "(ERROR|WARNING|FATAL)",
    "[A-Za-z_][A-Za-z0-9_]*_t\\b",
    "(?i)mutex",
    "^\\s*#\\s*define",
    "\\bint\\b",
    "(?<=__)attribute",
    "extern(?! \"C\")",
    "\\*/(?!\\z)",
    "[^\\n]*error",
    "\\w+_t$",
    "(?s)/\\*.*?\\*/",
    "\\d+\\.\\d+",
    "(?i)[a-z]+ing\\b",
    "const char \\*",
    "^#",
};

}  // namespace ravelin_test

#endif  // RAVELIN_TESTS_INTERNAL_PREFILTER_CASES_H
