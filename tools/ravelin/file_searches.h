// The file searches: find-files (the files holding a match) and grep-files
// (their lines, as grep prints them).
#ifndef RAVELIN_TOOLS_FILE_SEARCHES_H
#define RAVELIN_TOOLS_FILE_SEARCHES_H

#include "arguments.h"
#include "exit_status.h"
#include "io.h"
#include "setup.h"

namespace ravelin_cli {

ExitStatus FindFiles(const Invocation& inv, Setup& setup, Output& out);
ExitStatus GrepFiles(const Invocation& inv, Setup& setup, Output& out);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_FILE_SEARCHES_H
