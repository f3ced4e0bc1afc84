#include "setup.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "io.h"
#include "system.h"

namespace ravelin_cli {
namespace {

// The compile flag word of the default set, without Icase: what the file
// walk searches with whatever the object's set holds.
constexpr unsigned kNormalWord = RegularExpression::OptionWord(RegularExpression::Normal);
constexpr unsigned kIcaseBit = RegularExpression::OptionWord(RegularExpression::Icase);

// A format that formats to nothing: \E ends a case span and writes nothing.
// The library treats an empty format as "do nothing", while a user of
// `ravelin merge 'x' ''` means "delete the matches", as sed does.
const char kEmptyFormat[] = "\\E";

// The pattern text that the engine's Perl syntax reads as exactly text:
// each metacharacter behind a backslash. (Only those: a backslash before
// some other characters, such as < or a letter, makes an operator.)
std::string QuoteForPerlSyntax(const std::string& text) {
  std::string quoted;
  quoted.reserve(text.size() * 2);
  for (char c : text) {
    if (c != '\0' && std::strchr("\\^$.|?*+()[]{}", c) != nullptr) quoted += '\\';
    quoted += c;
  }
  return quoted;
}

// The steps of SetUp, in their order.
class Configurer {
 public:
  Configurer(const Invocation& inv, Setup& setup) : inv_(inv), setup_(setup), re_(setup.re) {}

  bool Run() {
    if (!Configure()) return false;
    const RegularExpression asGiven(re_);  // the settings record keeps the user's own text
    QuoteLiteralFormat();
    if (IsFileCommand(inv_.command)) {
      QuoteLiteralText();
      WrapWordOrLine();
    }
    if (!CheckPattern()) return false;
    if (inv_.saveFile.given && !Save(asGiven)) return false;
    if (IsFileCommand(inv_.command)) re_.SetDirectoryRecursion(false);
    // With no PATH, find-files and grep-files search standard input when it
    // is a pipe or a file, as ripgrep does; otherwise, and with -r as grep -r
    // has it, the current directory.
    if ((inv_.command == Command::kFindFiles || inv_.command == Command::kGrepFiles) && setup_.roots.empty() &&
        !setup_.recursive && StandardInputIsData())
      setup_.roots.assign(1, "-");
    if ((inv_.command == Command::kMerge || inv_.command == Command::kChangeFiles) && re_.GetFormatString().empty())
      re_.SetFormatString(kEmptyFormat);
    return true;
  }

