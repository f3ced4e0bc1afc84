#include "lines.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace ravelin_cli {
namespace {

// grep's default colours (GREP_COLORS ms=01;31:fn=35:ln=32:bn=32:se=36).
const char kMatchColor[] = "01;31";
const char kFileColor[] = "35";
const char kNumberColor[] = "32";
const char kSeparatorColor[] = "36";

}  // namespace

void LineView::Colored(const char* sgr, std::string_view text) {
  if (!look_.color) {
    out_.Write(text);
    return;
  }
  out_.Write(std::string("\33[") + sgr + "m\33[K");
  out_.Write(text);
  out_.Write("\33[m\33[K");
}

void LineView::Separator(char c) { Colored(kSeparatorColor, std::string_view(&c, 1)); }

void LineView::Prefix(const std::string& name, std::size_t line, std::uint64_t offset, char separator) {
  if (look_.fileNames) {
    Colored(kFileColor, name);
    Separator(separator);
  }
  char digits[24];
  if (look_.lineNumbers) {
    const auto done = std::to_chars(digits, digits + sizeof digits, line + 1);
    Colored(kNumberColor, std::string_view(digits, static_cast<std::size_t>(done.ptr - digits)));
    Separator(separator);
  }
  if (look_.byteOffsets) {
    const auto done = std::to_chars(digits, digits + sizeof digits, offset);
    Colored(kNumberColor, std::string_view(digits, static_cast<std::size_t>(done.ptr - digits)));
    Separator(separator);
  }
}

// The bytes [start, end) of a line, with the parts that matches cover
// coloured. cursor: the first hit that may reach into this line; lines come
// in ascending order, so it only moves forward.
void LineView::Body(std::string_view bytes, std::uint64_t start, std::uint64_t end, const std::vector<Hit>& hits,
                    std::size_t& cursor) {
  if (!look_.color) {
    out_.Write(bytes.substr(start, end - start));
    return;
  }
  while (cursor < hits.size() && hits[cursor].position + hits[cursor].length <= start &&
         !(hits[cursor].length == 0 && hits[cursor].position >= start))
    ++cursor;
  std::uint64_t at = start;
  for (std::size_t k = cursor; k < hits.size() && hits[k].position < end; ++k) {
    if (hits[k].length == 0) continue;
    const std::uint64_t from = std::max(hits[k].position, at);
    const std::uint64_t to = std::min(hits[k].position + hits[k].length, end);
    if (from >= to) continue;
    out_.Write(bytes.substr(at, from - at));
    Colored(kMatchColor, bytes.substr(from, to - from));
    at = to;
  }
  out_.Write(bytes.substr(at, end - at));
}

namespace {

// One line of a file: its number (from 0) and its bytes [start, end), the
// newline after them not counted.
struct LineSpan {
  std::size_t number = 0;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

// Finds lines by stepping from one known line to its neighbours, so that a
// file is only scanned around its matches. A last line without a newline is
// a line; nothing after a final newline is.
class LineStepper {
 public:
  explicit LineStepper(std::string_view bytes) : bytes_(bytes) {}

  // The line numbered number that holds the byte at pos (pos < size).
  LineSpan Around(std::size_t number, std::uint64_t pos) const {
    LineSpan line;
    line.number = number;
    const void* before = pos == 0 ? nullptr : memrchr(bytes_.data(), '\n', pos);
    line.start =
        before == nullptr ? 0 : static_cast<std::uint64_t>(static_cast<const char*>(before) - bytes_.data()) + 1;
    line.end = EndFrom(pos);
    return line;
  }
  bool Next(const LineSpan& line, LineSpan* next) const {
    if (line.end + 1 >= bytes_.size()) return false;
    next->number = line.number + 1;
    next->start = line.end + 1;
    next->end = EndFrom(next->start);
    return true;
  }
  bool Previous(const LineSpan& line, LineSpan* previous) const {
    if (line.start == 0) return false;
    const std::uint64_t end = line.start - 1;  // its newline
    *previous = Around(line.number - 1, end);
    return true;
  }

 private:
  std::uint64_t EndFrom(std::uint64_t pos) const {
    const void* nl = std::memchr(bytes_.data() + pos, '\n', bytes_.size() - pos);
    return nl == nullptr ? bytes_.size() : static_cast<std::uint64_t>(static_cast<const char*>(nl) - bytes_.data());
  }

