#include "arguments.h"

#include <strings.h>

#include <cstring>

namespace ravelin_cli {
namespace {

const CommandShape kCommands[] = {
    {Command::kMatch, "match", true, false, false},         {Command::kMatchAll, "match-all", true, false, false},
    {Command::kSearch, "search", true, false, false},       {Command::kGrep, "grep", true, false, false},
    {Command::kMerge, "merge", true, true, false},          {Command::kFindFiles, "find-files", true, false, true},
    {Command::kGrepFiles, "grep-files", true, false, true}, {Command::kChangeFiles, "change-files", true, true, true},
};

struct CompileOptionName {
  const char* name;
  RegularExpression::Options value;
};
const CompileOptionName kCompileOptions[] = {
    {"EscapeInLists", RegularExpression::EscapeInLists},
    {"CharClasses", RegularExpression::CharClasses},
    {"Intervals", RegularExpression::Intervals},
    {"LimitedOps", RegularExpression::LimitedOps},
    {"NewlineAlt", RegularExpression::NewlineAlt},
    {"BkPlusQm", RegularExpression::BkPlusQm},
    {"BkBraces", RegularExpression::BkBraces},
    {"BkParens", RegularExpression::BkParens},
    {"BkRefs", RegularExpression::BkRefs},
    {"BkVbar", RegularExpression::BkVbar},
    {"Literal", RegularExpression::Literal},
    {"Icase", RegularExpression::Icase},
    {"NoCollate", RegularExpression::NoCollate},
    {"Basic", RegularExpression::Basic},
    {"Extended", RegularExpression::Extended},
    {"Normal", RegularExpression::Normal},
};

struct MatchOptionName {
  const char* name;  // without the "Match" prefix
  RegularExpression::Matches value;
};
const MatchOptionName kMatchOptions[] = {
    {"Default", RegularExpression::MatchDefault},       {"NotBol", RegularExpression::MatchNotBol},
    {"NotEol", RegularExpression::MatchNotEol},         {"NotBob", RegularExpression::MatchNotBob},
    {"NotEob", RegularExpression::MatchNotEob},         {"NotBow", RegularExpression::MatchNotBow},
    {"NotEow", RegularExpression::MatchNotEow},         {"NotDotNewline", RegularExpression::MatchNotDotNewline},
    {"NotDotNull", RegularExpression::MatchNotDotNull}, {"Any", RegularExpression::MatchAny},
    {"NotNull", RegularExpression::MatchNotNull},       {"Continuous", RegularExpression::MatchContinuous},
};

bool SameIgnoringCase(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

// Options that take a value: the name without dashes and where it goes.
enum class Valued {
  kSubject,
  kInput,
  kLoad,
  kSave,
  kBackup,
  kSuffix,
  kSyntax,
  kOption,
  kNoOption,
  kMatchOption,
  kNoMatchOption,
  kMaxCount,
  kBefore,
  kAfter,
  kContext,
  kGlob,
  kColor,
  kThreads
};
struct ValuedOption {
  const char* name;
  Valued what;
};
const ValuedOption kValuedOptions[] = {
    {"subject", Valued::kSubject},
    {"input", Valued::kInput},
    {"load", Valued::kLoad},
    {"save", Valued::kSave},
    {"backup", Valued::kBackup},
    {"suffix", Valued::kSuffix},
    {"syntax", Valued::kSyntax},
    {"option", Valued::kOption},
    {"no-option", Valued::kNoOption},
    {"match-option", Valued::kMatchOption},
    {"no-match-option", Valued::kNoMatchOption},
    {"max-count", Valued::kMaxCount},
    {"before-context", Valued::kBefore},
    {"after-context", Valued::kAfter},
    {"context", Valued::kContext},
    {"glob", Valued::kGlob},
    {"color", Valued::kColor},
    {"colour", Valued::kColor},
    {"threads", Valued::kThreads},
};

long Number(const std::string& option, const std::string& value) {
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos || value.size() > 9)
    throw UsageError("option '" + option + "' needs a number, not '" + value + "'");
  return std::stol(value);
}

void ApplyValue(Invocation& inv, Valued what, const std::string& value, const std::string& option) {
  switch (what) {
    case Valued::kSubject:
      inv.subject.Set(value);
      break;
    case Valued::kInput:
      inv.inputFile.Set(value);
      break;
    case Valued::kLoad:
      inv.loadFile.Set(value);
      break;
    case Valued::kSave:
      inv.saveFile.Set(value);
      break;
    case Valued::kBackup: {
      const std::string fault = BackupExtensionFault(value);
      if (!fault.empty()) throw UsageError("--backup '" + value + "': " + fault);
      inv.backup.Set(value);
      break;
    }
    case Valued::kSuffix: {
      const std::string fault = BackupExtensionFault(value, "a suffix");
      if (!fault.empty()) throw UsageError("--suffix '" + value + "': " + fault);
      inv.suffix.Set(value);
      break;
    }
    case Valued::kSyntax:
      if (value != "normal" && value != "perl" && value != "extended" && value != "basic" && value != "literal")
        throw UsageError("unknown syntax '" + value + "' (normal or perl, extended, basic or literal)");
      inv.syntax.Set(value == "perl" ? std::string("normal") : value);
      break;
    case Valued::kOption:
    case Valued::kNoOption: {
      RegularExpression::Options o;
      if (!LookUpCompileOption(value, o)) throw UsageError("unknown compile option '" + value + "'");
      inv.compileOptions.push_back({what == Valued::kOption, o});
      break;
    }
    case Valued::kMatchOption:
    case Valued::kNoMatchOption: {
      RegularExpression::Matches m;
      if (!LookUpMatchOption(value, m)) throw UsageError("unknown match option '" + value + "'");
      inv.matchOptions.push_back({what == Valued::kMatchOption, m});
      break;
    }
    case Valued::kMaxCount:
      inv.maxCount = Number(option, value);
      break;
    case Valued::kBefore:
      inv.before = Number(option, value);
      break;
    case Valued::kAfter:
      inv.after = Number(option, value);
      break;
    case Valued::kContext:
      inv.before = inv.after = Number(option, value);
      break;
    case Valued::kGlob:
      inv.globs.push_back(value);
      break;
    case Valued::kThreads:
      inv.threads = Number(option, value);
      if (inv.threads == 0) throw UsageError("option '" + option + "' needs a number of threads from 1");
      break;
    case Valued::kColor:
      if (value != "auto" && value != "always" && value != "never")
        throw UsageError("--color '" + value + "': auto, always or never");
      inv.color = value;
      break;
  }
}

// A long option without a value; false when the name is not one.
bool ApplyFlag(Invocation& inv, const std::string& name) {
  if (name == "recursive")
    inv.recursive = true;
  else if (name == "ignore-case")
    inv.ignoreCase = true;
  else if (name == "count" || name == "count-lines")
    inv.count = true;
  else if (name == "stats")
    inv.stats = true;
  else if (name == "keep-going")
    inv.keepGoing = true;
  else if (name == "no-messages")
    inv.noMessages = true;
  else if (name == "fixed-strings")
    inv.syntax.Set("literal");
  else if (name == "copy")
    inv.copy = 1;
  else if (name == "no-copy")
    inv.copy = 0;
  else if (name == "multiline")
    inv.multiline = true;
  else if (name == "help")
    inv.help = true;
  else if (name == "version")
    inv.version = true;
  else if (name == "with-filename")
    inv.withFileName = true, inv.noFileName = false;
  else if (name == "no-filename")
    inv.noFileName = true, inv.withFileName = false;
  else if (name == "line-number")
    inv.lineNumbers = true;
  else if (name == "byte-offset")
    inv.byteOffsets = true;
  else if (name == "only-matching")
    inv.onlyMatching = true;
  else if (name == "invert-match")
    inv.invert = true;
  else if (name == "files-with-matches")
    inv.filesWith = true;
  else if (name == "files-without-match")
    inv.filesWithout = true;
  else if (name == "word-regexp")
    inv.wordRegexp = true;
  else if (name == "line-regexp")
    inv.lineRegexp = true;
  else if (name == "quiet" || name == "silent")
    inv.quiet = true;
  else if (name == "text")
    inv.text = true;
  else if (name == "color" || name == "colour")
    inv.color = "auto";
  else if (name == "unrestricted")
    ++inv.unrestricted;
  else if (name == "no-ignore")
    inv.noIgnore = true;
  else if (name == "hidden")
    inv.hidden = true;
  else if (name == "binary")
    inv.binary = true;
  else if (name == "follow")
    inv.follow = true;
  else if (name == "dry-run")
    inv.dryRun = true;
  else if (name == "interactive")
    inv.interactive = true;
  else
    return false;
  return true;
}

// Short options; those that take a value take the rest of the word or the
// next argument (-A2, -A 2). k is moved past a value taken from argv.
void ApplyShortFlags(Invocation& inv, const std::string& arg, int argc, char** argv, int& k) {
  for (std::size_t j = 1; j < arg.size(); ++j) {
    const char c = arg[j];
    Valued what;
    bool valued = true;
    switch (c) {
      case 'A':
        what = Valued::kAfter;
        break;
      case 'B':
        what = Valued::kBefore;
        break;
      case 'C':
        what = Valued::kContext;
        break;
      case 'm':
        what = Valued::kMaxCount;
        break;
      case 'g':
        what = Valued::kGlob;
        break;
      case 'j':
        what = Valued::kThreads;
        break;
      default:
        valued = false;
        what = Valued::kSubject;
        break;
    }
    if (valued) {
      std::string value = arg.substr(j + 1);
      if (value.empty()) {
        if (k + 1 >= argc) throw UsageError("option '-" + std::string(1, c) + "' needs a value");
        value = argv[++k];
      }
      ApplyValue(inv, what, value, "-" + std::string(1, c));
      return;
    }
    switch (c) {
      case 'r':
        inv.recursive = true;
        break;
      case 'i':
        inv.ignoreCase = true;
        break;
      case 's':
        inv.noMessages = true;
        break;
      case 'F':
        inv.syntax.Set("literal");
        break;
      case 'H':
        inv.withFileName = true;
        inv.noFileName = false;
        break;
      case 'h':
        inv.noFileName = true;
        inv.withFileName = false;
        break;
      case 'n':
        inv.lineNumbers = true;
        break;
      case 'b':
        inv.byteOffsets = true;
        break;
      case 'o':
        inv.onlyMatching = true;
        break;
      case 'v':
        inv.invert = true;
        break;
      case 'c':
        inv.count = true;
        break;
      case 'l':
        inv.filesWith = true;
        break;
      case 'L':
        inv.filesWithout = true;
        break;
      case 'w':
        inv.wordRegexp = true;
        break;
      case 'x':
        inv.lineRegexp = true;
        break;
      case 'q':
        inv.quiet = true;
        break;
      case 'a':
        inv.text = true;
        break;
      case 'u':
        ++inv.unrestricted;
        break;
      case 'U':
        inv.multiline = true;
        break;
      default:
        throw UsageError("unknown option '-" + std::string(1, c) + "'");
    }
  }
}

}  // namespace

std::string BackupExtensionFault(const std::string& extension, const char* what) {
  if (extension.find('/') != std::string::npos) return std::string(what) + " cannot hold '/'";
  const std::size_t first = extension.find_first_not_of(" \t\n\r\f\v");
  if (first == std::string::npos) return std::string(what) + " cannot be empty or blank";
  const std::size_t last = extension.find_last_not_of(" \t\n\r\f\v");
  const std::string trimmed = extension.substr(first, last - first + 1);
  if (trimmed == "." || trimmed == "..") return std::string(what) + " cannot be '" + trimmed + "'";
  return std::string();
}

const CommandShape* FindCommand(const std::string& name) {
  for (const CommandShape& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

bool LookUpCompileOption(const std::string& name, RegularExpression::Options& out) {
  for (const CompileOptionName& o : kCompileOptions) {
    if (SameIgnoringCase(name, o.name)) {
      out = o.value;
      return true;
    }
  }
  return false;
}

bool LookUpMatchOption(const std::string& name, RegularExpression::Matches& out) {
  std::string bare = name;
  if (bare.size() > 5 && strncasecmp(bare.c_str(), "match", 5) == 0) bare.erase(0, 5);
  for (const MatchOptionName& m : kMatchOptions) {
    if (SameIgnoringCase(bare, m.name)) {
      out = m.value;
      return true;
    }
  }
  return false;
}

Invocation ParseArguments(int argc, char** argv) {
  Invocation inv;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg[1] != '-') {
      ApplyShortFlags(inv, arg, argc, argv, k);
      continue;
    }
    std::string name = arg.substr(2);
    std::string value;
    bool hasValue = false;
    const std::size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.erase(eq);
      hasValue = true;
    }
    const ValuedOption* valued = nullptr;
    for (const ValuedOption& v : kValuedOptions)
      if (name == v.name) valued = &v;
    // --color alone is --color=auto, as grep has it.
    if (valued != nullptr && valued->what == Valued::kColor && !hasValue) valued = nullptr;
    if (valued != nullptr) {
      if (!hasValue) {
        if (k + 1 >= argc) throw UsageError("option '--" + name + "' needs a value");
        value = argv[++k];
      }
      ApplyValue(inv, valued->what, value, "--" + name);
      continue;
    }
    if (hasValue || !ApplyFlag(inv, name)) throw UsageError("unknown option '" + arg + "'");
  }

