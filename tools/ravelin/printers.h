// What ravelin prints of the library's results: match vectors, hits and
// file names on standard output, counts and change statistics, and the
// problems and skipped paths of the file operations on standard error.
#ifndef RAVELIN_TOOLS_PRINTERS_H
#define RAVELIN_TOOLS_PRINTERS_H

#include <cstdint>
#include <string>
#include <vector>

#include "arguments.h"
#include "io.h"

namespace ravelin_cli {

// Receives the events of one run and prints what the command shows.
class Printer {
 public:
  explicit Printer(Output& out) : out_(out) {}

  void OnMatch(RegularExpression&, const RegexClass::REMatchInfo& m, unsigned, unsigned) { PrintVector(m); }

  void OnGrep(RegularExpression&, const RegexClass::REMatchInfo& m, unsigned line, unsigned, bool&) {
    PrintHit(m, line);
  }

  void OnFindFile(RegularExpression&, std::string fileName, bool&) {
    out_.Write(fileName);
    out_.Put('\n');
  }

 private:
  // INDEX:POSITION:TEXT of each entry.
  void PrintVector(const RegexClass::REMatchInfo& m) {
    for (std::size_t i = 0; i < m.size(); ++i) {
      out_.Number(static_cast<std::int64_t>(i));
      out_.Put(':');
      out_.Number(m[i].position);
      out_.Put(':');
      out_.Write(m[i].text);
      out_.Put('\n');
    }
  }

  // LINE:OFFSET:TEXT of the whole match.
  void PrintHit(const RegexClass::REMatchInfo& m, unsigned line) {
    out_.Number(line);
    out_.Put(':');
    out_.Number(m.empty() ? -1 : m[0].position);
    out_.Put(':');
    if (!m.empty()) out_.Write(m[0].text);
    out_.Put('\n');
  }

  Output& out_;
};

// A count on a line of its own.
void PrintCount(Output& out, std::int64_t n);

// change-files' totals: the replacements alone with -c, a sentence with
// --stats, nothing otherwise.
void PrintChangeStats(Output& out, const Invocation& inv, unsigned long replacements, unsigned long changedFiles);

// One line per problem, naming the file the user will look at: for a
// temporary file that could not be made or written, the file it was to
// replace, with the temporary in parentheses. The kind goes by its name in
// the header (OpenFailed, TextChanged, ...).
std::string Describe(const RegularExpression::FileChangeProblem& p);

// Says on standard error what a file operation passed by: a missing path
// or an unreadable file or directory (unless quietErrors: -s), and, with
// withGaveUp, a file the engine gave up searching. True when anything was
// passed by.
bool ReportSkipped(const std::vector<RegularExpression::SkippedFile>& skipped, bool withGaveUp, bool quietErrors);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_PRINTERS_H
