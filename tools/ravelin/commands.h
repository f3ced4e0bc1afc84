// Runs one ravelin command line against the library.
#ifndef RAVELIN_TOOLS_COMMANDS_H
#define RAVELIN_TOOLS_COMMANDS_H

#include "arguments.h"
#include "exit_status.h"

namespace ravelin_cli {

// Sets up a RegularExpression from the invocation (a loaded record first,
// then the arguments and options), checks the pattern, saves the settings
// when asked, runs the command and prints its results. Messages go to
// standard error. Returns the exit status: an ExitStatus, or 128 + the signal
// that stopped change-files. Throws UsageError when a needed argument is
// missing or the backup extension of a loaded record cannot be used.
int RunCommand(const Invocation& invocation);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_COMMANDS_H
