// The command line of ravelin: what the user asked for, checked for form.
#ifndef RAVELIN_TOOLS_ARGUMENTS_H
#define RAVELIN_TOOLS_ARGUMENTS_H

#include <ravelin/RegularExpression.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace ravelin_cli {

using RegexClass::RegularExpression;

// A command line that cannot be run as written. The message names the fault;
// the caller adds the usage line and exits with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Command { kNone, kMatch, kMatchAll, kSearch, kGrep, kMerge, kFindFiles, kGrepFiles, kChangeFiles };

// Which arguments a command takes, in order.
struct CommandShape {
  Command command;
  const char* name;
  bool pattern;
  bool format;
  bool filespec;
  const char* summary;  // one line, for the completions
};

// Every command, in the order the help lists them; count in *size.
const CommandShape* Commands(std::size_t* size);

// One --option / --no-option, or --match-option / --no-match-option, in the
// order given.
struct CompileOptionEdit {
  bool add;
  RegularExpression::Options option;
};
struct MatchOptionEdit {
  bool add;
  RegularExpression::Matches option;
};

// An optional string that remembers whether it was given at all.
struct Given {
  bool given = false;
  std::string value;
  void Set(const std::string& v) {
    given = true;
    value = v;
  }
};

struct Invocation {
  Command command = Command::kNone;
  std::string commandName;
  // Positional arguments after the command; fewer than the command takes is
  // allowed only with --load (the rest come from the record).
  std::vector<std::string> arguments;

  Given subject;    // --subject TEXT
  Given inputFile;  // --input FILE
  Given loadFile;   // --load FILE
  Given saveFile;   // --save FILE
  Given backup;     // --backup EXT
  Given suffix;     // --suffix SUFFIX
  Given syntax;     // --syntax normal|perl|extended|basic|literal; -F, --fixed-strings

  bool recursive = false;   // -r
  bool ignoreCase = false;  // -i
  bool count = false;       // -c, --count (--count-lines)
  bool stats = false;       // --stats
  bool keepGoing = false;   // --keep-going
  bool noMessages = false;  // -s, --no-messages
  bool help = false;        // --help, help [COMMAND], COMMAND --help
  std::string helpTopic;    // the command whose help is asked for; "" for the whole page
  bool version = false;     // --version
  std::string generate;     // --generate man|bash|zsh
  int copy = -1;            // --copy (1) / --no-copy (0); -1 when neither was given
  bool multiline = false;   // -U, --multiline: matches may span lines (the library's default)

  // The file commands, as grep and ripgrep have them.
  std::vector<std::string> paths;  // PATH...: files, directories, file patterns
  bool withFileName = false;       // -H
  bool noFileName = false;         // -h
  bool lineNumbers = false;        // -n
  bool byteOffsets = false;        // -b
  bool onlyMatching = false;       // -o
  bool invert = false;             // -v
  bool filesWith = false;          // -l
  bool filesWithout = false;       // -L
  bool wordRegexp = false;         // -w
  bool lineRegexp = false;         // -x
  bool quiet = false;              // -q
  bool text = false;               // -a: binary files as text
  long maxCount = -1;              // -m NUM
  long before = -1;                // -B NUM, -C NUM
  long after = -1;                 // -A NUM, -C NUM
  std::string color = "auto";      // --color=auto|always|never
  std::vector<std::string> globs;  // -g GLOB, -g '!GLOB'
  long threads = 0;                // -j NUM; 0: one per processor
  int unrestricted = 0;            // -u: 1 no ignore files, 2 and hidden files, 3 and binary files
  bool noIgnore = false;           // --no-ignore
  bool hidden = false;             // --hidden
  bool follow = false;             // --follow: links met in a walk are followed
  bool binary = false;             // --binary
  bool dryRun = false;             // change-files --dry-run
  bool interactive = false;        // change-files --interactive

  std::vector<CompileOptionEdit> compileOptions;
  std::vector<MatchOptionEdit> matchOptions;
};

// Reads argv with the flag table (flags.h). Options may stand before or
// after the command; "--" ends the options. Throws UsageError for an unknown
// option or command, a missing option value, an unknown option name or
// syntax, a backup extension that cannot be used, a flag the command does
// nothing with, or too many arguments.
Invocation ParseArguments(int argc, char** argv);

// Why a backup extension cannot be used, or "" when it can: the library's
// rule (RegularExpression::SaveExtensionFault), with "" blank too, in the
// words of a message ("an extension cannot hold '/'"; what names a suffix).
std::string BackupExtensionFault(const std::string& extension, const char* what = "an extension");

// The shape of a command, or null for an unknown name.
const CommandShape* FindCommand(const std::string& name);

// Option names as the enumerators, case-insensitive; the match options with
// or without their "Match" prefix. False for an unknown name.
bool LookUpCompileOption(const std::string& name, RegularExpression::Options& out);
bool LookUpMatchOption(const std::string& name, RegularExpression::Matches& out);

// The name of a command, or null for kNone.
const char* CommandName(Command command);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_ARGUMENTS_H
