// FindFiles and GrepFiles over a real tree, next to a plain Boost.Regex
// per-file loop and GNU grep doing the same work, in one program.
//
// The tree: copies of /usr/include and /usr/share/doc made at start-up in a
// temporary directory (symbolic links removed, since grep -r passes them by
// while the walk searches links to files), removed again at the end. Set
// RAVELIN_BENCH_TREE to a directory to use that instead. Every figure is
// wall-clock time with the tree in the page cache.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/regex.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"

namespace {

namespace fs = std::filesystem;
using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;

std::string treeRoot;
std::uint64_t treeBytes = 0;
std::uint64_t treeFiles = 0;

struct Workload {
  const char* name;
  const char* expression;
};

// rare: (almost) no match, so every byte of every file is searched.
// includes: a match near the top of most C headers: FindFiles stops early.
// words: many matches spread over the text.
const Workload kWorkloads[] = {
    {"rare", "xyzzy[0-9]+"},
    {"includes", "#include *<[a-z_/]+\\.h>"},
    {"words", "[A-Z][a-z]+Error"},
    {"ident_t", "[A-Za-z_][A-Za-z0-9_]*_t\\b"},
};

const Workload& Load(const benchmark::State& state) { return kWorkloads[state.range(0)]; }

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

void Finish(benchmark::State& state, std::uint64_t result) {
  state.SetLabel(Load(state).name);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * treeBytes));
  state.counters["result"] = static_cast<double>(result);
}

// ------------------------------------------------------------------ Ravelin

RegularExpression Library(const Workload& w) {
  RegularExpression re;
  re.SetExpression(w.expression);
  re.SetFilesToMatch(treeRoot);
  re.SetDirectoryRecursion(true);
  return re;
}

void BM_FindFiles_Ravelin(benchmark::State& state) {
  RegularExpression re = Library(Load(state));
  unsigned n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(n = re.FindFiles());
  Finish(state, n);
}

void BM_GrepFiles_Ravelin_Count(benchmark::State& state) {
  RegularExpression re = Library(Load(state));
  unsigned n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(n = re.GrepFiles());
  Finish(state, n);
}

std::uint64_t handled;
void CountMatch(RegularExpression&, std::string, const REMatchInfo& m, unsigned line, bool&) {
  handled += m.size() + line;
}

void BM_GrepFiles_Ravelin_Handler(benchmark::State& state) {
  RegularExpression re = Library(Load(state));
  re.SetOnGreppingFiles(&CountMatch);
  unsigned n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(n = re.GrepFiles());
  Finish(state, n);
}

// ------------------------------------------------ raw Boost per-file loop

// Walks the tree (no order, no links to directories), reads each regular
// file into one reused buffer, or maps it from 4 MiB on, and hands its bytes
// to search. search returns false to end the walk.
template <class Search>
void RawWalk(Search search) {
  std::vector<char> buffer;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(treeRoot, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      continue;
    }
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    if (size >= (std::size_t{4} << 20)) {
      void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
      ::close(fd);
      if (p == MAP_FAILED) continue;
      const char* first = static_cast<const char*>(p);
      const bool goOn = search(first, first + size);
      ::munmap(p, size);
      if (!goOn) return;
      continue;
    }
    if (buffer.size() < size + 1) buffer.resize(size + 1);
    std::size_t used = 0;
    for (;;) {
      if (used == buffer.size()) buffer.resize(buffer.size() * 2);
      const ssize_t got = ::read(fd, buffer.data() + used, buffer.size() - used);
      if (got <= 0) break;
      used += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (!search(buffer.data(), buffer.data() + used)) return;
  }
}

void BM_FindFiles_BoostLoop(benchmark::State& state) {
  const boost::regex e(Load(state).expression, boost::regex::perl);
  std::uint64_t n = 0;
  for (auto _ : state) {
    n = 0;
    RawWalk([&](const char* first, const char* last) {
      boost::cmatch m;
      if (boost::regex_search(first, last, m, e)) ++n;
      return true;
    });
    benchmark::DoNotOptimize(n);
  }
  Finish(state, n);
}

