#include "diff.h"

#include <algorithm>

namespace ravelin_cli {
namespace {

constexpr std::size_t kContext = 3;

// The name of a diff header as git writes it: as it is, unless it holds a
// control character, a quote or a backslash; then in double quotes with C
// escapes (\t, \n, \", \\, octal for the rest), which patch reads back.
std::string HeaderName(const std::string& prefix, const std::string& name) {
  std::string path = prefix + name;
  const bool plain = std::none_of(path.begin(), path.end(), [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f || c == '"' || c == '\\';
  });
  if (plain) return path;
  std::string out = "\"";
  for (char c : path) {
    const unsigned char u = static_cast<unsigned char>(c);
    const char* named = nullptr;
    switch (c) {
      case '\a':
        named = "\\a";
        break;
      case '\b':
        named = "\\b";
        break;
      case '\t':
        named = "\\t";
        break;
      case '\n':
        named = "\\n";
        break;
      case '\v':
        named = "\\v";
        break;
      case '\f':
        named = "\\f";
        break;
      case '\r':
        named = "\\r";
        break;
      case '"':
        named = "\\\"";
        break;
      case '\\':
        named = "\\\\";
        break;
      default:
        break;
    }
    if (named != nullptr) {
      out += named;
    } else if (u < 0x20 || u == 0x7f) {
      out += '\\';
      out += static_cast<char>('0' + ((u >> 6) & 7));
      out += static_cast<char>('0' + ((u >> 3) & 7));
      out += static_cast<char>('0' + (u & 7));
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

class Lines {
 public:
  explicit Lines(const std::string& text) : text_(text) {
    for (std::uint64_t at = 0; at < text.size();) {
      starts_.push_back(at);
      const std::size_t nl = text.find('\n', at);
      at = nl == std::string::npos ? text.size() : nl + 1;
    }
  }
  std::size_t Count() const { return starts_.size(); }
  // The line holding byte pos; Count() for the end of a text whose last
  // line is complete.
  std::size_t LineOf(std::uint64_t pos) const {
    if (pos >= text_.size()) return text_.empty() || text_.back() == '\n' ? Count() : Count() - 1;
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), pos) - starts_.begin()) - 1;
  }
  // Line k with its newline, if it has one.
  std::string Line(std::size_t k) const {
    const std::uint64_t end = k + 1 < Count() ? starts_[k + 1] : text_.size();
    return text_.substr(starts_[k], end - starts_[k]);
  }

 private:
  const std::string& text_;
  std::vector<std::uint64_t> starts_;
};

// Lines [oldFirst, oldEnd) became lines [newFirst, newEnd).
struct Region {
  std::size_t oldFirst, oldEnd, newFirst, newEnd;
};

bool EditsAccountFor(const std::string& oldText, const std::string& newText, const std::vector<Edit>& edits) {
  std::uint64_t oldAt = 0, newAt = 0;
  for (const Edit& e : edits) {
    if (e.position < oldAt || e.position + e.length > oldText.size()) return false;
    const std::uint64_t same = e.position - oldAt;
    if (newAt + same + e.replacementLength > newText.size()) return false;
    if (newText.compare(newAt, same, oldText, oldAt, same) != 0) return false;
    oldAt = e.position + e.length;
    newAt += same + e.replacementLength;
  }
  const std::uint64_t tail = oldText.size() - oldAt;
  return newText.size() - newAt == tail && newText.compare(newAt, tail, oldText, oldAt, tail) == 0;
}

void PutLine(std::string& out, char mark, const std::string& line) {
  out += mark;
  out += line;
  if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

std::string Range(std::size_t first, std::size_t count) {
  // diff -u: 1-based; an empty range names the line before it.
  std::string r = std::to_string(count == 0 ? first : first + 1);
  if (count != 1) r += "," + std::to_string(count);
  return r;
}

}  // namespace

std::string UnifiedDiff(const std::string& name, const std::string& oldText, const std::string& newText,
                        std::vector<Edit> edits) {
  if (oldText == newText) return std::string();
  if (!EditsAccountFor(oldText, newText, edits)) {
    std::size_t prefix = 0;
    while (prefix < oldText.size() && prefix < newText.size() && oldText[prefix] == newText[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < oldText.size() - prefix && suffix < newText.size() - prefix &&
           oldText[oldText.size() - 1 - suffix] == newText[newText.size() - 1 - suffix])
      ++suffix;
    edits.assign(1, Edit{prefix, oldText.size() - prefix - suffix, newText.size() - prefix - suffix});
  }
  const Lines oldLines(oldText), newLines(newText);

  // Each edit as whole lines of both texts; edits that share a line are one
  // region.
  std::vector<Region> regions;
  std::int64_t shift = 0;  // new position - old position, after the edits so far
  for (const Edit& e : edits) {
    if (e.length == 0 && e.replacementLength == 0) continue;
    const std::uint64_t newPos = static_cast<std::uint64_t>(static_cast<std::int64_t>(e.position) + shift);
    const std::uint64_t oldEndPos = e.position + e.length;
    const std::uint64_t newEndPos = newPos + e.replacementLength;
    shift += static_cast<std::int64_t>(e.replacementLength) - static_cast<std::int64_t>(e.length);
    Region r;
    r.oldFirst = oldLines.LineOf(e.position);
    r.newFirst = newLines.LineOf(newPos);
    r.oldEnd = oldEndPos >= oldText.size() ? oldLines.Count() : oldLines.LineOf(oldEndPos) + 1;
    r.newEnd = newEndPos >= newText.size() ? newLines.Count() : newLines.LineOf(newEndPos) + 1;
    if (!regions.empty() && (r.oldFirst < regions.back().oldEnd || r.newFirst < regions.back().newEnd)) {
      regions.back().oldEnd = std::max(regions.back().oldEnd, r.oldEnd);
      regions.back().newEnd = std::max(regions.back().newEnd, r.newEnd);
    } else {
      regions.push_back(r);
    }
  }
  // Lines a region holds on both sides alike are context.
  std::vector<Region> trimmed;
  for (Region r : regions) {
    while (r.oldFirst < r.oldEnd && r.newFirst < r.newEnd && oldLines.Line(r.oldFirst) == newLines.Line(r.newFirst)) {
      ++r.oldFirst;
      ++r.newFirst;
    }
    while (r.oldEnd > r.oldFirst && r.newEnd > r.newFirst &&
           oldLines.Line(r.oldEnd - 1) == newLines.Line(r.newEnd - 1)) {
      --r.oldEnd;
      --r.newEnd;
    }
    if (r.oldFirst != r.oldEnd || r.newFirst != r.newEnd) trimmed.push_back(r);
  }
  if (trimmed.empty()) return std::string();

  std::string out = "--- " + HeaderName("a/", name) + "\n+++ " + HeaderName("b/", name) + "\n";
  for (std::size_t k = 0; k < trimmed.size();) {
    std::size_t last = k;
    while (last + 1 < trimmed.size() && trimmed[last + 1].oldFirst - trimmed[last].oldEnd <= 2 * kContext) ++last;
    const std::size_t oldStart = trimmed[k].oldFirst >= kContext ? trimmed[k].oldFirst - kContext : 0;
    const std::size_t oldStop = std::min(oldLines.Count(), trimmed[last].oldEnd + kContext);
    const std::size_t newStart = trimmed[k].newFirst - (trimmed[k].oldFirst - oldStart);
    const std::size_t newStop = trimmed[last].newEnd + (oldStop - trimmed[last].oldEnd);
    out += "@@ -" + Range(oldStart, oldStop - oldStart) + " +" + Range(newStart, newStop - newStart) + " @@\n";
    std::size_t at = oldStart;
    for (std::size_t j = k; j <= last; ++j) {
      for (; at < trimmed[j].oldFirst; ++at) PutLine(out, ' ', oldLines.Line(at));
      for (std::size_t l = trimmed[j].oldFirst; l < trimmed[j].oldEnd; ++l) PutLine(out, '-', oldLines.Line(l));
      for (std::size_t l = trimmed[j].newFirst; l < trimmed[j].newEnd; ++l) PutLine(out, '+', newLines.Line(l));
      at = trimmed[j].oldEnd;
    }
    for (; at < oldStop; ++at) PutLine(out, ' ', oldLines.Line(at));
    k = last + 1;
  }
  return out;
}

}  // namespace ravelin_cli
