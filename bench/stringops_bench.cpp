// Grep, Merge, FindAll and Replace on a large subject, each next to a plain Boost.Regex loop
// doing the same work in the same program. The "ratio" column is the
// library's CPU time over the engine loop's.
//
// The subject is real text: the C and C++ headers under /usr/include, read in
// name order and concatenated (repeated if need be) up to 32 MiB.
#include <benchmark/benchmark.h>

#include <boost/regex.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <time.h>

#include "header_text.h"
#include "ravelin/RegularExpression.h"

namespace {

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;

constexpr std::size_t kSubjectSize = 32u << 20;
// A handler receives the text after each match (the suffix entry), so a
// walk with a handler copies about matches * subject / 2 bytes: its rows use
// the first 64 KiB of the subject.
constexpr std::size_t kHandlerSubjectSize = 64u << 10;

const std::string& FullSubject() {
  static const std::string text = ravelin_bench::HeaderText(kSubjectSize);
  return text;
}

const std::string& Subject(std::size_t size = kSubjectSize) {
  static const std::string handlerText = FullSubject().substr(0, kHandlerSubjectSize);
  return size == kHandlerSubjectSize ? handlerText : FullSubject();
}

struct Workload {
  const char* name;
  const char* expression;
  const char* format;
};

// Dense: an identifier almost every few bytes. Sparse: one macro definition
// now and then, with a sub-expression.
const Workload kWorkloads[] = {
    {"identifiers", "[A-Za-z_]\\w*", "<$&>"},
    {"defines", "#\\s*define\\s+(\\w+)", "D($1)"},
};

const Workload& Load(const benchmark::State& state) { return kWorkloads[state.range(0)]; }

RegularExpression Library(const Workload& w, std::size_t size = kSubjectSize) {
  RegularExpression re;
  re.SetExpression(w.expression);
  re.SetStringToMatch(Subject(size));
  re.SetFormatString(w.format);
  return re;
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Runs the library and the plain engine loop in turn, each iteration, and
// reports both CPU times and their ratio. Alternating them on the same thread
// keeps the ratio steady on a busy machine where wall times are not. Each
// side returns a checksum of what it computed; they must agree.
template <class LibraryRun, class BoostRun>
void Paired(benchmark::State& state, LibraryRun library, BoostRun boost, std::size_t size = kSubjectSize) {
  double libraryCpu = 0;
  double boostCpu = 0;
  bool libraryFirst = true;
  for (auto _ : state) {
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    const double t0 = ThreadCpuSeconds();
    if (libraryFirst)
      a = library();
    else
      b = boost();
    const double t1 = ThreadCpuSeconds();
    if (libraryFirst)
      b = boost();
    else
      a = library();
    const double t2 = ThreadCpuSeconds();
    const double libraryTime = libraryFirst ? t1 - t0 : t2 - t1;
    libraryCpu += libraryTime;
    boostCpu += libraryFirst ? t2 - t1 : t1 - t0;
    state.SetIterationTime(libraryTime);
    libraryFirst = !libraryFirst;
    if (a != b) {
      state.SkipWithError("library and engine loop disagree");
      break;
    }
  }
  const double n = static_cast<double>(state.iterations());
  state.SetLabel(Load(state).name);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Subject(size).size()));
  state.counters["library_ms"] = libraryCpu / n * 1e3;
  state.counters["boost_ms"] = boostCpu / n * 1e3;
  state.counters["ratio"] = boostCpu > 0 ? libraryCpu / boostCpu : 0;
}

// ------------------------------------------------------ Grep, no handler

void GrepCount(benchmark::State& state) {
  RegularExpression re = Library(Load(state));
  const boost::regex e(Load(state).expression);
  const std::string& s = Subject();
  Paired(
      state, [&] { return static_cast<std::uint64_t>(re.Grep()); },
      [&] {
        std::uint64_t n = 0;
        for (boost::cregex_iterator it(s.data(), s.data() + s.size(), e), end; it != end; ++it) ++n;
        return n;
      });
}

// ---------------------------------------- Grep, handler reading the vector

// What the handler reads: the whole match, its position, line and line start.
struct Reader {
  std::uint64_t sum = 0;
  void OnGrep(RegularExpression&, const REMatchInfo& m, unsigned line, unsigned lineStart, bool&) {
    sum += static_cast<std::uint64_t>(m[0].position) + m[0].text.size() + line + lineStart;
  }
};

