// Exit statuses of the ravelin command, as grep has them.
#ifndef RAVELIN_TOOLS_EXIT_STATUS_H
#define RAVELIN_TOOLS_EXIT_STATUS_H

namespace ravelin_cli {

enum ExitStatus : int {
  kFound = 0,     // something matched, or was changed
  kNotFound = 1,  // nothing matched
  kTrouble = 2    // a usage error, a bad pattern, an unreadable input, a file change problem
};
// change-files stopped by a signal exits with 128 + the signal's number.

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_EXIT_STATUS_H
