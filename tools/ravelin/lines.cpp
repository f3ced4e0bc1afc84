#include "lines.h"

#include <algorithm>

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

void LineView::Separator(char c) { Colored(kSeparatorColor, std::string(1, c)); }

void LineView::Prefix(const std::string& name, std::size_t line, std::uint64_t offset, char separator) {
  if (look_.fileNames) {
    Colored(kFileColor, name);
    Separator(separator);
  }
  if (look_.lineNumbers) {
    Colored(kNumberColor, std::to_string(line + 1));
    Separator(separator);
  }
  if (look_.byteOffsets) {
    Colored(kNumberColor, std::to_string(offset));
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

unsigned long LineView::File(const std::string& name, std::string_view bytes, const std::vector<Hit>& hits,
                             bool binary) {
  // Where each line starts; a last line without a newline is a line.
  std::vector<std::uint64_t> starts;
  for (std::uint64_t at = 0; at < bytes.size();) {
    starts.push_back(at);
    const std::size_t nl = bytes.find('\n', at);
    at = nl == std::string_view::npos ? bytes.size() : nl + 1;
  }
  const std::size_t lines = starts.size();
  auto lineOf = [&](std::uint64_t pos) -> std::size_t {
    return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), pos) - starts.begin()) - 1;
  };
  auto lineEnd = [&](std::size_t line) -> std::uint64_t {  // without its newline
    const std::uint64_t next = line + 1 < lines ? starts[line + 1] : bytes.size();
    return next > starts[line] && bytes[next - 1] == '\n' ? next - 1 : next;
  };

  std::vector<char> matched(lines, 0);
  for (const Hit& h : hits) {
    if (h.position >= bytes.size()) {
      // An empty match after the last newline touches no line.
      if (lines == 0 || bytes.back() == '\n') continue;
    }
    const std::size_t first = lineOf(std::min<std::uint64_t>(h.position, bytes.size() - 1));
    const std::size_t last =
        h.length == 0 ? first : lineOf(std::min<std::uint64_t>(h.position + h.length - 1, bytes.size() - 1));
    for (std::size_t l = first; l <= last; ++l) matched[l] = 1;
  }
  std::vector<std::size_t> selected;
  for (std::size_t l = 0; l < lines; ++l) {
    if ((matched[l] != 0) == look_.invert) continue;
    if (look_.maxCount >= 0 && selected.size() >= static_cast<std::size_t>(look_.maxCount)) break;
    selected.push_back(l);
  }

  if (look_.quiet) return selected.size();
  if (look_.filesWith || look_.filesWithout) {
    if (selected.empty() == look_.filesWithout) {
      Colored(kFileColor, name);
      out_.Put('\n');
    }
    return selected.size();
  }
  if (look_.count) {
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
      const std::size_t line = lineOf(h.position);
      while (s < selected.size() && selected[s] < line) ++s;
      if (s == selected.size()) break;
      if (selected[s] != line) continue;
      Prefix(name, line, h.position, ':');
      Colored(kMatchColor, bytes.substr(h.position, h.length));
      out_.Put('\n');
    }
    return selected.size();
  }

  const bool context = look_.before >= 0 || look_.after >= 0;
  const std::size_t before = look_.before > 0 ? static_cast<std::size_t>(look_.before) : 0;
  const std::size_t after = look_.after > 0 ? static_cast<std::size_t>(look_.after) : 0;
  std::size_t next = 0;        // the first line not yet printed
  bool printedHere = false;    // a line of this file was printed
  std::size_t afterUntil = 0;  // trailing context runs up to, not including, this line
  auto printLine = [&](std::size_t line, char separator) {
    Prefix(name, line, starts[line], separator);
    Body(bytes, starts[line], lineEnd(line), hits, cursor);
    out_.Put('\n');
    next = line + 1;
    printedHere = true;
    printedGroup_ = true;
  };
  for (std::size_t line : selected) {
    while (printedHere && next < line && next < afterUntil) printLine(next, '-');
    const std::size_t from = std::max(line >= before ? line - before : 0, next);
    if (context && printedGroup_ && (!printedHere || from > next)) {
      Colored(kSeparatorColor, "--");
      out_.Put('\n');
    }
    for (std::size_t l = from; l < line; ++l) printLine(l, '-');
    printLine(line, ':');
    afterUntil = line + 1 + after;
  }
  while (next < afterUntil && next < lines) printLine(next, '-');
  return selected.size();
}

}  // namespace ravelin_cli
