// Makes a ravelin command line ready to run: the RegularExpression set up
// from a loaded settings record and the arguments, the rules of the file
// walk, and the look of grep-files' lines.
#ifndef RAVELIN_TOOLS_SETUP_H
#define RAVELIN_TOOLS_SETUP_H

#include <string>
#include <vector>

#include "arguments.h"
#include "lines.h"
#include "walk.h"

namespace ravelin_cli {

// find-files, grep-files and change-files: the commands that walk PATHs.
bool IsFileCommand(Command c);

// A command line made ready to run.
struct Setup {
  RegularExpression re;
  // The PATHs of a file command; empty for the current directory; "-" alone
  // for standard input.
  std::vector<std::string> roots;
  // -r, as the command line or the loaded record says; the library is
  // pointed at one PATH at a time.
  bool recursive = false;
  // -j: files read and searched at once.
  unsigned threads = 1;
};

// Loads the record, then takes the arguments and the options; reads the
// subject of a string command; quotes what -F and the file walk need
// quoted and wraps -w and -x; checks the pattern; saves the settings when
// asked (the user's own text). merge and change-files get a format that
// deletes when theirs is empty. False, with the reason said on standard
// error, when the run ends here. Throws UsageError when a needed argument
// is missing, the backup extension cannot be used, or -w or -x meets
// another syntax than the normal one.
bool SetUp(const Invocation& inv, Setup& setup);

// Binary files (a NUL byte) are searched, and changed, only when asked.
bool BinaryAllowed(const Invocation& inv);

// re as the file walk searches with it: its expression in the normal syntax,
// Icase alone taken from its option set, the rest of its settings kept.
RegularExpression AsFilesAreSearched(const RegularExpression& re);
// The rules the file walk follows.
WalkOptions WalkOptionsOf(const Invocation& inv, bool recursive);
// What grep-files prints of each file, for the PATHs it walks.
LineLook LineLookOf(const Invocation& inv, const std::vector<std::string>& roots);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_SETUP_H
