// GrepFiles against GNU grep: on a real tree, copied at test time, both must
// report the same matches (file, line, byte offset, text) for patterns that
// mean the same to both engines; and the same walk searched ahead on worker
// threads must report exactly what one thread reports, in the same order.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using ravelin_test::TempDir;

namespace {

struct Hit {
  std::string file;
  unsigned line;
  std::int64_t offset;
  std::string text;
  bool operator<(const Hit& o) const {
    return std::tie(file, offset, line, text) < std::tie(o.file, o.offset, o.line, o.text);
  }
  bool operator==(const Hit& o) const {
    return file == o.file && line == o.line && offset == o.offset && text == o.text;
  }
};

std::ostream& operator<<(std::ostream& os, const Hit& h) {
  return os << h.file << ":" << h.line << ":" << h.offset << ":" << h.text;
}

// Copies the regular files and directories below from (links and special
// files are left out: grep -r passes links by) until about budget bytes.
void CopyTree(const std::string& from, const std::string& to, const TempDir& dir, std::size_t* budget) {
  for (const std::string& name : ravelin_test::ListDir(from)) {
    if (*budget == 0) return;
    const std::string source = from + "/" + name;
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      CopyTree(source, to + "/" + name, dir, budget);
    } else if (S_ISREG(st.st_mode)) {
      const std::string content = ravelin_test::ReadFile(source);
      dir.Write(to + "/" + name, content);
      *budget = content.size() >= *budget ? 0 : *budget - content.size();
    }
  }
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// grep -r -n -b -o, one record per match: file NUL line ':' offset ':' text.
std::vector<Hit> GrepHits(const std::string& pattern, bool icase, const std::string& tree) {
  const std::string command = "LC_ALL=C grep -r -a -n -b -o -Z -E " + std::string(icase ? "-i " : "") + "-e " +
                              Quote(pattern) + " -- " + Quote(tree) + " 2>/dev/null";
  std::vector<Hit> hits;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return hits;
  std::string out;
  char buf[65536];
  std::size_t got;
  while ((got = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, got);
  pclose(pipe);
  std::size_t at = 0;
  while (at < out.size()) {
    const std::size_t nul = out.find('\0', at);
    const std::size_t colon1 = out.find(':', nul);
    const std::size_t colon2 = out.find(':', colon1 + 1);
    const std::size_t end = out.find('\n', colon2);
    if (nul == std::string::npos || colon1 == std::string::npos || colon2 == std::string::npos ||
        end == std::string::npos) {
      ADD_FAILURE() << "unexpected grep output at " << at;
      break;
    }
    hits.push_back(
        Hit{out.substr(at, nul - at), static_cast<unsigned>(std::stoul(out.substr(nul + 1, colon1 - nul - 1))),
            std::stoll(out.substr(colon1 + 1, colon2 - colon1 - 1)), out.substr(colon2 + 1, end - colon2 - 1)});
    at = end + 1;
  }
  return hits;
}

std::vector<Hit>* collected;
std::size_t stopAfter;
void Collect(RegularExpression&, std::string file, const REMatchInfo& m, unsigned line, bool& goOn) {
  collected->push_back(Hit{file, line, m[0].position, m[0].text});
  goOn = collected->size() != stopAfter;
}
std::vector<std::string>* found;
void CollectFile(RegularExpression&, std::string file, bool&) { found->push_back(file); }

// Every match in walk order, searched on `threads` threads; the whole run is
// also checked against FindFiles and a count without a handler.
std::vector<Hit> OurHits(const std::string& pattern, bool icase, const std::string& tree, unsigned threads = 1,
                         std::size_t stop = 0) {
  std::vector<Hit> hits;
  collected = &hits;
  stopAfter = stop;
  RegularExpression re;
  re.SetExpression(pattern);
  if (icase) re.AddExpressionOption(RegularExpression::Icase);
  re.SetFilesToMatch(tree);
  re.SetDirectoryRecursion(true);
  re.SetFileThreads(threads);
  re.SetOnGreppingFiles(&Collect);
  const unsigned count = re.GrepFiles();
  EXPECT_EQ(count, hits.size());
  if (stop != 0) return hits;
  re.SetOnGreppingFiles(nullptr);
  EXPECT_EQ(re.GrepFiles(), count) << pattern << " counted on " << threads << " threads";
  std::vector<std::string> files;
  found = &files;
  re.SetOnFindFiles(&CollectFile);
  const unsigned filesFound = re.FindFiles();
  EXPECT_EQ(filesFound, files.size());
  std::vector<std::string> expected;
  for (const Hit& h : hits) {
    if (expected.empty() || expected.back() != h.file) expected.push_back(h.file);
  }
  EXPECT_EQ(files, expected) << pattern << " found on " << threads << " threads";
  return hits;
}

}  // namespace

TEST(FileWalkVersusGrep, SameMatchesOnACopiedTree) {
  ASSERT_EQ(std::system("grep --version >/dev/null 2>&1"), 0) << "grep is the reference";
  TempDir dir;
  const std::string tree = dir.Join("tree");
  std::size_t budget = std::size_t{1200} * 1024;
  CopyTree("/usr/include/boost/regex", "tree/boost", dir, &budget);
  budget += std::size_t{400} * 1024;
  CopyTree(std::string(RAVELIN_TEST_SOURCE_DIR) + "/src", "tree/ours", dir, &budget);
  // Files whose ends and bytes the walk must get right.
  dir.Write("tree/gen/no newline.txt", "const int x = 42;\nconst FOO_BAR 7");
  dir.Write("tree/gen/crlf.txt", "alpha_beta(1)\r\nGAMMA_DELTA 22\r\n");
  dir.Write("tree/gen/nul.bin", std::string("BINARY_DATA\0\0 77 const\0", 23));
  dir.Write("tree/gen/empty.txt", "");
  dir.Write("tree/gen/.hidden/deep/x.h", "template <class T> const T CONST_VALUE = 12345;\n");
  // More matches than a worker keeps for one batch: searched again by the
  // calling thread.
  std::string digits;
  for (int i = 0; i < 70000; ++i) digits += std::to_string(i % 10) + "\n";
  dir.Write("tree/gen/digits.txt", digits);

  struct Pattern {
    const char* text;
    bool icase;
  };
  const Pattern patterns[] = {
      {"[A-Z][A-Z_]{3,}", false}, {"boost::[a-z_]+", false}, {"[0-9]+", false},           {"template *<", false},
      {"regex_[a-z]+", true},     {"\\bconst\\b", false},    {"[a-z]+_[a-z]+\\(", false},
  };
  for (const Pattern& p : patterns) {
    std::vector<Hit> theirs = GrepHits(p.text, p.icase, tree);
    std::vector<Hit> ours = OurHits(p.text, p.icase, tree);
    // Searching ahead on worker threads changes nothing, stopping included.
    EXPECT_EQ(OurHits(p.text, p.icase, tree, 3), ours) << p.text;
    if (ours.size() > 10) {
      EXPECT_EQ(OurHits(p.text, p.icase, tree, 3, ours.size() / 2),
                std::vector<Hit>(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(ours.size() / 2)))
          << p.text;
    }
    ASSERT_FALSE(theirs.empty()) << p.text;
    std::sort(theirs.begin(), theirs.end());
    std::sort(ours.begin(), ours.end());
    EXPECT_EQ(ours.size(), theirs.size()) << p.text;
    const auto diff = std::mismatch(ours.begin(), ours.end(), theirs.begin(), theirs.end());
    if (diff.first != ours.end() || diff.second != theirs.end()) {
      ADD_FAILURE() << p.text << ": first difference: ours "
                    << (diff.first != ours.end() ? ::testing::PrintToString(*diff.first) : "(none)") << " grep "
                    << (diff.second != theirs.end() ? ::testing::PrintToString(*diff.second) : "(none)");
    }
  }
}
