#include "arguments.h"

#include <strings.h>

#include <cstring>
#include <iterator>

#include "flags.h"

namespace ravelin_cli {
namespace {

// clang-format off
const CommandShape kCommands[] = {
    {Command::kMatch, "match", true, false, false, "anchored match at the start of the subject"},
    {Command::kMatchAll, "match-all", true, false, false, "match of the whole subject"},
    {Command::kSearch, "search", true, false, false, "first match anywhere"},
    {Command::kGrep, "grep", true, false, false, "every match of the subject"},
    {Command::kMerge, "merge", true, true, false, "the subject with every match replaced"},
    {Command::kFindFiles, "find-files", true, false, true, "names of the files holding a match"},
    {Command::kGrepFiles, "grep-files", true, false, true, "the lines holding a match, as grep"},
    {Command::kChangeFiles, "change-files", true, true, true, "replace every match inside the files"},
};
// clang-format on

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

// A flag as the user spelled it.
struct Spelled {
  const Flag* flag;
  std::string spelling;
};

const Flag* FindShortFlag(char c) {
  std::size_t size = 0;
  const Flag* flags = Flags(&size);
  for (std::size_t i = 0; i < size; ++i)
    if (flags[i].shortName == c) return &flags[i];
  return nullptr;
}

const Flag* FindLongFlag(const std::string& name) {
  std::size_t size = 0;
  const Flag* flags = Flags(&size);
  for (std::size_t i = 0; i < size; ++i) {
    if (name == flags[i].longName) return &flags[i];
    // The aliases, blank-separated.
    const std::string aliases = std::string(" ") + flags[i].aliases + " ";
    if (aliases.find(" " + name + " ") != std::string::npos) return &flags[i];
  }
  return nullptr;
}

// A flag the command does nothing with is refused rather than ignored
// (change-files -m 1 would otherwise replace every match in silence). A
// flag a settings record keeps goes with any command that saves one.
void RefuseMisplacedFlags(const Invocation& inv, const std::vector<Spelled>& given) {
  for (const Spelled& g : given) {
    if ((g.flag->commands & Bit(inv.command)) != 0) continue;
    if (g.flag->kept && inv.saveFile.given) continue;
    throw UsageError("option '" + g.spelling + "' means nothing to " + inv.commandName + " (it is for " +
                     CommandsInWords(g.flag->commands) + ")");
  }
}

}  // namespace

const CommandShape* Commands(std::size_t* size) {
  *size = std::size(kCommands);
  return kCommands;
}

const char* CommandName(Command command) {
  for (const CommandShape& c : kCommands)
    if (c.command == command) return c.name;
  return nullptr;
}

std::string BackupExtensionFault(const std::string& extension, const char* what) {
  // The library's rule, in the command's words; "" is blank here (the
  // library takes it as no backup).
  const std::string fault =
      extension.empty() ? std::string("cannot be empty or blank") : RegularExpression::SaveExtensionFault(extension);
  return fault.empty() ? fault : std::string(what) + " " + fault;
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
  std::vector<Spelled> given;
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
    // The value of a flag that takes one: the rest of the word (-A2,
    // --context=2), or the next argument (-A 2, --context 2).
    const auto nextValue = [&](const std::string& spelling) {
      if (k + 1 >= argc) throw UsageError("option '" + spelling + "' needs a value");
      return std::string(argv[++k]);
    };
    if (arg[1] != '-') {
      for (std::size_t j = 1; j < arg.size(); ++j) {
        const std::string spelling = std::string("-") + arg[j];
        const Flag* flag = FindShortFlag(arg[j]);
        if (flag == nullptr) throw UsageError("unknown option '" + spelling + "'");
        given.push_back({flag, spelling});
        if (flag->valueName == nullptr) {
          flag->apply(inv, std::string(), spelling);
          continue;
        }
        flag->apply(inv, j + 1 < arg.size() ? arg.substr(j + 1) : nextValue(spelling), spelling);
        break;
      }
      continue;
    }
    std::string name = arg.substr(2);
    const std::size_t eq = name.find('=');
    if (eq != std::string::npos) name.erase(eq);
    const std::string spelling = "--" + name;
    const Flag* flag = FindLongFlag(name);
    // A value after '=' to a flag that takes none is an unknown option.
    if (flag == nullptr || (eq != std::string::npos && flag->valueName == nullptr))
      throw UsageError("unknown option '" + arg + "'");
    given.push_back({flag, spelling});
    if (eq != std::string::npos)
      flag->apply(inv, arg.substr(eq + 3), spelling);
    else if (flag->valueName == nullptr || flag->optionalValue)
      flag->apply(inv, std::string(), spelling);
    else
      flag->apply(inv, nextValue(spelling), spelling);
  }

  // help [COMMAND], COMMAND --help
  if (!positional.empty() && positional.front() == "help") {
    inv.help = true;
    if (positional.size() > 1) inv.helpTopic = positional[1];
  } else if (inv.help && !positional.empty()) {
    inv.helpTopic = positional.front();
  }
  if (inv.help) {
    if (!inv.helpTopic.empty() && FindCommand(inv.helpTopic) == nullptr)
      throw UsageError("unknown command '" + inv.helpTopic + "'");
    return inv;
  }
  if (inv.version || !inv.generate.empty()) return inv;
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
  RefuseMisplacedFlags(inv, given);
  if (inv.dryRun && inv.interactive) throw UsageError("--dry-run and --interactive do not go together");
  if (inv.backup.given && inv.suffix.given) {
    throw UsageError(
        "--backup and --suffix do not go together (--backup EXT replaces the extension, --suffix appends)");
  }
  return inv;
}

}  // namespace ravelin_cli
