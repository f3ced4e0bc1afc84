#include "subject_commands.h"

#include <cstdint>
#include <string>

#include "printers.h"

namespace ravelin_cli {
namespace {

ExitStatus MatchOrSearch(const Invocation& inv, RegularExpression& re, Output& out) {
  Printer printer(out);
  if (!inv.count) {
    if (inv.command == Command::kSearch) {
      re.SetOnSearchingClosure(RegularExpression::OnSearchingClosure(&printer, &Printer::OnMatch));
    } else {
      re.SetOnMatchingClosure(RegularExpression::OnMatchingClosure(&printer, &Printer::OnMatch));
    }
  }
  bool found = false;
  switch (inv.command) {
    case Command::kMatch:
      found = re.Match();
      break;
    case Command::kMatchAll:
      found = re.MatchAll();
      break;
    default:
      found = re.Search();
      break;
  }
  if (inv.count) PrintCount(out, found ? 1 : 0);
  return found ? kFound : kNotFound;
}

ExitStatus Grep(const Invocation& inv, RegularExpression& re, Output& out) {
  Printer printer(out);
  if (!inv.count) re.SetOnGreppingClosure(RegularExpression::OnGreppingClosure(&printer, &Printer::OnGrep));
  const unsigned n = re.Grep();
  if (inv.count) PrintCount(out, n);
  return n > 0 ? kFound : kNotFound;
}

ExitStatus Merge(const Invocation& inv, RegularExpression& re, Output& out) {
  // Merge gives only the text; Grep counts the matches it replaced.
  std::string merged;
  if (!inv.count) re.Merge(merged);
  const unsigned n = re.Grep();
  if (inv.count) {
    PrintCount(out, n);
  } else {
    out.Write(merged);
  }
  return n > 0 ? kFound : kNotFound;
}

}  // namespace

ExitStatus RunSubjectCommand(const Invocation& inv, RegularExpression& re, Output& out) {
  switch (inv.command) {
    case Command::kGrep:
      return Grep(inv, re, out);
    case Command::kMerge:
      return Merge(inv, re, out);
    default:
      return MatchOrSearch(inv, re, out);
  }
}

}  // namespace ravelin_cli