  // help [COMMAND], COMMAND --help
  if (!positional.empty() && positional.front() == "help") {
    inv.help = true;
    if (positional.size() > 1) inv.helpTopic = positional[1];
  } else if (inv.help && !positional.empty()) {
    inv.helpTopic = positional.front();
  }
  if (inv.help) {
    if (!inv.helpTopic.empty() && CommandHelp(inv.helpTopic) == nullptr)
      throw UsageError("unknown command '" + inv.helpTopic + "'");
    return inv;
  }
  if (inv.version) return inv;
  if (positional.empty()) throw UsageError("no command given");
  inv.commandName = positional.front();
  const CommandShape* shape = FindCommand(inv.commandName);
  if (shape == nullptr) throw UsageError("unknown command '" + inv.commandName + "'");
  inv.command = shape->command;
  inv.arguments.assign(positional.begin() + 1, positional.end());
  const std::size_t wanted = (shape->pattern ? 1 : 0) + (shape->format ? 1 : 0);
  if (shape->filespec) {
    // PATH...: any number; none is the current directory (or the file
    // pattern of a loaded record).
    if (inv.arguments.size() > wanted) {
      inv.paths.assign(inv.arguments.begin() + static_cast<std::ptrdiff_t>(wanted), inv.arguments.end());
      inv.arguments.resize(wanted);
    }
  } else if (inv.arguments.size() > wanted) {
    throw UsageError("too many arguments for " + inv.commandName);
  }
  if (inv.arguments.size() < wanted && !inv.loadFile.given) {
    std::string names = "PATTERN";
    if (shape->format) names += " FORMAT";
    throw UsageError(inv.commandName + " needs " + names);
  }
  if (inv.dryRun && inv.interactive) throw UsageError("--dry-run and --interactive do not go together");
  if (inv.backup.given && inv.suffix.given) {
    throw UsageError(
        "--backup and --suffix do not go together (--backup EXT replaces the extension, --suffix appends)");
  }
  return inv;
}