 private:
  // The record, then the arguments, then the options. False when something
  // cannot be read.
  bool Configure() {
    if (inv_.loadFile.given) {
      std::ifstream in(inv_.loadFile.value, std::ios::binary);
      if (!in) {
        Complain("cannot read " + inv_.loadFile.value + ": " + std::strerror(errno));
        return false;
      }
      if (!(in >> re_)) {
        Complain(inv_.loadFile.value + ": not a settings record");
        return false;
      }
    } else {
      re_.SetMergeCopy(true);  // merge keeps the text between matches, like sed
    }

    const CommandShape* shape = FindCommand(inv_.commandName);
    std::size_t next = 0;
    auto take = [&](const char* name, std::string (RegularExpression::*get)() const,
                    void (RegularExpression::*set)(const std::string&)) {
      if (next < inv_.arguments.size()) {
        (re_.*set)(inv_.arguments[next++]);
      } else if ((re_.*get)().empty()) {
        throw UsageError(inv_.commandName + " needs " + name + " (the loaded record holds none)");
      }
    };
    take("PATTERN", &RegularExpression::GetExpression, &RegularExpression::SetExpression);
    if (shape->format) take("FORMAT", &RegularExpression::GetFormatString, &RegularExpression::SetFormatString);
    if (shape->filespec) {
      // The record holds one file pattern: the first PATH, or the record's
      // own when no PATH is given; none at all is the current directory.
      if (!inv_.paths.empty()) {
        setup_.roots = inv_.paths;
        re_.SetFilesToMatch(inv_.paths.front());
      } else if (inv_.loadFile.given && !re_.GetFilesToMatch().empty()) {
        setup_.roots.assign(1, re_.GetFilesToMatch());
      }
    }

    if (inv_.syntax.given) {
      re_.ClearExpressionOptions();
      const std::string& s = inv_.syntax.value;
      if (s == "extended") {
        re_.AddExpressionOption(RegularExpression::Extended);
      } else if (s == "basic") {
        re_.AddExpressionOption(RegularExpression::Basic);
      } else {
        re_.AddExpressionOption(RegularExpression::Normal);
        if (s == "literal") re_.AddExpressionOption(RegularExpression::Literal);
      }
    }
    for (const CompileOptionEdit& e : inv_.compileOptions) {
      if (e.add) {
        re_.AddExpressionOption(e.option);
      } else {
        re_.DeleteExpressionOption(e.option);
      }
    }
    if (inv_.ignoreCase) re_.AddExpressionOption(RegularExpression::Icase);
    for (const MatchOptionEdit& e : inv_.matchOptions) {
      if (e.add) {
        re_.AddMatchOption(e.option);
      } else {
        re_.DeleteMatchOption(e.option);
      }
    }
    if (inv_.recursive) re_.SetDirectoryRecursion(true);
    setup_.recursive = re_.GetDirectoryRecursion();
    // By default one thread a processor, up to 8: past that the disk and the
    // calling thread, which reports every match, set the pace.
    setup_.threads = inv_.threads > 0 ? static_cast<unsigned>(inv_.threads)
                                      : std::min(8U, std::max(1U, std::thread::hardware_concurrency()));
    // Line by line, as grep and sed work, unless -U asks for the library's
    // whole-subject search. A command-line choice: the record does not hold it.
    re_.SetLineBounded(!inv_.multiline);
    if (inv_.copy >= 0) re_.SetMergeCopy(inv_.copy == 1);
    if (inv_.backup.given) re_.SetSaveExtension(inv_.backup.value);
    recordExtension_ = re_.GetSaveExtension();
    if (inv_.suffix.given) {
      // The backup is the file's name and the suffix, for this run only: a
      // record keeps an extension to replace (Save).
      re_.SetSaveExtension(inv_.suffix.value);
      re_.SetBackupNaming(RegularExpression::BackupNaming::Suffix);
    } else if (!re_.GetSaveExtension().empty()) {
      const std::string fault = BackupExtensionFault(re_.GetSaveExtension());
      if (!fault.empty()) throw UsageError("backup extension '" + re_.GetSaveExtension() + "': " + fault);
    }

    if (!IsFileCommand(inv_.command)) {
      std::string subject, error;
      if (inv_.subject.given) {
        subject = inv_.subject.value;
      } else if (inv_.inputFile.given) {
        if (const int code = ReadFileBytes(inv_.inputFile.value, subject)) {
          Complain("cannot read " + inv_.inputFile.value + ": " + ErrorText(static_cast<unsigned long>(code)));
          return false;
        }
      } else if (!ReadStandardInput(subject, error)) {
        Complain(error);
        return false;
      }
      re_.SetStringToMatch(subject);
    }
    return true;
  }

  bool ReportBadPattern(RegularExpression& re) {
    if (re.GetExpression().empty()) {
      Complain("empty pattern");
    } else {
      Complain("invalid pattern '" + re.GetExpression() + "': " + re.GetExpressionError());
    }
    return false;
  }

  // With plain-text patterns (-F) the FORMAT is plain text too: every dollar
  // sign and backslash doubled, so no group or escape is read in it.
  void QuoteLiteralFormat() {
    if (!re_.IsExpressionOption(RegularExpression::Literal)) return;
    const CommandShape* shape = FindCommand(inv_.commandName);
    if (shape == nullptr || !shape->format) return;
    std::string quoted;
    for (char c : re_.GetFormatString()) {
      if (c == '$' || c == '\\') quoted += c;  // $$ and \\ stand for themselves
      quoted += c;
    }
    re_.SetFormatString(quoted);
  }

  // The file walk knows the normal syntax only: a literal pattern is given
  // to it quoted, and the replacement of change-files is found with the
  // same quoted text, so the walk and the replacement agree on every match.
  void QuoteLiteralText() {
    if (!re_.IsExpressionOption(RegularExpression::Literal)) return;
    const bool icase = re_.IsExpressionOption(RegularExpression::Icase);
    re_.SetExpression(QuoteForPerlSyntax(re_.GetExpression()));
    re_.ClearExpressionOptions();
    re_.AddExpressionOption(RegularExpression::Normal);
    if (icase) re_.AddExpressionOption(RegularExpression::Icase);
  }

