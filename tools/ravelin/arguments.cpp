#include "arguments.h"

#include <strings.h>

#include <cstring>

namespace ravelin_cli {
namespace {

const CommandShape kCommands[] = {
    {Command::kMatch, "match", true, false, false},
    {Command::kMatchAll, "match-all", true, false, false},
    {Command::kSearch, "search", true, false, false},
    {Command::kGrep, "grep", true, false, false},
    {Command::kMerge, "merge", true, true, false},
    {Command::kFindFiles, "find-files", true, false, true},
    {Command::kGrepFiles, "grep-files", true, false, true},
    {Command::kChangeFiles, "change-files", true, true, true},
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
    {"Default", RegularExpression::MatchDefault},
    {"NotBol", RegularExpression::MatchNotBol},
    {"NotEol", RegularExpression::MatchNotEol},
    {"NotBob", RegularExpression::MatchNotBob},
    {"NotEob", RegularExpression::MatchNotEob},
    {"NotBow", RegularExpression::MatchNotBow},
    {"NotEow", RegularExpression::MatchNotEow},
    {"NotDotNewline", RegularExpression::MatchNotDotNewline},
    {"NotDotNull", RegularExpression::MatchNotDotNull},
    {"Any", RegularExpression::MatchAny},
    {"NotNull", RegularExpression::MatchNotNull},
    {"Continuous", RegularExpression::MatchContinuous},
};

bool SameIgnoringCase(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

// Options that take a value: the name without dashes and where it goes.
enum class Valued { kSubject, kInput, kLoad, kSave, kBackup, kSyntax, kOption, kNoOption, kMatchOption, kNoMatchOption };
struct ValuedOption {
  const char* name;
  Valued what;
};
const ValuedOption kValuedOptions[] = {
    {"subject", Valued::kSubject},         {"input", Valued::kInput},
    {"load", Valued::kLoad},               {"save", Valued::kSave},
    {"backup", Valued::kBackup},           {"syntax", Valued::kSyntax},
    {"option", Valued::kOption},           {"no-option", Valued::kNoOption},
    {"match-option", Valued::kMatchOption}, {"no-match-option", Valued::kNoMatchOption},
};

void ApplyValue(Invocation& inv, Valued what, const std::string& value) {
  switch (what) {
    case Valued::kSubject: inv.subject.Set(value); break;
    case Valued::kInput: inv.inputFile.Set(value); break;
    case Valued::kLoad: inv.loadFile.Set(value); break;
    case Valued::kSave: inv.saveFile.Set(value); break;
    case Valued::kBackup: {
      const std::string fault = BackupExtensionFault(value);
      if (!fault.empty()) throw UsageError("--backup '" + value + "': " + fault);
      inv.backup.Set(value);
      break;
    }
    case Valued::kSyntax:
      if (value != "normal" && value != "extended" && value != "basic" && value != "literal")
        throw UsageError("unknown syntax '" + value + "' (normal, extended, basic or literal)");
      inv.syntax.Set(value);
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
  }
}

// A long option without a value; false when the name is not one.
bool ApplyFlag(Invocation& inv, const std::string& name) {
  if (name == "recursive") inv.recursive = true;
  else if (name == "ignore-case") inv.ignoreCase = true;
  else if (name == "count") inv.count = true;
  else if (name == "stats") inv.stats = true;
  else if (name == "keep-going") inv.keepGoing = true;
  else if (name == "no-messages") inv.noMessages = true;
  else if (name == "fixed-strings") inv.syntax.Set("literal");
  else if (name == "copy") inv.copy = 1;
  else if (name == "no-copy") inv.copy = 0;
  else if (name == "help") inv.help = true;
  else if (name == "version") inv.version = true;
  else return false;
  return true;
}

void ApplyShortFlags(Invocation& inv, const std::string& arg) {
  for (std::size_t k = 1; k < arg.size(); ++k) {
    switch (arg[k]) {
      case 'r': inv.recursive = true; break;
      case 'i': inv.ignoreCase = true; break;
      case 'h': inv.help = true; break;
      case 's': inv.noMessages = true; break;
      case 'F': inv.syntax.Set("literal"); break;
      default: throw UsageError("unknown option '-" + std::string(1, arg[k]) + "'");
    }
  }
}

}  // namespace

std::string BackupExtensionFault(const std::string& extension) {
  if (extension.find('/') != std::string::npos) return "an extension cannot hold '/'";
  const std::size_t first = extension.find_first_not_of(" \t\n\r\f\v");
  if (first == std::string::npos) return "an extension cannot be empty or blank";
  const std::size_t last = extension.find_last_not_of(" \t\n\r\f\v");
  const std::string trimmed = extension.substr(first, last - first + 1);
  if (trimmed == "." || trimmed == "..") return "an extension cannot be '" + trimmed + "'";
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
      ApplyShortFlags(inv, arg);
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
    if (valued != nullptr) {
      if (!hasValue) {
        if (k + 1 >= argc) throw UsageError("option '--" + name + "' needs a value");
        value = argv[++k];
      }
      ApplyValue(inv, valued->what, value);
      continue;
    }
    if (hasValue || !ApplyFlag(inv, name)) throw UsageError("unknown option '" + arg + "'");
  }

