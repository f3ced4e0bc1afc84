// The flags of ravelin, each defined once: its names, its value, the
// commands it means something to, its texts for --help, the manual page and
// the completions, and what it does to the invocation. The parser, the help
// pages, the manual page and both completion scripts are read from this one
// table (ravelin --generate man|bash|zsh writes the last three).
#ifndef RAVELIN_TOOLS_FLAGS_H
#define RAVELIN_TOOLS_FLAGS_H

#include <string>
#include <vector>

#include "arguments.h"

namespace ravelin_cli {

// A set of commands, one bit each.
using CommandSet = unsigned;
constexpr CommandSet Bit(Command c) { return 1U << static_cast<unsigned>(c); }
constexpr CommandSet kSubjectCommands =
    Bit(Command::kMatch) | Bit(Command::kMatchAll) | Bit(Command::kSearch) | Bit(Command::kGrep) | Bit(Command::kMerge);
constexpr CommandSet kFileCommands = Bit(Command::kFindFiles) | Bit(Command::kGrepFiles) | Bit(Command::kChangeFiles);
constexpr CommandSet kAllCommands = kSubjectCommands | kFileCommands;

// The groups the help page and the manual page list the flags in.
struct FlagSection {
  const char* title;    // the help page's heading, and the manual's subsection
  const char* notes;    // help text under the rows, or null
  CommandSet commands;  // the commands its title names: a flag for others says so
};

struct Flag {
  char shortName;         // 0 when it has none
  const char* longName;   // without the dashes
  const char* aliases;    // other long names, blank-separated, or ""
  const char* valueName;  // the value it takes, or null for none
  bool optionalValue;     // the value may be left out (--color alone)
  bool repeatable;        // each use adds (-g, --option, -u)
  CommandSet commands;    // the commands it means something to
  bool kept;              // kept in a settings record: --save takes it with any command
  int section;            // index into FlagSections()
  const char* summary;    // one line: --help and the completions
  const char* more;       // further lines of --help, or null
  const char* manual;     // the manual page's paragraph, in roff
  const char* choices;    // the values completion offers, blank-separated; "<file>" for a file; or null
  void (*apply)(Invocation& inv, const std::string& value, const std::string& spelling);
};

// The table, in the order the help page lists it; count in *size.
const Flag* Flags(std::size_t* size);
const FlagSection* FlagSections(std::size_t* size);

// "-m, --max-count" and so on: every spelling of a flag, for messages and
// pages ("--color[=WHEN]" shows its value when withValue).
std::string FlagNames(const Flag& flag, bool withValue);

// The blank-separated words of text (aliases, choices).
std::vector<std::string> Words(const char* text);

// "grep-files", "the file commands", ...: who a flag is for, in words.
std::string CommandsInWords(CommandSet commands);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_FLAGS_H
