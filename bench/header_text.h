// The subject the string benchmarks share: the .h files under /usr/include,
// read in name order and concatenated (repeated if need be) to size bytes.
#ifndef RAVELIN_BENCH_HEADER_TEXT_H
#define RAVELIN_BENCH_HEADER_TEXT_H

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ravelin_bench {

inline std::string HeaderText(std::size_t size) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it("/usr/include", ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && it->path().extension() == ".h") files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  std::string all;
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    all += s.str();
    if (all.size() >= size) break;
  }
  if (all.empty()) all = "int main(void) { return 0; }\n#define X 1\n";
  std::string out;
  out.reserve(size);
  while (out.size() < size) out.append(all, 0, std::min(all.size(), size - out.size()));
  return out;
}

}  // namespace ravelin_bench

#endif  // RAVELIN_BENCH_HEADER_TEXT_H