const char* UsageLine() { return "usage: ravelin [OPTIONS] COMMAND ARGS...   (ravelin --help lists the commands)"; }

const char* HelpText() {
  return R"(usage: ravelin [OPTIONS] COMMAND ARGS...
       ravelin help COMMAND      (or COMMAND --help): one command, with examples

Regular expressions over text and files, with the Ravelin library.

Commands on a subject (standard input, --subject TEXT or --input FILE):
  match PATTERN          anchored match at the start of the subject
  match-all PATTERN      match of the whole subject
  search PATTERN         first match anywhere
      These print the match vector, one entry a line, INDEX:POSITION:TEXT:
      the whole match, each sub-expression, then the prefix and the suffix.
  grep PATTERN           every match, one a line: LINE:OFFSET:TEXT
  merge PATTERN FORMAT   the subject with every match replaced by FORMAT
                         ($& the match, $1..$9 or \1..\9 the groups)
Commands on files (PATH: a file, a directory, or a file pattern whose last
part may hold * ? [...]; a PATH that exists is taken as it is, wildcard
characters and all; - is standard input, and a FIFO or device named is read;
several may be given; none is the current directory, but for find-files and
grep-files without -r standard input when it is a pipe or a file, as ripgrep
has it: a script with piped input gives a PATH, -r or </dev/null):
  find-files PATTERN [PATH...]       names of the files holding a match
  grep-files PATTERN [PATH...]       the lines holding a match, as grep:
                                     FILE:TEXT (-n FILE:LINE:TEXT; -o -n -b
                                     FILE:LINE:OFFSET:MATCH, one a match)
  change-files PATTERN FORMAT [PATH...]
                                     replace every match inside the files
      change-files refuses - and FIFOs, and with no PATH works on the
      current directory whatever standard input is.
      change-files first finds every file holding a match and changes
      nothing when one of them is read-only, is itself a backup, has
      several hard links, or would have its backup collide with another
      file; it says which and why. A file whose new bytes equal its old is
      not rewritten; the --save or --load record is never changed.
      SIGINT, SIGTERM or SIGHUP stop it between two files (a second one at
      once), with no temporary file left and status 128 + the signal.

Which files (the three file commands), as ripgrep has it:
  -r, --recursive          descend into subdirectories
  -g, --glob GLOB          only files matching GLOB; -g '!GLOB' leaves them out
                           (matched below each PATH, as a .gitignore line)
      Left out unless a PATH names them: what .gitignore (in a git work
      tree), .ignore and .git/info/exclude exclude, hidden files and
      directories (names starting with '.'), binary files (holding a NUL
      byte); always: .git, .hg and .svn folders.
  -u, --no-ignore          ignore files are not honoured; -uu also takes hidden
                           files (--hidden), -uuu also binary files (--binary;
                           change-files changes binary files only so)
  --follow                 follow links to files met in a walk, as a PATH
                           that names a link is (else they are passed by, as
                           grep -r and rg do; change-files names such a link
                           when it leads outside every PATH and holds a match)
  -j, --threads NUM        read and search NUM files at once (default: the
                           number of processors, up to 8; output and changes
                           come in the same order whatever NUM)

grep-files output (grep's letters and meanings):
  -n, --line-number        the line number       -b, --byte-offset  the offset
  -H, --with-filename      always the file name  -h, --no-filename  never
  -o, --only-matching      each match alone      -v, --invert-match other lines
  -c, --count              selected lines per file, FILE:COUNT (or COUNT for
                           one file); also --count-lines
  -l, --files-with-matches     -L, --files-without-match (status 0, as grep,
                           when a line was selected, not when a file is listed)
  -m, --max-count NUM      stop a file after NUM selected lines
  -A, --after-context NUM  -B, --before-context NUM  -C, --context NUM
  -q, --quiet              nothing printed; status 0 at the first match
  -a, --text               binary files as text (else "binary file matches")
  --color[=WHEN]           auto (the default: on a terminal, unless NO_COLOR
                           is set or TERM is dumb), always or never
Patterns (the three file commands):
  -w, --word-regexp        the match is a whole word
  -x, --line-regexp        the match is a whole line
change-files:
  --dry-run                print a unified diff of every file it would change
                           (--- a/PATH, +++ b/PATH, for patch -p1); write nothing;
                           status 0 when something would change, 1 when nothing
  --interactive            show each file's diff and ask y (change it), n (not),
                           a (this one and all after), q (none from here on)
  --backup EXT             save each file first, its last extension replaced
                           by EXT: notes.txt -> notes.bak with --backup bak;
                           README -> README.bak, .bashrc -> .bashrc.bak; EXT
                           may not hold '/', be blank, . or ..
  --suffix SUFFIX          save each file first under its name with SUFFIX
                           appended, as sed -i.bak: util.c -> util.c.bak with
                           --suffix .bak, util.c~ with --suffix '~'; the same
                           rules as EXT; not with --backup; not saved by --save
  --keep-going             change the files that can be changed safely, leave
                           the others and name them (status 2)
  --stats                  print replacements and files changed
  -c, --count              print only the number of replacements

Other options (before or after the command; -- ends them):
  -U, --multiline          search the subject or file as a whole, as the
                           library does: . \s [^x] match a newline, $ matches
                           before \r and \f too, a match may span lines.
                           Without it every command works line by line, as
                           grep and sed: no match holds a newline, ^ and $ are
                           the line's ends; match and match-all take the first
                           line. Not saved in a settings record.
  -i, --ignore-case        ignore case (the Icase option)
  --syntax S               normal (Perl, the default; also called perl),
                           extended, basic, literal
  -F, --fixed-strings      the pattern is plain text (--syntax literal), and
                           so is the FORMAT of merge and change-files
  --option NAME            add a compile option (Icase, NewlineAlt, Literal...)
  --no-option NAME         remove a compile option
  --match-option NAME      add a match option (NotBol, NotDotNewline, NotNull...)
  --no-match-option NAME   remove a match option
  --no-copy                merge: print only the replaced matches
  --copy                   merge: keep the text between matches (the default)
  -s, --no-messages        no messages about missing or unreadable files (the
                           status stays 2)
  -c, --count              print only the count the operation returns:
                           matches (grep, merge), 0 or 1 (match, search),
                           files (find-files); grep-files counts per file
  --subject TEXT           the subject of the string commands
  --input FILE             read the subject from FILE
  --load FILE              start from the settings record in FILE
  --save FILE              write the settings of this run to FILE
  --help                   this page
  --version                the version

Exit status: 0 when something matched or was changed, 1 when nothing did,
2 on an error: for the file commands also a missing path, a file or
directory that could not be read, a search the engine gave up, and for
change-files a file that could not be changed or a refused run; 128 + the
signal when a signal stopped change-files.
Files are searched with the normal (Perl) syntax or as plain text (literal);
of the other compile options only Icase applies to finding matches in files.
merge and change-files replace as Perl's s///g does: after a match, an empty
match right where it ended is replaced too (echo abxxc | ravelin merge 'x*' -
gives -a-b--c-, where sed gives -a-b-c-).
Matches never span lines unless -U is given; grep-files then prints each
line a match touches once.
)";
}

