// The commands over one subject string: match, match-all, search, grep and
// merge.
#ifndef RAVELIN_TOOLS_SUBJECT_COMMANDS_H
#define RAVELIN_TOOLS_SUBJECT_COMMANDS_H

#include "arguments.h"
#include "exit_status.h"
#include "io.h"

namespace ravelin_cli {

// Runs the command of inv over the subject re holds and prints its results
// (the match vectors, the hits, the merged text, or a count with -c).
ExitStatus RunSubjectCommand(const Invocation& inv, RegularExpression& re, Output& out);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_SUBJECT_COMMANDS_H
