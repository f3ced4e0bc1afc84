// ChangeFiles over many small files and over one large file, next to
// sed -i, perl -pi and a bare per-file loop doing the same replacement, in
// one program.
//
// The bare loop is the floor for a safe rewrite: read the file, replace
// every match of the Boost expression in memory, a temporary file beside it,
// write, fchmod, fsync, rename. sed -i and perl -pi write a temporary file and rename it too, but
// never flush it to disk.
//
// The files are generated (seeded) at start-up in a fresh directory under
// RAVELIN_BENCH_DIR (default $TMPDIR, else /tmp) and removed at the end. A
// directory on tmpfs (/dev/shm) makes fsync free and so shows the processor
// cost alone. Each run turns every "alpha" into "omega" or back, so every
// run rewrites every file and the sizes never change.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/regex.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"

namespace {

using RegexClass::RegularExpression;

struct FileSet {
  const char* name;
  std::string dir;
  std::vector<std::string> files;
  std::uint64_t bytes = 0;
  bool alpha = true;  // the word the files hold now
};

FileSet sets[2] = {{"2000 files of 12-28 KB", {}, {}, 0, true}, {"one file of 48 MB", {}, {}, 0, true}};
std::string root;

const char* kWords[] = {"lorem", "ipsum", "dolor",   "sit",    "amet",       "consectetur", "adipiscing", "elit",
                        "sed",   "do",    "eiusmod", "tempor", "incididunt", "ut",          "labore",     "et"};

// Text of about `size` bytes: lines of words with "alpha" about once in
// 25 words.
std::string Text(std::mt19937& rng, std::size_t size) {
  std::string out;
  out.reserve(size + 100);
  std::uniform_int_distribution<int> word(0, 24 * 16 - 1);
  int column = 0;
  while (out.size() < size) {
    const int w = word(rng);
    const std::string next = w < 16 ? "alpha" : kWords[w % 16];
    out += next;
    column += static_cast<int>(next.size()) + 1;
    if (column > 70) {
      out += '\n';
      column = 0;
    } else {
      out += ' ';
    }
  }
  out += '\n';
  return out;
}

void WriteFile(const std::string& path, const std::string& content) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(content.data(), 1, content.size(), f) != content.size()) std::abort();
  std::fclose(f);
}

void Generate() {
  const char* base = std::getenv("RAVELIN_BENCH_DIR");
  if (base == nullptr || *base == '\0') base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ravelin-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  root = pattern;
  std::mt19937 rng(20261207);
  std::uniform_int_distribution<std::size_t> smallSize(12 << 10, 28 << 10);
  for (int s = 0; s < 2; ++s) {
    FileSet& set = sets[s];
    set.dir = root + (s == 0 ? "/small" : "/large");
    mkdir(set.dir.c_str(), 0755);
    const int count = s == 0 ? 2000 : 1;
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/f%04d.txt", i);
      const std::string content = Text(rng, s == 0 ? smallSize(rng) : std::size_t{48} << 20);
      set.files.push_back(set.dir + name);
      WriteFile(set.files.back(), content);
      set.bytes += content.size();
    }
  }
}

void RemoveAll() {
  for (FileSet& set : sets) {
    for (const std::string& f : set.files) unlink(f.c_str());
    rmdir(set.dir.c_str());
  }
  rmdir(root.c_str());
}

FileSet& SetOf(const benchmark::State& state) { return sets[state.range(0)]; }
const char* From(const FileSet& set) { return set.alpha ? "alpha" : "omega"; }
const char* To(const FileSet& set) { return set.alpha ? "omega" : "alpha"; }

void Finish(benchmark::State& state) {
  const FileSet& set = SetOf(state);
  state.SetLabel(set.name);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.bytes));
  state.counters["files"] =
      benchmark::Counter(static_cast<double>(state.iterations() * set.files.size()), benchmark::Counter::kIsRate);
}

// ------------------------------------------------------------------ Ravelin

void BM_ChangeFiles(benchmark::State& state) {
  FileSet& set = SetOf(state);
  RegularExpression re;
  re.SetFilesToMatch(set.dir + "/*.txt");
  for (auto _ : state) {
    re.SetExpression(From(set));
    re.SetFormatString(To(set));
    const unsigned n = re.ChangeFiles();
    if (n == 0 || re.GetChangeFilesErrors() != nullptr) state.SkipWithError("ChangeFiles failed");
    set.alpha = !set.alpha;
  }
  Finish(state);
}

// ------------------------------------------------------------------ floor