  std::string_view bytes_;
};

// The lines the matches touch, in order, each once; at most limit of them
// (-1: no limit). A match that spans lines touches each of them; an empty
// match after the last newline touches none.
std::vector<LineSpan> MatchedLines(std::string_view bytes, const std::vector<Hit>& hits, long limit) {
  const LineStepper lines(bytes);
  std::vector<LineSpan> matched;
  const auto take = [&](const LineSpan& line) {
    if (!matched.empty() && matched.back().number >= line.number) return true;
    if (limit >= 0 && matched.size() >= static_cast<std::size_t>(limit)) return false;
    matched.push_back(line);
    return true;
  };
  for (const Hit& h : hits) {
    if (h.position >= bytes.size() && (bytes.empty() || bytes.back() == '\n')) continue;
    const std::uint64_t pos = std::min<std::uint64_t>(h.position, bytes.size() - 1);
    const std::uint64_t last =
        h.length == 0 ? pos : std::min<std::uint64_t>(h.position + h.length - 1, bytes.size() - 1);
    LineSpan line = lines.Around(h.line - 1, pos);
    if (!take(line)) break;
    while (line.end < last && lines.Next(line, &line))
      if (!take(line)) return matched;
  }
  return matched;
}

// -v: the lines no match touches, at most limit of them.
std::vector<LineSpan> OtherLines(std::string_view bytes, const std::vector<Hit>& hits, long limit) {
  const std::vector<LineSpan> matched = MatchedLines(bytes, hits, -1);
  const LineStepper lines(bytes);
  std::vector<LineSpan> other;
  if (bytes.empty()) return other;
  LineSpan line = lines.Around(0, 0);
  std::size_t m = 0;
  do {
    while (m < matched.size() && matched[m].number < line.number) ++m;
    if (m < matched.size() && matched[m].number == line.number) continue;
    if (limit >= 0 && other.size() >= static_cast<std::size_t>(limit)) break;
    other.push_back(line);
  } while (lines.Next(line, &line));
  return other;
}

}  // namespace

std::uint64_t DecidedPart(std::string_view bytes, const std::vector<Hit>& hits) {
  if (hits.empty()) return 0;
  // The last byte of the last match, or the byte an empty match stands before.
  const Hit& h = hits.back();
  const std::uint64_t last = h.length > 0 ? h.position + h.length - 1 : h.position;
  if (last >= bytes.size()) return bytes.size();
  const void* nl = std::memchr(bytes.data() + last, '\n', bytes.size() - last);
  return nl == nullptr ? bytes.size() : static_cast<std::uint64_t>(static_cast<const char*>(nl) - bytes.data()) + 1;
}

std::size_t LineCount(std::string_view bytes) {
  const std::size_t newlines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  return newlines + (!bytes.empty() && bytes.back() != '\n' ? 1 : 0);
}

unsigned long LineView::File(const std::string& name, std::string_view bytes, const std::vector<Hit>& hits, bool binary,
                             bool stopped) {
  if (stopped) bytes = bytes.substr(0, DecidedPart(bytes, hits));
  if (!look_.invert && hits.empty() && !look_.count && !look_.filesWithout) return 0;
  const std::vector<LineSpan> selected =
      look_.invert ? OtherLines(bytes, hits, look_.maxCount) : MatchedLines(bytes, hits, look_.maxCount);
  // What the lines past the decided part would add is unknown, unless -m
  // was reached before it.
  const bool whole = !stopped || (look_.maxCount >= 0 && selected.size() >= static_cast<std::size_t>(look_.maxCount));

  if (look_.quiet) return selected.size();
  if (look_.filesWith || look_.filesWithout) {
    if (selected.empty() == look_.filesWithout && (whole || !selected.empty())) {
      Colored(kFileColor, name);
      out_.Put('\n');
    }
    return selected.size();
  }
  if (look_.count) {
    if (!whole) return selected.size();
    if (look_.fileNames) {
      Colored(kFileColor, name);
      Separator(':');
    }
    out_.Write(std::to_string(selected.size()));
    out_.Put('\n');
    return selected.size();
  }
  if (selected.empty()) return 0;
  if (binary) {
    out_.Flush();
    Complain(name + ": binary file matches");
    return selected.size();
  }

  std::size_t cursor = 0;
  if (look_.onlyMatching) {
    if (look_.invert) return selected.size();
    std::size_t s = 0;
    for (const Hit& h : hits) {
      if (h.length == 0 || h.position >= bytes.size()) continue;
      const std::size_t line = h.line - 1;
      while (s < selected.size() && selected[s].number < line) ++s;
      if (s == selected.size()) break;
      if (selected[s].number != line) continue;
      Prefix(name, line, h.position, ':');
      Colored(kMatchColor, bytes.substr(h.position, h.length));
      out_.Put('\n');
    }
    return selected.size();
  }

  const LineStepper lines(bytes);
  const bool context = look_.before >= 0 || look_.after >= 0;
  const std::size_t before = look_.before > 0 ? static_cast<std::size_t>(look_.before) : 0;
  const std::size_t after = look_.after > 0 ? static_cast<std::size_t>(look_.after) : 0;
  LineSpan last;               // the last line printed
  bool printedHere = false;    // a line of this file was printed
  std::size_t afterUntil = 0;  // trailing context runs up to, not including, this line
  auto printLine = [&](const LineSpan& line, char separator) {
    Prefix(name, line.number, line.start, separator);
    Body(bytes, line.start, line.end, hits, cursor);
    out_.Put('\n');
    last = line;
    printedHere = true;
    printedGroup_ = true;
  };
  // Trailing context after the last line printed, up to (not including) limit.
  auto trail = [&](std::size_t limit) {
    LineSpan line;
    while (printedHere && last.number + 1 < limit && last.number + 1 < afterUntil && lines.Next(last, &line))
      printLine(line, '-');
  };
  std::vector<LineSpan> leading;
  for (const LineSpan& line : selected) {
    trail(line.number);
    const std::size_t next = printedHere ? last.number + 1 : 0;  // the first line not yet printed
    const std::size_t from = std::max(line.number >= before ? line.number - before : 0, next);
    if (context && printedGroup_ && (!printedHere || from > next)) {
      Colored(kSeparatorColor, "--");
      out_.Put('\n');
    }
    leading.clear();
    LineSpan back = line;
    while (back.number > from && lines.Previous(back, &back)) leading.push_back(back);
    for (auto it = leading.rbegin(); it != leading.rend(); ++it) printLine(*it, '-');
    printLine(line, ':');
    afterUntil = line.number + 1 + after;
  }
  trail(static_cast<std::size_t>(-1));
  return selected.size();
}

}  // namespace ravelin_cli
