// The library's value style (FindAll, Replace) against the engines a C++
// programmer would pick instead, over the same subject: RE2, PCRE2 with its
// JIT, std::regex and plain Boost.Regex. Each engine counts every match of
// each pattern, then replaces every match; the best of three runs is kept.
//
//   engines_bench [MiB]        (default 4: std::regex is slow on more)
//
// The subject is the C and C++ headers under /usr/include, concatenated in
// name order (repeated if need be). RE2 and PCRE2 are benchmark
// dependencies only: nothing of the library links them.
#include <boost/regex.hpp>

#include <re2/re2.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "header_text.h"
#include "ravelin/RegularExpression.h"

namespace {

struct Pattern {
  const char* name;
  const char* perl;  // the pattern, Perl syntax
  bool icase;        // case-insensitive (given to each engine its own way)
  bool literal;      // holds a required literal or set of literals
  bool re2;          // RE2 can run it (no back-reference)
};

const Pattern kPatterns[] = {
    {"rare literal", "PTHREAD_MUTEX_INITIALIZER", false, true, true},
    {"common literal", "const", false, true, true},
    {"three words", "struct|union|enum", false, true, true},
    {"_t identifier", "[A-Za-z_][A-Za-z0-9_]*_t\\b", false, true, true},
    {"icase word", "size", true, true, true},
    {"date", "[0-9]{4}-[0-9]{2}-[0-9]{2}", false, false, true},
    {"back-reference", "(\\w+) \\1", false, false, false},
    {"no match", "zq[0-9]+xj", false, true, true},
};

// A pattern compiled by PCRE2 and its JIT; the caller frees it.
pcre2_code* Pcre2(const Pattern& p) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* re = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.perl), PCRE2_ZERO_TERMINATED,
                                 p.icase ? PCRE2_CASELESS : 0, &error, &offset, nullptr);
  pcre2_jit_compile(re, PCRE2_JIT_COMPLETE);
  return re;
}

struct Result {
  double seconds = -1;  // best of three; -1: not run
  std::size_t count = 0;
};

Result Best(const std::function<std::size_t()>& run) {
  Result r;
  for (int k = 0; k < 3; ++k) {
    const auto start = std::chrono::steady_clock::now();
    r.count = run();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (r.seconds < 0 || s < r.seconds) r.seconds = s;
  }
  return r;
}

// Each engine: count every match; replace every match by <match>.
struct Engine {
  const char* name;
  std::function<Result(const Pattern&, const std::string&)> count;
  std::function<Result(const Pattern&, const std::string&)> replace;
};