// The same facts straight from the engine: match text, position, and line
// and line start counted incrementally.
std::uint64_t EngineRead(const std::string& s, const boost::regex& e) {
  const char* base = s.data();
  std::uint64_t sum = 0;
  const char* counted = base;
  const char* lineStart = base;
  unsigned line = 1;
  for (boost::cregex_iterator it(base, base + s.size(), e), end; it != end; ++it) {
    const char* at = (*it)[0].first;
    while (const void* nl = std::memchr(counted, '\n', static_cast<std::size_t>(at - counted))) {
      ++line;
      counted = lineStart = static_cast<const char*>(nl) + 1;
    }
    counted = at;
    const std::string text = (*it)[0].str();
    sum += static_cast<std::uint64_t>(at - base) + text.size() + line + static_cast<std::uint64_t>(lineStart - base);
  }
  return sum;
}

void GrepHandler(benchmark::State& state) {
  RegularExpression re = Library(Load(state), kHandlerSubjectSize);
  Reader reader;
  re.SetOnGreppingClosure(RegularExpression::OnGreppingClosure(&reader, &Reader::OnGrep));
  const boost::regex e(Load(state).expression);
  const std::string& s = Subject(kHandlerSubjectSize);
  Paired(
      state,
      [&] {
        reader.sum = 0;
        re.Grep();
        return reader.sum;
      },
      // The same facts straight from the engine.
      [&] { return EngineRead(s, e); }, kHandlerSubjectSize);
}

// ------------------------------------------------------------------ Merge

std::uint64_t Checksum(const std::string& s) {
  std::uint64_t h = s.size();
  for (std::size_t i = 0; i < s.size(); i += 4099) h = h * 31 + static_cast<unsigned char>(s[i]);
  return h;
}

void Merge(benchmark::State& state, bool copy) {
  RegularExpression re = Library(Load(state));
  re.SetMergeCopy(copy);
  const boost::regex e(Load(state).expression);
  const std::string format(Load(state).format);
  const std::string& s = Subject();
  std::string libraryOut;
  std::string boostOut;
  Paired(
      state,
      [&] {
        re.Merge(libraryOut);
        return Checksum(libraryOut);
      },
      [&] {
        boostOut.clear();  // keeps its storage, as Merge does with its output
        if (copy) boostOut.reserve(s.size());
        boost::regex_replace(std::back_inserter(boostOut), s.data(), s.data() + s.size(), e, format,
                             copy ? boost::format_default : boost::format_no_copy);
        return Checksum(boostOut);
      });
}

void MergeCopy(benchmark::State& state) { Merge(state, true); }
void MergeNoCopy(benchmark::State& state) { Merge(state, false); }

// ------------------------------------------------- matches as values

// FindAll over the whole subject, reading what the handler row reads (the
// match text is copied out, as the engine loop's str() does).
void FindAllValues(benchmark::State& state) {
  const RegularExpression re{std::string_view(Load(state).expression)};
  const boost::regex e(Load(state).expression);
  const std::string& s = Subject();
  Paired(
      state,
      [&] {
        std::uint64_t sum = 0;
        for (const RegexClass::MatchResult& m : re.FindAll(s)) {
          const std::string text(m[0]);
          sum += static_cast<std::uint64_t>(m.Position(0)) + text.size() + m.Line() +
                 static_cast<std::uint64_t>(m.LineStart());
        }
        return sum;
      },
      [&] { return EngineRead(s, e); });
}

void ReplaceFormat(benchmark::State& state) {
  const RegularExpression re{std::string_view(Load(state).expression)};
  const boost::regex e(Load(state).expression);
  const std::string format(Load(state).format);
  const std::string& s = Subject();
  Paired(
      state, [&] { return Checksum(re.Replace(s, format)); },
      [&] { return Checksum(boost::regex_replace(s, e, format)); });
}

#define RAVELIN_STRINGOPS_BENCH(fn) \
  BENCHMARK(fn)->Arg(0)->Arg(1)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond)

RAVELIN_STRINGOPS_BENCH(GrepCount);
RAVELIN_STRINGOPS_BENCH(GrepHandler);
RAVELIN_STRINGOPS_BENCH(MergeCopy);
RAVELIN_STRINGOPS_BENCH(MergeNoCopy);
RAVELIN_STRINGOPS_BENCH(FindAllValues);
RAVELIN_STRINGOPS_BENCH(ReplaceFormat);

}  // namespace

BENCHMARK_MAIN();
