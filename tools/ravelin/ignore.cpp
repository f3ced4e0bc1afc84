#include "ignore.h"

#include <cctype>
#include <cstring>
#include <utility>

namespace ravelin_cli {
namespace {

// [:name:] inside a set; false for an unknown name.
bool InClass(const std::string& name, unsigned char c, bool& known) {
  known = true;
  if (name == "alnum") return std::isalnum(c) != 0;
  if (name == "alpha") return std::isalpha(c) != 0;
  if (name == "blank") return c == ' ' || c == '\t';
  if (name == "cntrl") return std::iscntrl(c) != 0;
  if (name == "digit") return std::isdigit(c) != 0;
  if (name == "graph") return std::isgraph(c) != 0;
  if (name == "lower") return std::islower(c) != 0;
  if (name == "print") return std::isprint(c) != 0;
  if (name == "punct") return std::ispunct(c) != 0;
  if (name == "space") return std::isspace(c) != 0;
  if (name == "upper") return std::isupper(c) != 0;
  if (name == "xdigit") return std::isxdigit(c) != 0;
  known = false;
  return false;
}

// Matches the set starting at pattern[p] == '[' against c. Sets p past the
// set; false in ok when the set is not closed (then '[' is a plain character).
bool MatchSet(const std::string& pattern, std::size_t& p, unsigned char c, bool& ok) {
  std::size_t k = p + 1;
  bool negate = false;
  if (k < pattern.size() && (pattern[k] == '!' || pattern[k] == '^')) {
    negate = true;
    ++k;
  }
  bool matched = false;
  bool first = true;
  while (k < pattern.size() && (first || pattern[k] != ']')) {
    first = false;
    if (pattern[k] == '[' && k + 1 < pattern.size() && pattern[k + 1] == ':') {
      const std::size_t close = pattern.find(":]", k + 2);
      if (close != std::string::npos) {
        bool known = false;
        if (InClass(pattern.substr(k + 2, close - k - 2), c, known)) matched = true;
        if (known) {
          k = close + 2;
          continue;
        }
      }
    }
    unsigned char low = static_cast<unsigned char>(pattern[k]);
    if (low == '\\' && k + 1 < pattern.size()) low = static_cast<unsigned char>(pattern[++k]);
    ++k;
    unsigned char high = low;
    if (k + 1 < pattern.size() && pattern[k] == '-' && pattern[k + 1] != ']') {
      high = static_cast<unsigned char>(pattern[k + 1]);
      k += 2;
      if (high == '\\' && k < pattern.size()) high = static_cast<unsigned char>(pattern[k++]);
    }
    if (low <= c && c <= high) matched = true;
  }
  if (k >= pattern.size()) {
    ok = false;
    return false;
  }
  ok = true;
  p = k + 1;
  return matched != negate;
}

bool MatchFrom(const std::string& pat, std::size_t p, const std::string& text, std::size_t t) {
  while (p < pat.size()) {
    const char c = pat[p];
    if (c == '*') {
      const bool atStart = p == 0 || pat[p - 1] == '/';
      if (p + 1 < pat.size() && pat[p + 1] == '*' && atStart && (p + 2 == pat.size() || pat[p + 2] == '/')) {
        if (p + 2 == pat.size()) return true;  // "a/**": everything below
        // "**/": no component, or any number of whole ones.
        if (MatchFrom(pat, p + 3, text, t)) return true;
        for (std::size_t k = t; k < text.size(); ++k)
          if (text[k] == '/' && MatchFrom(pat, p + 3, text, k + 1)) return true;
        return false;
      }
      while (p < pat.size() && pat[p] == '*') ++p;
      if (p == pat.size()) return text.find('/', t) == std::string::npos;
      for (std::size_t k = t;; ++k) {
        if (MatchFrom(pat, p, text, k)) return true;
        if (k == text.size() || text[k] == '/') return false;
      }
    }
    if (t == text.size()) return false;
    if (c == '?') {
      if (text[t] == '/') return false;
      ++p;
      ++t;
      continue;
    }
    if (c == '[') {
      bool ok = false;
      std::size_t q = p;
      const bool in = text[t] != '/' && MatchSet(pat, q, static_cast<unsigned char>(text[t]), ok);
      if (ok) {
        if (!in) return false;
        p = q;
        ++t;
        continue;
      }
      // An unclosed '[' is itself.
    }
    char want = c;
    if (c == '\\') {
      if (p + 1 == pat.size()) return false;  // a trailing backslash matches nothing
      want = pat[++p];
    }
    if (text[t] != want) return false;
    ++p;
    ++t;
  }
  return t == text.size();
}

IgnorePattern ParseLine(std::string line, bool& valid) {
  IgnorePattern pattern;
  valid = false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty() || line[0] == '#') return pattern;
  // Trailing blanks go, unless escaped.
  std::size_t end = line.size();
  while (end > 0 && line[end - 1] == ' ') {
    std::size_t slashes = 0;
    while (end - 1 >= slashes + 1 && line[end - 2 - slashes] == '\\') ++slashes;
    if (slashes % 2 == 1) break;
    --end;
  }
  line.erase(end);
  if (line.empty()) return pattern;
  if (line[0] == '!') {
    pattern.negated = true;
    line.erase(0, 1);
  }
  if (line.size() > 1 && line.back() == '/') {
    pattern.directoryOnly = true;
    while (line.size() > 1 && line.back() == '/') line.pop_back();
  }
  const std::size_t slash = line.find('/');
  if (slash != std::string::npos) {
    pattern.anchored = true;
    if (slash == 0) line.erase(0, 1);
  }
  if (line.empty()) return pattern;
  pattern.glob = std::move(line);
  valid = true;
  return pattern;
}

// Whether one pattern matches a path relative to its base.
bool PatternMatches(const IgnorePattern& p, const std::string& relative, bool isDirectory) {
  if (p.directoryOnly && !isDirectory) return false;
  if (p.anchored) return WildcardMatch(p.glob, relative);
  const std::size_t slash = relative.rfind('/');
  return WildcardMatch(p.glob, slash == std::string::npos ? relative : relative.substr(slash + 1));
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& text) { return MatchFrom(pattern, 0, text, 0); }

std::vector<IgnorePattern> ParseIgnoreText(const std::string& text) {
  std::vector<IgnorePattern> patterns;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    bool valid = false;
    IgnorePattern p = ParseLine(text.substr(start, end - start), valid);
    if (valid) patterns.push_back(std::move(p));
    start = end + 1;
  }
  return patterns;
}

