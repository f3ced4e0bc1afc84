// Search, Grep and Merge of the library (with its prefilter) next to the
// plain Boost.Regex loop doing the same work, in one run, over a large
// subject of real text (the headers under /usr/include, repeated up to
// RAVELIN_BENCH_MB megabytes, 200 by default). Prints milliseconds and the
// ratio plain / library for each case (above 1: the library is faster).
#include <boost/regex.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "header_text.h"
#include "ravelin/RegularExpression.h"

namespace {

using RegexClass::RegularExpression;
using Clock = std::chrono::steady_clock;

std::string Subject(std::size_t size) { return ravelin_bench::HeaderText(size); }

template <class F>
double Millis(F f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The plain loop: every match, as regex_iterator walks them.
std::size_t PlainGrep(const std::string& s, const boost::regex& e) {
  std::size_t n = 0;
  for (boost::cregex_iterator it(s.data(), s.data() + s.size(), e), end; it != end; ++it) ++n;
  return n;
}

}  // namespace

int main() {
  const char* mb = std::getenv("RAVELIN_BENCH_MB");
  const std::size_t size = static_cast<std::size_t>(mb != nullptr ? std::atol(mb) : 200) << 20;
  const std::string subject = Subject(size);
  std::printf("subject %zu bytes\n%-34s %-6s %10s %10s %8s\n", subject.size(), "pattern", "op", "plain ms", "ours ms",
              "ratio");
  const char* const patterns[] = {
      "EHOSTUNREACH",                 // rare literal
      "pthread_mutex_timedlock",      // rare literal
      "[A-Za-z_][A-Za-z0-9_]*_t\\b",  // identifiers ending in _t
      "(?<=foo)bar",                  // look-behind, rare
      "^\\s*#\\s*define",             // crosses lines: tail cut only
      "[A-Za-z_]\\w*",                // dense: the prefilter cannot help
      "(a|b)*c",                      // refused: plain
  };
  for (const char* p : patterns) {
    const boost::regex e(p);
    RegularExpression re;
    re.SetExpression(p);
    re.SetStringToMatch(subject);
    re.SetFormatString("<$&>");
    re.SetMergeCopy(true);  // as regex_replace: the text between the matches too

    std::size_t plainCount = 0;
    unsigned ours = 0;
    const double plainGrep = Millis([&] { plainCount = PlainGrep(subject, e); });
    const double oursGrep = Millis([&] { ours = re.Grep(); });
    std::printf("%-34s %-6s %10.1f %10.1f %8.2f%s\n", p, "Grep", plainGrep, oursGrep, plainGrep / oursGrep,
                plainCount == ours ? "" : "  COUNT DIFFERS");

    std::string plainOut, oursOut;
    const double plainMerge = Millis([&] { plainOut = boost::regex_replace(subject, e, "<$&>"); });
    const double oursMerge = Millis([&] { re.Merge(oursOut); });
    std::printf("%-34s %-6s %10.1f %10.1f %8.2f%s\n", p, "Merge", plainMerge, oursMerge, plainMerge / oursMerge,
                plainOut == oursOut ? "" : "  OUTPUT DIFFERS");

    bool plainFound = false, oursFound = false;
    const double plainSearch = Millis([&] {
      boost::cmatch m;
      plainFound = boost::regex_search(subject.data(), subject.data() + subject.size(), m, e);
    });
    const double oursSearch = Millis([&] { oursFound = re.Search(); });
    std::printf("%-34s %-6s %10.3f %10.3f %8.2f%s\n", p, "Search", plainSearch, oursSearch, plainSearch / oursSearch,
                plainFound == oursFound ? "" : "  RESULT DIFFERS");
  }
  return 0;
}