  // -w and -x as grep has them: the match may not touch a word character
  // on either side; the match is a whole line. Only the normal syntax has
  // the look-around they are written with.
  void WrapWordOrLine() {
    if (!inv_.wordRegexp && !inv_.lineRegexp) return;
    if ((re_.GetFlagOptions() & ~kIcaseBit) != kNormalWord)
      throw UsageError("-w and -x need the normal syntax (or -F)");
    const std::string e = re_.GetExpression();
    re_.SetExpression(inv_.lineRegexp ? "(?<![^\\n])(?:" + e + ")(?![^\\n])" : "(?<!\\w)(?:" + e + ")(?!\\w)");
  }

  bool CheckPattern() {
    if (!IsFileCommand(inv_.command)) return re_.ParseExpression() == 0 || ReportBadPattern(re_);
    // Files are searched with the expression text in the normal syntax, Icase
    // alone taken from the option set; change-files also formats each match
    // with the full set.
    RegularExpression walk = AsFilesAreSearched(re_);
    if (walk.ParseExpression() != 0) return ReportBadPattern(walk);
    if (inv_.command == Command::kChangeFiles && re_.ParseExpression() != 0) return ReportBadPattern(re_);
    if ((re_.GetFlagOptions() & ~kIcaseBit) != kNormalWord) {
      Complain(std::string("note: files are searched with the normal syntax; of the compile options only "
                           "icase applies") +
               (inv_.command == Command::kChangeFiles ? " (the others shape the replacement)" : ""));
    }
    return true;
  }

  bool Save(RegularExpression record) {
    record.SetSaveExtension(recordExtension_);
    std::ofstream file(inv_.saveFile.value, std::ios::binary | std::ios::trunc);
    if (file) file << record;
    if (file) file.close();
    if (!file) {
      Complain("cannot write " + inv_.saveFile.value + ": " + std::strerror(errno));
      return false;
    }
    return true;
  }

  const Invocation& inv_;
  Setup& setup_;
  RegularExpression& re_;
  // The save extension the settings record gets: --backup's or the loaded
  // record's, never a --suffix.
  std::string recordExtension_;
};

// grep prints file names when it searches more than one file: several
// PATHs, a directory or a file pattern.
bool ShowFileNames(const Invocation& inv, const std::vector<std::string>& roots) {
  if (inv.withFileName) return true;
  if (inv.noFileName) return false;
  if (roots.size() != 1 || IsFilePattern(roots.front())) return true;
  return Examine(roots.front()).kind == EntryKind::kDirectory;
}

bool UseColor(const Invocation& inv) {
  if (inv.color == "always") return true;
  if (inv.color == "never") return false;
  const char* noColor = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  if (noColor != nullptr && noColor[0] != '\0') return false;
  if (term == nullptr || std::strcmp(term, "dumb") == 0) return false;
  return IsTerminal(STDOUT_FILENO);
}

}  // namespace

bool IsFileCommand(Command c) {
  return c == Command::kFindFiles || c == Command::kGrepFiles || c == Command::kChangeFiles;
}

bool SetUp(const Invocation& inv, Setup& setup) { return Configurer(inv, setup).Run(); }

RegularExpression AsFilesAreSearched(const RegularExpression& re) {
  RegularExpression walk(re);
  walk.ClearExpressionOptions();
  walk.AddExpressionOption(RegularExpression::Normal);
  if (re.IsExpressionOption(RegularExpression::Icase)) walk.AddExpressionOption(RegularExpression::Icase);
  return walk;
}

bool BinaryAllowed(const Invocation& inv) { return inv.unrestricted >= 3 || inv.binary || inv.text; }

WalkOptions WalkOptionsOf(const Invocation& inv, bool recursive) {
  WalkOptions options;
  options.recursive = recursive;
  options.ignoreFiles = inv.unrestricted < 1 && !inv.noIgnore;
  options.hidden = inv.unrestricted >= 2 || inv.hidden;
  options.binary = BinaryAllowed(inv);
  options.globs = inv.globs;
  options.follow = inv.follow;
  return options;
}

LineLook LineLookOf(const Invocation& inv, const std::vector<std::string>& roots) {
  LineLook look;
  look.fileNames = ShowFileNames(inv, roots);
  look.lineNumbers = inv.lineNumbers;
  look.byteOffsets = inv.byteOffsets;
  look.onlyMatching = inv.onlyMatching;
  look.invert = inv.invert;
  look.count = inv.count;
  look.filesWith = inv.filesWith;
  look.filesWithout = inv.filesWithout;
  look.quiet = inv.quiet;
  look.color = UseColor(inv);
  look.maxCount = inv.maxCount;
  look.before = inv.before;
  look.after = inv.after;
  return look;
}

}  // namespace ravelin_cli