IgnoreFile::IgnoreFile(std::string base, const std::string& text)
    : base_(std::move(base)), patterns_(ParseIgnoreText(text)) {
  while (!base_.empty() && base_.back() == '/') base_.pop_back();
}

Verdict IgnoreFile::Judge(const std::string& path, bool isDirectory) const {
  if (path.size() <= base_.size() + 1 || path.compare(0, base_.size(), base_) != 0 || path[base_.size()] != '/')
    return Verdict::kNone;
  const std::string relative = path.substr(base_.size() + 1);
  for (auto it = patterns_.rbegin(); it != patterns_.rend(); ++it)
    if (PatternMatches(*it, relative, isDirectory)) return it->negated ? Verdict::kKeep : Verdict::kIgnore;
  return Verdict::kNone;
}

void IgnoreRules::Add(Kind kind, IgnoreFile file) {
  if (!file.Empty()) files_.push_back(Entry{kind, std::move(file)});
}

bool IgnoreRules::Ignored(const std::string& path, bool isDirectory) const {
  for (int kind = kDotIgnore; kind <= kGitExclude; ++kind) {
    const std::size_t floor = kind == kDotIgnore ? 0 : gitFloor_;
    for (auto it = files_.rbegin(); it != files_.rend() - static_cast<std::ptrdiff_t>(floor); ++it) {
      if (it->kind != kind) continue;
      const Verdict v = it->file.Judge(path, isDirectory);
      if (v != Verdict::kNone) return v == Verdict::kIgnore;
    }
  }
  return false;
}

GlobFilter::GlobFilter(const std::vector<std::string>& globs) {
  for (const std::string& g : globs) {
    bool valid = false;
    // A glob says what to keep; "!" what to leave out: the reverse of an
    // ignore line.
    IgnorePattern p = ParseLine(g, valid);
    if (!valid) continue;
    p.negated = !p.negated;
    if (p.negated) anyInclude_ = true;
    patterns_.push_back(std::move(p));
  }
}

Verdict GlobFilter::Judge(const std::string& path, bool isDirectory) const {
  for (auto it = patterns_.rbegin(); it != patterns_.rend(); ++it) {
    if (isDirectory && it->negated) continue;  // a GLOB to keep never leaves a directory out
    if (PatternMatches(*it, path, isDirectory)) return it->negated ? Verdict::kKeep : Verdict::kIgnore;
  }
  return !isDirectory && anyInclude_ ? Verdict::kIgnore : Verdict::kNone;
}

}  // namespace ravelin_cli
