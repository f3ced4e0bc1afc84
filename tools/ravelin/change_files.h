// change-files: search and replace inside the files under the PATHs.
#ifndef RAVELIN_TOOLS_CHANGE_FILES_H
#define RAVELIN_TOOLS_CHANGE_FILES_H

#include "arguments.h"
#include "io.h"
#include "setup.h"

namespace ravelin_cli {

// change-files first finds every file that holds a match and refuses the
// whole run, writing nothing, when any of them cannot be changed without a
// loss (FindBlockers), has several hard links, is binary (without
// --binary) or lies inside a version-control folder. With --keep-going
// the other files are changed. Then one library walk per PATH changes the
// files the scan took, and no other: each is opened, checked and replaced
// relative to the directories the walk opened, never by its path again,
// and each is judged (and, with --interactive, shown) from the bytes that
// walk holds. A file whose new bytes equal its old is left alone. With
// --dry-run, the diffs are printed instead. SIGINT, SIGTERM and SIGHUP end
// the run at the next file boundary. Returns an ExitStatus, or 128 + the
// signal.
int ChangeFiles(const Invocation& inv, Setup& setup, Output& out);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_CHANGE_FILES_H