// One file: read, replace, temporary file beside it, write, mode, fsync,
// rename. Nothing else.
bool BareRewrite(const std::string& path, const boost::regex& e, const std::string& format) {
  const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  fstat(in, &st);
  std::string content(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < content.size()) {
    const ssize_t n = read(in, &content[got], content.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(in);
  content.resize(got);
  std::string out;
  out.reserve(content.size() + content.size() / 8);
  const char* first = content.data();
  const char* last = first + content.size();
  const char* copied = first;
  for (boost::cregex_iterator it(first, last, e), end; it != end; ++it) {
    out.append(copied, (*it)[0].first);
    out += format;  // a plain word: no format syntax to expand
    copied = (*it)[0].second;
  }
  out.append(copied, last);
  std::string temp = path.substr(0, path.rfind('/')) + "/.bare-XXXXXX";
  const int fd = mkstemp(&temp[0]);
  if (fd < 0) return false;
  bool ok = write(fd, out.data(), out.size()) == static_cast<ssize_t>(out.size());
  ok = ok && fchmod(fd, st.st_mode & 07777) == 0 && fsync(fd) == 0;
  close(fd);
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

void BM_BareLoop(benchmark::State& state) {
  FileSet& set = SetOf(state);
  for (auto _ : state) {
    const boost::regex e(From(set));
    const std::string format = To(set);
    for (const std::string& file : set.files) {
      if (!BareRewrite(file, e, format)) state.SkipWithError("rewrite failed");
    }
    set.alpha = !set.alpha;
  }
  Finish(state);
}

// ------------------------------------------------------------------ side by side

// ChangeFiles and the bare loop in turns within each iteration, so that both
// see the same disk weather (fsync latency on a shared disk drifts from one
// minute to the next). Counters: milliseconds per pass of each, and their
// ratio.
void BM_SideBySide(benchmark::State& state) {
  FileSet& set = SetOf(state);
  RegularExpression re;
  re.SetFilesToMatch(set.dir + "/*.txt");
  double ravelinSeconds = 0, bareSeconds = 0;
  auto ravelin = [&] {
    const auto start = std::chrono::steady_clock::now();
    re.SetExpression(From(set));
    re.SetFormatString(To(set));
    if (re.ChangeFiles() == 0 || re.GetChangeFilesErrors() != nullptr) state.SkipWithError("ChangeFiles failed");
    set.alpha = !set.alpha;
    ravelinSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  auto bare = [&] {
    const auto start = std::chrono::steady_clock::now();
    const boost::regex e(From(set));
    const std::string format = To(set);
    for (const std::string& file : set.files) {
      if (!BareRewrite(file, e, format)) state.SkipWithError("rewrite failed");
    }
    set.alpha = !set.alpha;
    bareSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  bool ravelinFirst = true;  // the order alternates: each goes first half the time
  for (auto _ : state) {
    if (ravelinFirst) {
      ravelin();
      bare();
    } else {
      bare();
      ravelin();
    }
    ravelinFirst = !ravelinFirst;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ravelin_ms"] = 1000 * ravelinSeconds / n;
  state.counters["bare_ms"] = 1000 * bareSeconds / n;
  state.counters["ratio"] = ravelinSeconds / bareSeconds;
  state.SetLabel(set.name);
}

// ------------------------------------------------------------------ tools

void RunTool(benchmark::State& state, const char* tool) {
  FileSet& set = SetOf(state);
  for (auto _ : state) {
    const std::string command =
        "cd " + set.dir + " && LC_ALL=C " + tool + " 's/" + From(set) + "/" + To(set) + "/g' *.txt";
    if (std::system(command.c_str()) != 0) state.SkipWithError(tool);
    set.alpha = !set.alpha;
  }
  Finish(state);
}

void BM_SedInPlace(benchmark::State& state) { RunTool(state, "sed -i -E"); }
void BM_PerlInPlace(benchmark::State& state) { RunTool(state, "perl -pi -e"); }

void Register() {
  for (auto* b : {benchmark::RegisterBenchmark("BM_ChangeFiles", BM_ChangeFiles),
                  benchmark::RegisterBenchmark("BM_BareLoop", BM_BareLoop),
                  benchmark::RegisterBenchmark("BM_SedInPlace", BM_SedInPlace),
                  benchmark::RegisterBenchmark("BM_PerlInPlace", BM_PerlInPlace),
                  benchmark::RegisterBenchmark("BM_SideBySide", BM_SideBySide)}) {
    b->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Generate();
  Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RemoveAll();
  return 0;
}