std::vector<Engine> Engines() {
  std::vector<Engine> engines;
  engines.push_back({"ravelin",
                     [](const Pattern& p, const std::string& s) {
                       RegexClass::RegularExpression re(p.perl);
                       if (p.icase) re.AddExpressionOption(RegexClass::RegularExpression::Icase);
                       return Best([&] {
                         std::size_t n = 0;
                         for (const RegexClass::MatchResult& m : re.FindAll(s)) n += m.Size() > 0 ? 1 : 0;
                         return n;
                       });
                     },
                     [](const Pattern& p, const std::string& s) {
                       RegexClass::RegularExpression re(p.perl);
                       if (p.icase) re.AddExpressionOption(RegexClass::RegularExpression::Icase);
                       return Best([&] { return re.Replace(s, "<$&>").size(); });
                     }});
  engines.push_back(
      {"boost",
       [](const Pattern& p, const std::string& s) {
         const boost::regex re(p.perl, p.icase ? boost::regex::perl | boost::regex::icase : boost::regex::perl);
         return Best([&] {
           std::size_t n = 0;
           for (boost::cregex_iterator it(s.data(), s.data() + s.size(), re), end; it != end; ++it) ++n;
           return n;
         });
       },
       [](const Pattern& p, const std::string& s) {
         const boost::regex re(p.perl, p.icase ? boost::regex::perl | boost::regex::icase : boost::regex::perl);
         return Best([&] { return boost::regex_replace(s, re, "<$&>").size(); });
       }});
  engines.push_back({"RE2",
                     [](const Pattern& p, const std::string& s) {
                       if (!p.re2) return Result{};
                       RE2::Options o;
                       o.set_case_sensitive(!p.icase);
                       o.set_log_errors(false);
                       const RE2 re(p.perl, o);
                       return Best([&] {
                         std::size_t n = 0;
                         re2::StringPiece input(s), match;
                         std::size_t at = 0;
                         while (at <= s.size() && re.Match(input, at, s.size(), RE2::UNANCHORED, &match, 1)) {
                           ++n;
                           const std::size_t end = static_cast<std::size_t>(match.data() - s.data()) + match.size();
                           at = match.empty() ? end + 1 : end;
                         }
                         return n;
                       });
                     },
                     [](const Pattern& p, const std::string& s) {
                       if (!p.re2) return Result{};
                       RE2::Options o;
                       o.set_case_sensitive(!p.icase);
                       const RE2 re(p.perl, o);
                       return Best([&] {
                         std::string out = s;
                         RE2::GlobalReplace(&out, re, "<\\0>");
                         return out.size();
                       });
                     }});
  engines.push_back({"PCRE2-JIT",
                     [](const Pattern& p, const std::string& s) {
                       pcre2_code* re = Pcre2(p);
                       pcre2_match_data* md = pcre2_match_data_create_from_pattern(re, nullptr);
                       const Result r = Best([&] {
                         std::size_t n = 0;
                         PCRE2_SIZE at = 0;
                         while (at <= s.size() && pcre2_jit_match(re, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(),
                                                                  at, 0, md, nullptr) >= 0) {
                           ++n;
                           const PCRE2_SIZE* v = pcre2_get_ovector_pointer(md);
                           at = v[1] == v[0] ? v[1] + 1 : v[1];
                         }
                         return n;
                       });
                       pcre2_match_data_free(md);
                       pcre2_code_free(re);
                       return r;
                     },
                     [](const Pattern& p, const std::string& s) {
                       pcre2_code* re = Pcre2(p);
                       // A new output each time, as the others return a new
                       // string (into a buffer made once it is 3.8 ms for
                       // the rare literal over 32 MiB: the time is the fresh
                       // memory's first touch).
                       const Result r = Best([&] {
                         std::string out(s.size() * 2 + 64, '\0');
                         for (;;) {
                           PCRE2_SIZE length = out.size();
                           const int rc = pcre2_substitute(re, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0,
                                                           PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH,
                                                           nullptr, nullptr, reinterpret_cast<PCRE2_SPTR>("<$0>"), 4,
                                                           reinterpret_cast<PCRE2_UCHAR*>(&out[0]), &length);
                           if (rc == PCRE2_ERROR_NOMEMORY) {
                             out.resize(length);
                             continue;
                           }
                           return static_cast<std::size_t>(length);
                         }
                       });
                       pcre2_code_free(re);
                       return r;
                     }});
  engines.push_back(
      {"std::regex",
       [](const Pattern& p, const std::string& s) {
         const std::regex re(p.perl, p.icase ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript);
         return Best([&] {
           return static_cast<std::size_t>(
               std::distance(std::sregex_iterator(s.begin(), s.end(), re), std::sregex_iterator()));
         });
       },
       [](const Pattern& p, const std::string& s) {
         const std::regex re(p.perl, p.icase ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript);
         return Best([&] { return std::regex_replace(s, re, "<$&>").size(); });
       }});
  return engines;
}

void Table(const char* what, const std::vector<Engine>& engines, const std::string& subject, bool replace) {
  std::printf("\n%s, %zu MiB (ms, best of 3; counts or output sizes in brackets)\n\n", what, subject.size() >> 20);
  std::printf("| pattern |");
  for (const Engine& e : engines) std::printf(" %s |", e.name);
  std::printf(" ravelin / faster of RE2, PCRE2 | ravelin / boost |\n|---|");
  for (std::size_t k = 0; k < engines.size() + 2; ++k) std::printf("---|");
  std::printf("\n");
  for (const Pattern& p : kPatterns) {
    std::printf("| %s `%s` |", p.name, p.perl);
    std::vector<Result> results;
    for (const Engine& e : engines) {
      results.push_back(replace ? e.replace(p, subject) : e.count(p, subject));
      const Result& r = results.back();
      if (r.seconds < 0)
        std::printf(" - |");
      else
        std::printf(" %.1f (%zu) |", r.seconds * 1e3, r.count);
      std::fflush(stdout);
    }
    const double ours = results[0].seconds;
    double fast = -1;
    for (std::size_t k : {2U, 3U})
      if (results[k].seconds >= 0 && (fast < 0 || results[k].seconds < fast)) fast = results[k].seconds;
    std::printf(" %.2f | %.2f |\n", fast > 0 ? ours / fast : 0.0, ours / results[1].seconds);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4;
  const std::string subject = ravelin_bench::HeaderText((mib == 0 ? 4 : mib) << 20);
  const std::vector<Engine> engines = Engines();
  Table("Count every match", engines, subject, false);
  Table("Replace every match by <match>", engines, subject, true);
  return 0;
}
