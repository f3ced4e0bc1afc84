#include "printers.h"

#include <cerrno>
#include <string>
#include <vector>

#include "system.h"

namespace ravelin_cli {

void PrintCount(Output& out, std::int64_t n) {
  out.Number(n);
  out.Put('\n');
}

void PrintChangeStats(Output& out, const Invocation& inv, unsigned long replacements, unsigned long changedFiles) {
  if (inv.count) {
    PrintCount(out, static_cast<std::int64_t>(replacements));
  } else if (inv.stats) {
    out.Write(std::to_string(replacements) + (replacements == 1 ? " replacement, " : " replacements, ") +
              std::to_string(changedFiles) + (changedFiles == 1 ? " file changed\n" : " files changed\n"));
  }
}

namespace {

const char* ProblemKindName(RegularExpression::ProblemKind kind) {
  switch (kind) {
    case RegularExpression::OpenFailed:
      return "OpenFailed";
    case RegularExpression::TempCreateFailed:
      return "TempCreateFailed";
    case RegularExpression::ReadFailed:
      return "ReadFailed";
    case RegularExpression::WriteFailed:
      return "WriteFailed";
    case RegularExpression::TextChanged:
      return "TextChanged";
    case RegularExpression::BackupFailed:
      return "BackupFailed";
    case RegularExpression::ReplaceFailed:
      return "ReplaceFailed";
    case RegularExpression::AttributesFailed:
      return "AttributesFailed";
    case RegularExpression::SearchFailed:
      return "SearchFailed";
  }
  return "UnknownProblem";
}

}  // namespace

std::string Describe(const RegularExpression::FileChangeProblem& p) {
  const bool temporary =
      (p.problem == RegularExpression::TempCreateFailed || p.problem == RegularExpression::WriteFailed) &&
      !p.text.empty();
  std::string line = temporary ? p.text + " (temporary " + p.fileName + ")" : p.fileName;
  line += std::string(": ") + ProblemKindName(p.problem) + " at " + std::to_string(p.position) + ": ";
  if (p.errorCode != 0) {
    line += ErrorText(p.errorCode);
  } else if (p.problem == RegularExpression::TextChanged) {
    line += "the file no longer holds the matched text";
  } else if (!p.text.empty() && !temporary) {
    line += p.text;  // SearchFailed: the engine's reason
  } else {
    line += "no further detail";
  }
  return line;
}

bool ReportSkipped(const std::vector<RegularExpression::SkippedFile>& skipped, bool withGaveUp, bool quietErrors) {
  bool any = false;
  for (const RegularExpression::SkippedFile& s : skipped) {
    if (s.reason == RegularExpression::SearchGaveUp) {
      if (!withGaveUp) continue;
      Complain(s.fileName + ": the search stopped early: " + s.text);
    } else if (!quietErrors) {
      const unsigned long code =
          s.errorCode != 0 ? s.errorCode : (s.reason == RegularExpression::NotFound ? ENOENT : 0);
      Complain(s.fileName + ": " + (code != 0 ? ErrorText(code) : std::string("cannot be read")));
    }
    any = true;
  }
  return any;
}

}  // namespace ravelin_cli