void BM_GrepFiles_BoostLoop(benchmark::State& state) {
  const boost::regex e(Load(state).expression, boost::regex::perl);
  std::uint64_t n = 0;
  for (auto _ : state) {
    n = 0;
    RawWalk([&](const char* first, const char* last) {
      for (boost::cregex_iterator it(first, last, e), end; it != end; ++it) ++n;
      return true;
    });
    benchmark::DoNotOptimize(n);
  }
  Finish(state, n);
}

// ---------------------------------------------------------------- GNU grep

double ChildCpuSeconds() {
  struct rusage u;
  ::getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The CPU column cannot see a child process: its user and system time per
// walk go into the counter child_cpu_ms.
void GrepCommand(benchmark::State& state, const std::string& options, const std::string& tail) {
  const std::string command =
      "LC_ALL=C grep -r -E " + options + " -e " + Quote(Load(state).expression) + " -- " + Quote(treeRoot) + tail;
  const double before = ChildCpuSeconds();
  for (auto _ : state) Run(command);
  const double spent = ChildCpuSeconds() - before;
  Finish(state, 0);
  state.counters["child_cpu_ms"] = spent * 1000.0 / static_cast<double>(state.iterations());
}

void BM_FindFiles_Grep_l(benchmark::State& state) { GrepCommand(state, "-l", " >/dev/null"); }
// -o -c counts the lines holding a match; -o | wc -l counts the matches.
void BM_GrepFiles_Grep_o_c(benchmark::State& state) { GrepCommand(state, "-o -c", " >/dev/null"); }
void BM_GrepFiles_Grep_o_wc(benchmark::State& state) { GrepCommand(state, "-o", " | wc -l >/dev/null"); }

#define FILE_BENCH(fn) BENCHMARK(fn)->DenseRange(0, 3)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond)
FILE_BENCH(BM_FindFiles_Ravelin);
FILE_BENCH(BM_FindFiles_BoostLoop);
FILE_BENCH(BM_FindFiles_Grep_l);
FILE_BENCH(BM_GrepFiles_Ravelin_Count);
FILE_BENCH(BM_GrepFiles_Ravelin_Handler);
FILE_BENCH(BM_GrepFiles_BoostLoop);
FILE_BENCH(BM_GrepFiles_Grep_o_c);
FILE_BENCH(BM_GrepFiles_Grep_o_wc);

// Makes the tree, and removes it again when the program ends.
class Tree {
 public:
  Tree() {
    if (const char* given = std::getenv("RAVELIN_BENCH_TREE")) {
      treeRoot = given;
    } else {
      const char* tmp = std::getenv("TMPDIR");
      std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/ravelin-bench-XXXXXX";
      if (::mkdtemp(pattern.data()) == nullptr) return;
      made_ = pattern;
      treeRoot = made_ + "/tree";
      std::cerr << "copying /usr/include and /usr/share/doc into " << treeRoot << " ...\n";
      Run("mkdir -p " + Quote(treeRoot) + " && cp -r /usr/include " + Quote(treeRoot + "/include") +
          " && cp -r /usr/share/doc " + Quote(treeRoot + "/doc") + " && find " + Quote(treeRoot) + " -type l -delete");
    }
    std::error_code ec;
    for (fs::recursive_directory_iterator it(treeRoot, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec)) {
        ++treeFiles;
        treeBytes += it->file_size(ec);
      }
    }
    // One pass to bring the tree into the page cache.
    RawWalk([](const char* first, const char* last) {
      benchmark::DoNotOptimize(first != last);
      return true;
    });
    std::cerr << "tree: " << treeFiles << " files, " << (treeBytes >> 20) << " MiB\n";
  }
  ~Tree() {
    if (!made_.empty()) Run("rm -rf " + Quote(made_));
  }

 private:
  std::string made_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Tree tree;
  if (treeFiles == 0) {
    std::cerr << "no tree to search\n";
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