  if (inv.help || inv.version) return inv;
  if (positional.empty()) throw UsageError("no command given");
  inv.commandName = positional.front();
  const CommandShape* shape = FindCommand(inv.commandName);
  if (shape == nullptr) throw UsageError("unknown command '" + inv.commandName + "'");
  inv.command = shape->command;
  inv.arguments.assign(positional.begin() + 1, positional.end());
  const std::size_t wanted = (shape->pattern ? 1 : 0) + (shape->format ? 1 : 0) + (shape->filespec ? 1 : 0);
  if (inv.arguments.size() > wanted) throw UsageError("too many arguments for " + inv.commandName);
  if (inv.arguments.size() < wanted && !inv.loadFile.given) {
    std::string names = "PATTERN";
    if (shape->format) names += " FORMAT";
    if (shape->filespec) names += " FILESPEC";
    throw UsageError(inv.commandName + " needs " + names);
  }
  return inv;
}

const char* UsageLine() {
  return "usage: ravelin [OPTIONS] COMMAND ARGS...   (ravelin --help lists the commands)";
}

const char* HelpText() {
  return R"(usage: ravelin [OPTIONS] COMMAND ARGS...

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
Commands on files (FILESPEC: a path whose last part may hold * ? [...]):
  find-files PATTERN FILESPEC        names of the files holding a match
  grep-files PATTERN FILESPEC        every match: FILE:LINE:OFFSET:TEXT
  change-files PATTERN FORMAT FILESPEC
                                     replace every match inside the files
      change-files first finds every file holding a match and changes
      nothing when one of them is read-only, is itself a backup, or would
      have its backup collide with another file; it says which and why.
      SIGINT, SIGTERM or SIGHUP stop it between two files (a second one at
      once), with no temporary file left and status 128 + the signal.

Options (before or after the command; -- ends them):
  -r, --recursive          descend into subdirectories
  -i, --ignore-case        ignore case (the Icase option)
  --syntax S               normal (Perl, the default), extended, basic, literal
  -F, --fixed-strings      the pattern is plain text (--syntax literal)
  --option NAME            add a compile option (Icase, NewlineAlt, Literal...)
  --no-option NAME         remove a compile option
  --match-option NAME      add a match option (NotBol, NotDotNewline, NotNull...)
  --no-match-option NAME   remove a match option
  --no-copy                merge: print only the replaced matches
  --copy                   merge: keep the text between matches (the default)
  --backup EXT             change-files: save each file first, its last extension
                           replaced by EXT (notes.txt -> notes.EXT, README ->
                           README.EXT); EXT may not hold '/', be blank, . or ..
  --keep-going             change-files: change the files that can be changed
                           safely, leave the others and name them (status 2)
  --stats                  change-files: print replacements and files changed
  -s, --no-messages        no messages about missing or unreadable files (the
                           status stays 2)
  --count                  print only the count the operation returns
  --subject TEXT           the subject of the string commands
  --input FILE             read the subject from FILE
  --load FILE              start from the settings record in FILE
  --save FILE              write the settings of this run to FILE
  -h, --help               this page
  --version                the version

Exit status: 0 when something matched or was changed, 1 when nothing did,
2 on an error: for the file commands also a missing path, a file or
directory that could not be read, a search the engine gave up, and for
change-files a file that could not be changed or a refused run; 128 + the
signal when a signal stopped change-files.
Files are searched with the normal (Perl) syntax or as plain text (literal);
of the other compile options only Icase applies to finding matches in files.
)";
}

}  // namespace ravelin_cli
