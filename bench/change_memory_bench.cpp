// Peak memory of ChangeFiles against the number of matches. Each case runs
// in a child process of its own, so the child's peak resident size
// (getrusage) is the run's alone: a file of the given size where the
// expression matches every byte, every tenth byte or once. The figure to
// watch is the peak over the file's size: it must stay a few MB whatever the
// count of matches.
//
//   build/bench/change_memory_bench [MiB...]      (default: 10 100)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"

namespace {

struct Case {
  const char* name;
  const char* expression;
};

// Peak resident size of a child running fn, in KiB.
template <class Fn>
long PeakKiB(Fn fn) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) _exit(fn() ? 0 : 1);
  int status = 0;
  struct rusage usage = {};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {10, 100};
  const char* base = std::getenv("RAVELIN_BENCH_DIR");
  std::string dir = std::string(base != nullptr ? base : "/tmp") + "/ravelin-memory-XXXXXX";
  if (mkdtemp(&dir[0]) == nullptr) return 2;
  const std::string file = dir + "/data.txt";
  const Case cases[] = {{"every byte", "[a-z0-9\\n]"}, {"every 10th byte", "[0-9]"}, {"one match", "\\`a"}};

  // The process itself, before any file: what every child starts with.
  const long floor = PeakKiB([] { return true; });
  std::printf("%-10s %-16s %12s %12s %14s\n", "file", "matches", "peak MiB", "file MiB", "peak - file");
  for (long mib : sizes) {
    for (const Case& c : cases) {
      {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        std::string line;
        for (int i = 0; i < 9; ++i) line += "abcdefghi" + std::to_string(i % 10);
        line.back() = '\n';
        for (long written = 0; written < mib << 20; written += static_cast<long>(line.size())) out << line;
      }
      unsigned matches = 0;
      const long peak = PeakKiB([&] {
        RegexClass::RegularExpression re;
        re.SetExpression(c.expression);
        re.SetFormatString("$&");
        re.SetFilesToMatch(file);
        matches = re.ChangeFiles();
        std::printf("%-10s %-16s ", (std::to_string(mib) + " MiB").c_str(), (std::to_string(matches)).c_str());
        std::fflush(stdout);
        return re.GetChangeFilesErrors() == nullptr;
      });
      if (peak < 0) {
        std::printf("run failed (%s)\n", c.name);
        continue;
      }
      std::printf("%12.1f %12ld %14.1f   (%s)\n", peak / 1024.0, mib, (peak - floor) / 1024.0 - mib, c.name);
    }
  }
  std::remove(file.c_str());
  rmdir(dir.c_str());
  return 0;
}