namespace {
struct CommandHelpText {
  const char* name;
  const char* text;
};
const CommandHelpText kCommandHelp[] = {
    {"match", R"(usage: ravelin match PATTERN [--subject TEXT | --input FILE]
Anchored match at the start of the subject; prints the match vector,
INDEX:POSITION:TEXT, entry 0 the match, then the groups, prefix, suffix.
The first line is the subject (-U: the whole subject).
Examples:
  ravelin match '(\w+)@(\w+)' --subject 'anna@example, bob@host'
  echo 2024-05-01 | ravelin match '(\d+)-(\d+)'
)"},
    {"match-all", R"(usage: ravelin match-all PATTERN [--subject TEXT | --input FILE]
Match of the whole subject; prints the match vector as match does.
The first line is the subject (-U: the whole subject).
Examples:
  ravelin match-all '[a-z]+' --subject abc
  ravelin match-all --syntax extended 'a|ab' --subject ab
)"},
    {"search", R"(usage: ravelin search PATTERN [--subject TEXT | --input FILE]
First match anywhere in the subject; prints the match vector. Line by
line: no match holds a newline (-U: across lines).
Examples:
  ravelin search 'b(c)' --subject abcd
  ravelin search -i 'error' --input build.log
)"},
    {"grep", R"(usage: ravelin grep PATTERN [--subject TEXT | --input FILE]
Every match of the subject, one a line: LINE:OFFSET:TEXT. Line by line
(-U: matches may span lines).
Examples:
  ravelin grep '[0-9]+' --input notes.txt
  printf 'one\ntwo\n' | ravelin grep o
  ravelin grep --count 'x' --subject xax
)"},
    {"merge", R"(usage: ravelin merge PATTERN FORMAT [--subject TEXT | --input FILE]
The subject with every match replaced by FORMAT ($& the match, $1..$9 or
\1..\9 the groups; an empty FORMAT deletes the matches; with -F the FORMAT
is plain text); --no-copy prints only the replaced matches. Line by line:
no match holds a newline, $ is the line's end (-U: the whole subject, as
the library searches it). An empty match right after a match is replaced
too, as Perl's s///g does (sed does not): 'x*' over abxxc gives -a-b--c-.
Examples:
  echo 'anna@example, bob@host' | ravelin merge '(\w+)@(\w+)' '$2:$1'
  ravelin merge --no-copy '\d+' '<$&>' --input notes.txt
)"},
    {"find-files", R"(usage: ravelin find-files [OPTIONS] PATTERN [PATH...]
The names of the files holding a match, one a line, in walk order. PATH: a
file, a directory or a file pattern (docs/*.txt), - for standard input;
none is the current directory, or without -r standard input when it is a
pipe or a file. Ignore files, hidden and binary files are left out unless a PATH
names them (-u, -uu, -uuu); -r descends, -g GLOB filters, -w, -x, -i, -F.
Line by line (-U: matches may span lines).
Examples:
  ravelin find-files -r colour docs
  ravelin find-files -r -g '*.h' -g '!test/' 'TODO|FIXME'
  ravelin find-files -r -uu grey 'sample-tree/*.txt'
)"},
    {"grep-files", R"(usage: ravelin grep-files [OPTIONS] PATTERN [PATH...]
The lines holding a match, as grep prints them: FILE:TEXT, the file name
when there are several files or -r; -n line numbers, -b byte offsets, -o
each match alone (-o -n -b: FILE:LINE:OFFSET:MATCH), -A/-B/-C context,
-c (--count: FILE:COUNT), -l, -L, -v, -m NUM, -q, -w, -x, -i, -F, -a,
--color. PATH: a file, a directory or a file pattern, - for standard input
(named as grep names it); none is the current directory, or without -r
standard input when it is a pipe or a file (a script gives a PATH or
</dev/null). Ignore files, hidden and binary files are left out unless a PATH names them (-u,
-uu, -uuu); -g GLOB includes, -g '!GLOB' excludes. Line by line, as grep (-U:
a match may span lines; each line it touches is printed once).
Examples:
  ravelin grep-files -r -n -C 2 'TODO|FIXME' src
  ravelin grep-files -r -l -g '*.cpp' 'std::regex'
  ravelin grep-files -o -n -b 'neighbou?r' 'docs/*.txt'
)"},
    {"change-files", R"(usage: ravelin change-files [OPTIONS] PATTERN FORMAT [PATH...]
Replaces every match inside the files by FORMAT, as merge does, each file
written safely (a temporary file renamed over it). Nothing is changed when a
file holding a match is read-only, a backup, has several hard links, or would
have its backup collide (--keep-going changes the others). Links met in a
walk are not written through (--follow follows them). Binary files and
version-control folders are never changed (--binary for binary files).
--dry-run prints the unified diff instead (status 0: something would change,
1: nothing); --interactive asks y/n/a/q for each file after showing its diff;
--backup EXT keeps the old file with its extension replaced (notes.txt ->
notes.bak), --suffix SUFFIX with SUFFIX appended (util.c -> util.c.bak with
--suffix .bak); --stats counts.
Line by line: no match holds a newline, so ' *// TODO.*' ends at the line's
end (-U: the whole file, matches may span lines); empty matches are replaced
as merge replaces them (Perl's rule). -F: pattern and FORMAT are plain text;
-c prints the number of replacements.
Examples:
  ravelin change-files -r --dry-run 'colou?r' hue docs | less
  ravelin change-files -r --backup bak --stats 'gr[ae]y' silver 'docs/*.txt'
  ravelin change-files -r --suffix .orig 'old_(\w+)' 'new_$1' src
  ravelin change-files -r --interactive -w old_name new_name src
)"},
};
}  // namespace

const char* CommandHelp(const std::string& command) {
  for (const CommandHelpText& h : kCommandHelp)
    if (command == h.name) return h.text;
  return nullptr;
}

}  // namespace ravelin_cli
