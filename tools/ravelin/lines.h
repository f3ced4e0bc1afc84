// The line view of grep-files: the lines that hold a match (or, with -v,
// those that hold none), with context, line numbers, byte offsets and
// colour as grep prints them, or the per-file forms -o, -c, -l and -L.
//
// The library searches a file as a whole, so a match may span lines (a
// pattern holding \n, or . and [^x] that match a newline); such a match
// selects every line it touches, each printed once, and -o prints it whole.
#ifndef RAVELIN_TOOLS_LINES_H
#define RAVELIN_TOOLS_LINES_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io.h"

namespace ravelin_cli {

struct LineLook {
  bool fileNames = false;     // -H, or several files
  bool lineNumbers = false;   // -n
  bool byteOffsets = false;   // -b
  bool onlyMatching = false;  // -o
  bool invert = false;        // -v
  bool count = false;         // -c
  bool filesWith = false;     // -l
  bool filesWithout = false;  // -L
  bool quiet = false;         // -q
  bool color = false;         // --color
  long maxCount = -1;         // -m; -1: no limit
  long before = -1;           // -B; -1 when not given
  long after = -1;            // -A; -1 when not given
};

// One match of the library in a file: its byte offset, length and line (1
// + the newlines before it).
struct Hit {
  std::uint64_t position;
  std::uint64_t length;
  std::size_t line;
};

// The part of a file whose lines are decided when the engine gave up on it
// part-way: its bytes up to the end of the line where the last match
// reported ends (the search had passed it), none when there was no match.
// Its length, and the number of lines in it.
std::uint64_t DecidedPart(std::string_view bytes, const std::vector<Hit>& hits);
std::size_t LineCount(std::string_view bytes);

class LineView {
 public:
  LineView(const LineLook& look, Output& out) : look_(look), out_(out) {}
  // Prints what the look asks of one file, its bytes and its matches in file
  // order. binary: the file is binary and not to be printed as text (a
  // message stands for its lines). Returns the number of lines selected
  // (after -m). stopped: the engine gave up part-way through the file, so
  // only its decided part (DecidedPart) is shown, and nothing that would
  // pass for an answer about the whole file: no -c count (unless -m was
  // reached), no -L name, no -l name without a selected line.
  unsigned long File(const std::string& name, std::string_view bytes, const std::vector<Hit>& hits, bool binary,
                     bool stopped = false);

 private:
  void Prefix(const std::string& name, std::size_t line, std::uint64_t offset, char separator);
  void Body(std::string_view bytes, std::uint64_t start, std::uint64_t end, const std::vector<Hit>& hits,
            std::size_t& cursor);
  void Colored(const char* sgr, std::string_view text);
  void Separator(char c);

  const LineLook& look_;
  Output& out_;
  bool printedGroup_ = false;  // a line was printed: the next group is set off by --
};

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_LINES_H
