#include "commands.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "diff.h"
#include "io.h"
#include "lines.h"
#include "system.h"
#include "walk.h"

namespace ravelin_cli {
namespace {

using RegexClass::REMatchInfo;

// The compile flag word of the default set, without Icase: what the file
// walk searches with whatever the object's set holds.
constexpr unsigned kNormalWord = 0x4107;
constexpr unsigned kIcaseBit = 0x2000;

// A format that formats to nothing: \E ends a case span and writes nothing.
// The library treats an empty format as "do nothing", while a user of
// `ravelin merge 'x' ''` means "delete the matches", as sed does.
const char kEmptyFormat[] = "\\E";

bool IsFileCommand(Command c) {
  return c == Command::kFindFiles || c == Command::kGrepFiles || c == Command::kChangeFiles;
}

const char* ProblemKindName(RegularExpression::ProblemKind kind) {
  switch (kind) {
    case RegularExpression::OpenFailed:
      return "OpenFailed";
    case RegularExpression::TempCreateFailed:
      return "TempCreateFailed";
    case RegularExpression::ReadFailed:
      return "ReadFailed";
    case RegularExpression::WriteFailed:
      return "WriteFailed";
    case RegularExpression::TextChanged:
      return "TextChanged";
    case RegularExpression::BackupFailed:
      return "BackupFailed";
    case RegularExpression::ReplaceFailed:
      return "ReplaceFailed";
    case RegularExpression::AttributesFailed:
      return "AttributesFailed";
    case RegularExpression::SearchFailed:
      return "SearchFailed";
  }
  return "UnknownProblem";
}

// One line per problem, naming the file the user will look at: for a
// temporary file that could not be made or written, the file it was to
// replace, with the temporary in parentheses.
std::string Describe(const RegularExpression::FileChangeProblem& p) {
  const bool temporary =
      (p.problem == RegularExpression::TempCreateFailed || p.problem == RegularExpression::WriteFailed) &&
      !p.text.empty();
  std::string line = temporary ? p.text + " (temporary " + p.fileName + ")" : p.fileName;
  line += std::string(": ") + ProblemKindName(p.problem) + " at " + std::to_string(p.position) + ": ";
  if (p.errorCode != 0) {
    line += ErrorText(p.errorCode);
  } else if (p.problem == RegularExpression::TextChanged) {
    line += "the file no longer holds the matched text";
  } else if (!p.text.empty() && !temporary) {
    line += p.text;  // SearchFailed: the engine's reason
  } else {
    line += "no further detail";
  }
  return line;
}

// Receives the events of one run and prints what the command shows.
class Printer {
 public:
  explicit Printer(Output& out) : out_(out) {}

  void PrintVector(const REMatchInfo& m) {
    for (std::size_t i = 0; i < m.size(); ++i) {
      out_.Number(static_cast<std::int64_t>(i));
      out_.Put(':');
      out_.Number(m[i].position);
      out_.Put(':');
      out_.Write(m[i].text);
      out_.Put('\n');
    }
  }

  void OnMatch(RegularExpression&, const REMatchInfo& m, unsigned, unsigned) { PrintVector(m); }

  void OnGrep(RegularExpression&, const REMatchInfo& m, unsigned line, unsigned, bool&) { PrintHit(m, line); }

  void OnFindFile(RegularExpression&, std::string fileName, bool&) {
    out_.Write(fileName);
    out_.Put('\n');
  }

 private:
  // LINE:OFFSET:TEXT of the whole match.
  void PrintHit(const REMatchInfo& m, unsigned line) {
    out_.Number(line);
    out_.Put(':');
    out_.Number(m.empty() ? -1 : m[0].position);
    out_.Put(':');
    if (!m.empty()) out_.Write(m[0].text);
    out_.Put('\n');
  }

  Output& out_;
};

// Follows ChangeFiles runs to tell how many files they changed. The library
// writes a file when the first match of the next file is reported (before
// that match's event) or when the run ends, so the problems recorded between
// the first event of one file and the first event of the next belong to the
// first file's update, except a SearchFailed that names another file (one
// the engine gave up on before any match). AttributesFailed mostly comes
// after the file was replaced; it is counted as changed.
//
// It is also where a run stops after SIGINT, SIGTERM or SIGHUP: the first
// match of a new file ends the run there, once the file before is written.
class ChangeTally {
 public:
  explicit ChangeTally(Progress& progress) : progress_(progress) {}

  // Before each run.
  void Start() {
    inFile_ = false;
    current_.clear();
    windowStart_ = 0;
  }

  void OnChangeFile(RegularExpression& re, std::string fileName, const REMatchInfo&, unsigned, bool& goOn) {
    if (!inFile_ || fileName != current_) {
      Close(re);
      inFile_ = false;  // judged: Finish must not count it again
      if (StopSignals::StopSignal() != 0) {
        stopped_ = true;
        goOn = false;
        return;
      }
      current_ = fileName;
      inFile_ = true;
      ++files_;
    }
    progress_.Update(files_, ++matches_);
  }
  // After each run: judges its last file.
  void Finish(RegularExpression& re) {
    Close(re);
    inFile_ = false;
  }

  unsigned long Changed() const { return changed_; }
  // True when a signal ended a run before a file holding a match.
  bool Stopped() const { return stopped_; }

 private:
  void Close(RegularExpression& re) {
    const auto* problems = re.GetChangeFilesErrors();
    const std::size_t end = problems == nullptr ? 0 : problems->size();
    if (inFile_) {
      bool failed = false;
      for (std::size_t k = windowStart_; k < end; ++k) {
        const RegularExpression::FileChangeProblem& p = (*problems)[k];
        if (p.problem == RegularExpression::AttributesFailed) continue;
        if (p.problem == RegularExpression::SearchFailed && p.fileName != current_) continue;
        failed = true;
      }
      if (!failed) ++changed_;
    }
    windowStart_ = end;
  }

  Progress& progress_;
  bool stopped_ = false;
  bool inFile_ = false;
  std::string current_;
  std::size_t windowStart_ = 0;
  unsigned long files_ = 0;
  unsigned long changed_ = 0;
  unsigned long matches_ = 0;
};

// A file by device and inode.
using Identity = std::pair<unsigned long long, unsigned long long>;

// The files holding a match, in walk order, with the identity each name
// led to when the scan opened it: what change-files would write.
class MatchScan {
 public:
  // Keeps one name of each file: two PATHs may reach one file (a link, or a
  // directory and a file below it), and it is changed once.
  void Add(const std::string& fileName, Identity id) {
    if (seen_.insert(id).second) {
      files_.push_back(fileName);
      identities_.emplace(fileName, id);
    }
  }
  const std::vector<std::string>& Files() const { return files_; }
  // The identity fileName led to, when the scan took it.
  bool Holds(const std::string& fileName, Identity id) const {
    const auto it = identities_.find(fileName);
    return it != identities_.end() && it->second == id;
  }

 private:
  std::vector<std::string> files_;
  std::map<std::string, Identity> identities_;
  std::set<Identity> seen_;
};

Identity IdentityOf(const SearchedFile& file) { return {file.Identity().device, file.Identity().inode}; }

// The matches of one file for the line view. With -q, -l or -L one match is
// enough, and with -m the matches past the lines it may print are dropped.
// (A handler that stops would end the walk of every file after it too.)
class HitCollector {
 public:
  HitCollector(bool firstOnly, long maxLines) : firstOnly_(firstOnly), maxLines_(maxLines) {}
  void Start() {
    hits_.clear();
    linesSeen_ = 0;
    lastLine_ = 0;
    full_ = false;
  }
  void OnGrepFile(RegularExpression&, std::string, const REMatchInfo& m, unsigned line, bool&) {
    if (full_ || m.empty() || m[0].position < 0) return;
    const std::string& text = m[0].text;
    if (maxLines_ >= 0) {
      unsigned last = line;
      for (std::size_t k = 0; k + 1 < text.size(); ++k)
        if (text[k] == '\n') ++last;
      if (last > lastLine_) {
        const unsigned fresh = last - (line > lastLine_ ? line : lastLine_ + 1) + 1;
        if (line > lastLine_ && linesSeen_ >= static_cast<unsigned long>(maxLines_)) {
          full_ = true;
          return;
        }
        linesSeen_ += fresh;
        lastLine_ = last;
      }
    }
    hits_.push_back(Hit{static_cast<std::uint64_t>(m[0].position), text.size(), line});
    if (firstOnly_) full_ = true;
  }
  // A match of a stream, searched as a subject (Grep): its search ends once
  // nothing more of it is wanted, as the search of a file for -l, -L and -q.
  void OnGrep(RegularExpression& re, const REMatchInfo& m, unsigned line, unsigned, bool& goOn) {
    OnGrepFile(re, std::string(), m, line, goOn);
    if (full_) goOn = false;
  }
  // FindFiles found a match somewhere in the file (-l, -L, -q, line by
  // line): it touches a line, which is all the view asks then.
  void Found() { hits_.push_back(Hit{0, 0, 1}); }
  const std::vector<Hit>& Hits() const { return hits_; }

 private:
  bool firstOnly_;
  long maxLines_;
  std::vector<Hit> hits_;
  unsigned long linesSeen_ = 0;
  unsigned lastLine_ = 0;
  bool full_ = false;  // nothing more of this file is wanted
};

// Where Merge puts each replacement, for the diff of --dry-run.
class EditRecorder {
 public:
  void OnMerge(RegularExpression& re, const REMatchInfo& m, unsigned, unsigned, bool&) {
    if (m.empty() || m[0].position < 0) return;
    std::string replacement;
    re.Format(replacement);
    edits_.push_back(Edit{static_cast<std::uint64_t>(m[0].position), m[0].text.size(), replacement.size()});
  }
  const std::vector<Edit>& Edits() const { return edits_; }

 private:
  std::vector<Edit> edits_;
};

// A file holding a match that change-files may not write, and why.
struct Blocker {
  std::string file;
  std::string reason;
};

// Every reason found to leave a file of the run alone, in walk order. A file
// may be named more than once. A file is blocked when it cannot be written
// (no write bit at all, as the library judges it, or not writable by this
// process), when it is itself a backup (its name carries the backup
// extension, or ends with the backup suffix), or when its backup would
// overwrite something: an existing file, another file of the run, or the
// backup of an earlier file of the run. Backup names are the library's own
// (BackupNameOf), whichever naming rule the run uses.
std::vector<Blocker> FindBlockers(const RegularExpression& re, const std::vector<std::string>& files) {
  std::vector<Blocker> blockers;
  const bool backups = !re.GetSaveExtension().empty();
  const std::set<std::string> runFiles(files.begin(), files.end());
  std::map<std::string, std::string> backupOf;  // backup name -> the file saved under it
  for (const std::string& file : files) {
    if (re.ReadOnlyFile(file) || !WritableByUs(file)) blockers.push_back({file, "it is read-only"});
    if (!backups) continue;
    if (re.BackupFile(file)) {
      blockers.push_back({file, re.GetBackupNaming() == RegularExpression::BackupNaming::Suffix
                                    ? "its name ends with the backup suffix"
                                    : "its name carries the backup extension"});
      continue;
    }
    const std::string backup = re.BackupNameOf(file);
    const auto taken = backupOf.emplace(backup, file);
    if (!taken.second) {
      blockers.push_back({file, "its backup " + backup + " would also be the backup of " + taken.first->second});
    } else if (runFiles.count(backup) != 0) {
      blockers.push_back({file, "its backup " + backup + " is a file this run changes"});
    } else if (PathExists(backup)) {
      blockers.push_back({file, "its backup " + backup + " exists already"});
    }
  }
  return blockers;
}

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

class Runner {
 public:
  explicit Runner(const Invocation& inv) : inv_(inv) {}

  int Run() {
    ExitStatus configured = kFound;
    if (!Configure(configured)) return configured;
    const RegularExpression asGiven(re_);  // the settings record keeps the user's own text
    QuoteLiteralFormat();
    if (IsFileCommand(inv_.command)) {
      QuoteLiteralText();
      WrapWordOrLine();
    }
    if (!CheckPattern()) return kTrouble;
    if (inv_.saveFile.given && !Save(asGiven)) return kTrouble;
    if (IsFileCommand(inv_.command)) re_.SetDirectoryRecursion(false);
    // With no PATH, find-files and grep-files search standard input when it
    // is a pipe or a file, as ripgrep does; otherwise, and with -r as grep -r
    // has it, the current directory.
    if ((inv_.command == Command::kFindFiles || inv_.command == Command::kGrepFiles) && roots_.empty() && !recursive_ &&
        StandardInputIsData())
      roots_.assign(1, "-");
    int status = kFound;
    switch (inv_.command) {
      case Command::kMatch:
      case Command::kMatchAll:
      case Command::kSearch:
        status = MatchOrSearch();
        break;
      case Command::kGrep:
        status = Grep();
        break;
      case Command::kMerge:
        status = Merge();
        break;
      case Command::kFindFiles:
        status = FindFiles();
        break;
      case Command::kGrepFiles:
        status = GrepFiles();
        break;
      case Command::kChangeFiles:
        status = RefuseStreams() ? kTrouble : ChangeFiles();
        break;
      case Command::kNone:
        return kTrouble;
    }
    // A string operation whose search the engine gave up (too complex for
    // the subject) has printed an incomplete answer.
    if (!IsFileCommand(inv_.command) && !re_.GetLastSearchError().empty()) {
      Complain("the search stopped early: " + re_.GetLastSearchError());
      status = kTrouble;
    }
    if (!out_.Finish()) {
      Complain(std::string("cannot write standard output: ") + std::strerror(errno));
      return kTrouble;
    }
    return status;
  }

 private:
  // The record, then the arguments, then the options. False with the exit
  // status set when something cannot be read.
  bool Configure(ExitStatus& status) {
    status = kTrouble;
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
        roots_ = inv_.paths;
        re_.SetFilesToMatch(inv_.paths.front());
      } else if (inv_.loadFile.given && !re_.GetFilesToMatch().empty()) {
        roots_.assign(1, re_.GetFilesToMatch());
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
    recursive_ = re_.GetDirectoryRecursion();
    // By default one thread a processor, up to 8: past that the disk and the
    // calling thread, which reports every match, set the pace.
    threads_ = inv_.threads > 0 ? static_cast<unsigned>(inv_.threads)
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
      } else if (inv_.inputFile.given ? !ReadWholeFile(inv_.inputFile.value, subject, error)
                                      : !ReadStandardInput(subject, error)) {
        Complain(error);
        return false;
      }
      re_.SetStringToMatch(subject);
    }
    status = kFound;
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
    RegularExpression walk;
    walk.SetExpression(re_.GetExpression());
    if (re_.IsExpressionOption(RegularExpression::Icase)) walk.AddExpressionOption(RegularExpression::Icase);
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

  void PrintCount(std::int64_t n) {
    out_.Number(n);
    out_.Put('\n');
  }

  ExitStatus MatchOrSearch() {
    Printer printer(out_);
    if (!inv_.count) {
      if (inv_.command == Command::kSearch) {
        re_.SetOnSearchingClosure(RegularExpression::OnSearchingClosure(&printer, &Printer::OnMatch));
      } else {
        re_.SetOnMatchingClosure(RegularExpression::OnMatchingClosure(&printer, &Printer::OnMatch));
      }
    }
    bool found = false;
    switch (inv_.command) {
      case Command::kMatch:
        found = re_.Match();
        break;
      case Command::kMatchAll:
        found = re_.MatchAll();
        break;
      default:
        found = re_.Search();
        break;
    }
    if (inv_.count) PrintCount(found ? 1 : 0);
    return found ? kFound : kNotFound;
  }

  ExitStatus Grep() {
    Printer printer(out_);
    if (!inv_.count) re_.SetOnGreppingClosure(RegularExpression::OnGreppingClosure(&printer, &Printer::OnGrep));
    const unsigned n = re_.Grep();
    if (inv_.count) PrintCount(n);
    return n > 0 ? kFound : kNotFound;
  }

  ExitStatus Merge() {
    if (re_.GetFormatString().empty()) re_.SetFormatString(kEmptyFormat);
    // Merge gives only the text; Grep counts the matches it replaced.
    std::string merged;
    if (!inv_.count) re_.Merge(merged);
    const unsigned n = re_.Grep();
    if (inv_.count) {
      PrintCount(n);
    } else {
      out_.Write(merged);
    }
    return n > 0 ? kFound : kNotFound;
  }

  // Binary files (a NUL byte) are searched, and changed, only when asked.
  bool BinaryAllowed() const { return inv_.unrestricted >= 3 || inv_.binary || inv_.text; }

  WalkOptions Options() const {
    WalkOptions options;
    options.recursive = recursive_;
    options.ignoreFiles = inv_.unrestricted < 1 && !inv_.noIgnore;
    options.hidden = inv_.unrestricted >= 2 || inv_.hidden;
    options.binary = BinaryAllowed();
    options.globs = inv_.globs;
    options.follow = inv_.follow;
    return options;
  }

  // Runs operation, one file operation of the library, once per PATH with
  // walk's rules in place; it returns false to end the walk. What the
  // library passed by goes to skipped_.
  void WalkFiles(Walk& walk, const std::function<bool()>& operation) {
    re_.SetFileThreads(threads_);
    walk.Run(re_, roots_, [&] {
      const bool goOn = operation();
      KeepSkipped();
      return goOn;
    });
    skipped_.insert(skipped_.end(), walk.Passed().begin(), walk.Passed().end());
  }

  void KeepSkipped() {
    const auto& s = re_.GetSkippedFiles();
    skipped_.insert(skipped_.end(), s.begin(), s.end());
  }

  ExitStatus FindFiles() {
    Printer printer(out_);
    if (!inv_.count) re_.SetOnFindFilesClosure(RegularExpression::OnFindFilesClosure(&printer, &Printer::OnFindFile));
    unsigned long n = 0;
    Walk walk(Options());
    walk.OnStream([&](const std::string& path) {
      std::string bytes;
      if (!ReadStream(path, bytes)) return true;
      HitCollector hits(true, -1);
      const std::string stopped = SearchStream(bytes, hits);
      if (!hits.Hits().empty()) {
        ++n;
        bool goOn = true;
        if (!inv_.count) printer.OnFindFile(re_, StreamName(path), goOn);
      } else if (!stopped.empty()) {
        skipped_.push_back({StreamName(path), RegularExpression::SearchGaveUp, 0, stopped});
      }
      return true;
    });
    WalkFiles(walk, [&] {
      n += re_.FindFiles();
      return true;
    });
    if (inv_.count) PrintCount(static_cast<std::int64_t>(n));
    if (ReportSkipped(skipped_, true)) return kTrouble;
    return n > 0 ? kFound : kNotFound;
  }

  // grep prints file names when it searches more than one file: several
  // PATHs, a directory or a file pattern.
  bool ShowFileNames() const {
    if (inv_.withFileName) return true;
    if (inv_.noFileName) return false;
    if (roots_.size() != 1 || IsFilePattern(roots_.front())) return true;
    return Examine(roots_.front()).kind == EntryKind::kDirectory;
  }

  bool UseColor() const {
    if (inv_.color == "always") return true;
    if (inv_.color == "never") return false;
    const char* noColor = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    if (noColor != nullptr && noColor[0] != '\0') return false;
    if (term == nullptr || std::strcmp(term, "dumb") == 0) return false;
    return IsTerminal(STDOUT_FILENO);
  }

  ExitStatus GrepFiles() {
    LineLook look;
    look.fileNames = ShowFileNames();
    look.lineNumbers = inv_.lineNumbers;
    look.byteOffsets = inv_.byteOffsets;
    look.onlyMatching = inv_.onlyMatching;
    look.invert = inv_.invert;
    look.count = inv_.count;
    look.filesWith = inv_.filesWith;
    look.filesWithout = inv_.filesWithout;
    look.quiet = inv_.quiet;
    look.color = UseColor();
    look.maxCount = inv_.maxCount;
    look.before = inv_.before;
    look.after = inv_.after;
    LineView view(look, out_);
    const bool firstOnly = !inv_.invert && (inv_.quiet || inv_.filesWith || inv_.filesWithout);
    HitCollector hits(firstOnly, inv_.invert ? -1 : inv_.maxCount);
    // When a file's first match is all that counts (line by line, any match
    // touches a line) or no line may be printed, FindFiles tells enough.
    const bool findOnly = (firstOnly && re_.GetLineBounded()) || inv_.maxCount == 0;
    if (!findOnly)
      re_.SetOnGreppingFilesClosure(RegularExpression::OnGreppingFilesClosure(&hits, &HitCollector::OnGrepFile));
    // As grep: success is a selected line, with -L too.
    bool selectedAny = false;
    bool stoppedAny = false;  // the engine gave up on a file, said as it came
    // Prints one file or stream once its matches are in hits; false ends the walk.
    const auto show = [&](const std::string& name, std::string_view bytes, bool binary, const std::string* stopped) {
      const unsigned long selected = view.File(name, bytes, hits.Hits(), !inv_.text && binary, stopped != nullptr);
      if (selected > 0) selectedAny = true;
      if (stopped != nullptr) {
        // Said here, where the file's output ends, rather than after the run.
        stoppedAny = true;
        out_.Flush();
        const std::size_t lines = LineCount(bytes.substr(0, DecidedPart(bytes, hits.Hits())));
        Complain(name + ": the search stopped early" +
                 (lines > 0 ? " after line " + std::to_string(lines) : std::string()) +
                 ", nothing of the file is shown past that point: " + *stopped);
      }
      return !(inv_.quiet && selectedAny);
    };
    Walk walk(Options());
    walk.OnBegin([&] { hits.Start(); });
    walk.OnDone([&](const SearchedFile& file) {
      if (findOnly && inv_.maxCount != 0 && file.Matches() > 0) hits.Found();
      return show(file.Name(), std::string_view(file.First(), static_cast<std::size_t>(file.Last() - file.First())),
                  file.Binary(), file.Stopped() ? &file.StopReason() : nullptr);
    });
    walk.OnStream([&](const std::string& path) {
      std::string bytes;
      if (!ReadStream(path, bytes)) return true;
      hits.Start();
      const std::string stopped = SearchStream(bytes, hits);
      return show(StreamName(path), bytes, bytes.find('\0') != std::string::npos, stopped.empty() ? nullptr : &stopped);
    });
    WalkFiles(walk, [&] {
      if (findOnly) {
        re_.FindFiles();
      } else {
        re_.GrepFiles();
      }
      return !(inv_.quiet && selectedAny);
    });
    // As grep: -q with a match succeeds whatever else happened.
    if (inv_.quiet && selectedAny) {
      if (!inv_.noMessages) ReportSkipped(skipped_, false);
      return kFound;
    }
    if (ReportSkipped(skipped_, false) || stoppedAny) return kTrouble;
    return selectedAny ? kFound : kNotFound;
  }

  // change-files writes files in place: standard input, a FIFO or a device
  // named as a PATH cannot be, and the run is refused before it starts.
  bool RefuseStreams() {
    bool refused = false;
    for (const std::string& path : roots_) {
      if (!IsStreamPath(path)) continue;
      Complain(StreamName(path) + ": change-files changes files in place; " +
               (path == "-" ? std::string("standard input") : std::string("a FIFO or a device")) +
               " cannot be changed (merge reads standard input and prints the result)");
      refused = true;
    }
    return refused;
  }

  // grep's name for standard input.
  static std::string StreamName(const std::string& path) { return path == "-" ? "(standard input)" : path; }

  // Reads a PATH the walk does not open (IsStreamPath) to its end. False,
  // with the reason among the skipped paths, when it cannot be read.
  bool ReadStream(const std::string& path, std::string& bytes) {
    int error = 0;
    if (path == "-") {
      std::string message;
      if (!ReadStandardInput(bytes, message)) error = errno != 0 ? errno : EIO;
    } else {
      error = ReadFileBytes(path, bytes);
    }
    if (error == 0) return true;
    skipped_.push_back({StreamName(path), RegularExpression::Unreadable, static_cast<unsigned long>(error), ""});
    return false;
  }

  // Searches the bytes of a stream as the file walk searches a file: the
  // expression in the normal syntax with Icase alone of the compile options,
  // the match options, line by line unless -U. Each match goes to hits. The
  // engine's message when it gave up part-way, else "".
  std::string SearchStream(const std::string& bytes, HitCollector& hits) {
    RegularExpression stream(re_);
    stream.ClearExpressionOptions();
    stream.AddExpressionOption(RegularExpression::Normal);
    if (re_.IsExpressionOption(RegularExpression::Icase)) stream.AddExpressionOption(RegularExpression::Icase);
    stream.SetStringToMatch(bytes);
    stream.SetOnGreppingClosure(RegularExpression::OnGreppingClosure(&hits, &HitCollector::OnGrep));
    stream.Grep();
    return stream.GetLastSearchError();
  }

  // Says on standard error what a file operation passed by: a missing path
  // or an unreadable file or directory (unless -s), and, with withGaveUp, a
  // file the engine gave up searching. True when anything was passed by.
  bool ReportSkipped(const std::vector<RegularExpression::SkippedFile>& skipped, bool withGaveUp) {
    bool any = false;
    for (const RegularExpression::SkippedFile& s : skipped) {
      if (s.reason == RegularExpression::SearchGaveUp) {
        if (!withGaveUp) continue;
        Complain(s.fileName + ": the search stopped early: " + s.text);
      } else if (!inv_.noMessages) {
        const unsigned long code =
            s.errorCode != 0 ? s.errorCode : (s.reason == RegularExpression::NotFound ? ENOENT : 0);
        Complain(s.fileName + ": " + (code != 0 ? ErrorText(code) : std::string("cannot be read")));
      }
      any = true;
    }
    return any;
  }

  void PrintChangeStats(unsigned long replacements, unsigned long changedFiles) {
    if (inv_.count) {
      PrintCount(static_cast<std::int64_t>(replacements));
    } else if (inv_.stats) {
      out_.Write(std::to_string(replacements) + (replacements == 1 ? " replacement, " : " replacements, ") +
                 std::to_string(changedFiles) + (changedFiles == 1 ? " file changed\n" : " files changed\n"));
    }
  }

  // What the file becomes: Merge over its bytes, with the expression,
  // options and format of the run, is what ChangeFiles writes. False, with
  // the reason among the skipped paths, when it cannot be told.
  bool MergeBytes(const std::string& name, const std::string& old, std::string& merged, std::vector<Edit>& edits) {
    RegularExpression merger(re_);
    merger.SetOnChangingFilesClosure(RegularExpression::OnChangingFilesClosure());
    merger.SetStringToMatch(old);
    merger.SetMergeCopy(true);
    EditRecorder recorder;
    merger.SetOnMergingClosure(RegularExpression::OnMergingClosure(&recorder, &EditRecorder::OnMerge));
    merger.Merge(merged);
    if (!merger.GetLastSearchError().empty()) {
      skipped_.push_back({name, RegularExpression::SearchGaveUp, 0, merger.GetLastSearchError()});
      return false;
    }
    // Merge leaves an empty subject alone, as sed and perl -p leave an empty
    // file: so does change-files.
    if (old.empty()) merged.clear();
    edits = recorder.Edits();
    return true;
  }

  // --dry-run: the unified diff of the file the scan found under name into
  // what the run makes of it; "" when it stays the same. False, with the
  // reason among the skipped paths, when it cannot be told.
  bool Preview(const std::string& name, std::string& diff) {
    std::string old;
    const int error = ReadFileBytes(name, old);
    if (error != 0) {
      skipped_.push_back({name, RegularExpression::Unreadable, static_cast<unsigned long>(error), std::string()});
      return false;
    }
    std::string merged;
    std::vector<Edit> edits;
    if (!MergeBytes(name, old, merged, edits)) return false;
    diff = merged == old ? std::string() : UnifiedDiff(name, old, merged, edits);
    return true;
  }

  // --interactive: the file's diff on standard output, the question on
  // standard error, the answer a line of standard input. y changes the file,
  // n leaves it, a changes it and all after it, q (or the end of the input)
  // leaves it and all after it.
  bool Approve(const std::string& name, const std::string& diff) {
    if (approveAll_) return true;
    if (quit_) return false;
    out_.Write(diff);
    out_.Flush();
    for (;;) {
      std::fprintf(stderr, "ravelin: change %s? [y,n,a,q] ", name.c_str());
      std::fflush(stderr);
      char answer[64];
      if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
        quit_ = true;
        return false;
      }
      switch (answer[0]) {
        case 'y':
        case 'Y':
          return true;
        case 'n':
        case 'N':
          return false;
        case 'a':
        case 'A':
          approveAll_ = true;
          return true;
        case 'q':
        case 'Q':
          quit_ = true;
          return false;
        default:
          break;
      }
    }
  }

  // The files of the settings record this run reads or writes: never
  // changed by it.
  std::set<Identity> RecordFiles() const {
    std::set<Identity> records;
    for (const Given* record : {&inv_.saveFile, &inv_.loadFile}) {
      if (!record->given) continue;
      const PathFacts facts = Examine(record->value);
      if (facts.kind == EntryKind::kFile) records.emplace(facts.device, facts.inode);
    }
    return records;
  }

  // The resolved directories (or files) that the PATHs name.
  std::vector<std::string> ResolvedRoots() const {
    std::vector<std::string> resolved;
    const std::vector<std::string> roots = roots_.empty() ? std::vector<std::string>{"."} : roots_;
    for (const std::string& root : roots) {
      std::string path = root;
      if (HasWildcards(root)) {
        const std::size_t slash = root.rfind('/');
        path = slash == std::string::npos ? "." : slash == 0 ? "/" : root.substr(0, slash);
      }
      const std::string r = ResolvedPath(path);
      if (!r.empty()) resolved.push_back(r);
    }
    return resolved;
  }

  // The links the scan passed by that lead to a file outside every PATH and
  // hold a match: named, as no run without --follow changes them.
  void NoteLinksOutside(const std::vector<std::string>& links) {
    if (links.empty()) return;
    const std::vector<std::string> roots = ResolvedRoots();
    for (const std::string& link : links) {
      const std::string target = ResolvedPath(link);
      const bool inside = std::any_of(roots.begin(), roots.end(), [&](const std::string& root) {
        return target == root ||
               (target.compare(0, root.size(), root) == 0 && (root.back() == '/' || target[root.size()] == '/'));
      });
      if (target.empty() || inside) continue;
      std::string bytes;
      if (ReadFileBytes(link, bytes) != 0) continue;
      RegularExpression probe(re_);
      probe.SetStringToMatch(bytes);
      if (probe.Grep() == 0) continue;
      Complain(link + ": left unchanged: a link to a file outside the PATHs given (--follow follows it)");
    }
  }

  // change-files first finds every file that holds a match and refuses the
  // whole run, writing nothing, when any of them cannot be changed without a
  // loss (FindBlockers), has several hard links, is binary (without
  // --binary) or lies inside a version-control folder. With --keep-going
  // the other files are changed. Then one library walk per PATH changes the
  // files the scan took, and no other: each is opened, checked and replaced
  // relative to the directories the walk opened, never by its path again,
  // and each is judged (and, with --interactive, shown) from the bytes that
  // walk holds. A file whose new bytes equal its old is left alone. SIGINT,
  // SIGTERM and SIGHUP end the run at the next file boundary with status
  // 128 + signal.
  int ChangeFiles() {
    if (re_.GetFormatString().empty()) re_.SetFormatString(kEmptyFormat);
    StopSignals signals;

    // The scan counts the matches of each file (GrepFiles without a
    // handler): it reads every file whole, so that the binary-file rule sees
    // all of it, where a search for a first match may stop reading there.
    MatchScan scan;
    std::vector<Blocker> refused;
    const std::set<Identity> records = RecordFiles();
    Walk walk(Options());
    walk.OnDone([&](const SearchedFile& file) {
      if (file.Matches() > 0) {
        if (records.count(IdentityOf(file)) != 0) {
          Complain(file.Name() + ": left unchanged: it is the settings record of this run");
          return StopSignals::StopSignal() == 0;
        }
        scan.Add(file.Name(), IdentityOf(file));
        std::string reason;
        if (InsideVersionControl(file.Name())) {
          reason = "it lies inside a version-control folder";
        } else if (!BinaryAllowed() && file.Binary()) {
          reason = "it is a binary file (--binary changes binary files)";
        } else if (file.Identity().links > 1) {
          reason = "it has " + std::to_string(file.Identity().links) +
                   " hard links (a new file would leave the other names with the old text)";
        }
        if (!reason.empty()) refused.push_back({file.Name(), reason});
      }
      return StopSignals::StopSignal() == 0;
    });
    WalkFiles(walk, [&] {
      re_.GrepFiles();
      return StopSignals::StopSignal() == 0;
    });
    re_.SetDirectoryRecursion(false);
    const std::vector<RegularExpression::SkippedFile> scanSkipped = skipped_;
    if (const int sig = StopSignals::StopSignal()) {
      Complain("stopped by " + SignalText(sig) + " before any file was changed");
      PrintChangeStats(0, 0);
      return 128 + sig;
    }
    NoteLinksOutside(walk.LinksPassed());

    std::vector<Blocker> blockers = refused;
    {
      const std::vector<Blocker> more = FindBlockers(re_, scan.Files());
      blockers.insert(blockers.end(), more.begin(), more.end());
    }
    const char* const nothing = inv_.dryRun ? "nothing would be changed" : "nothing changed";
    if (!blockers.empty() && !inv_.keepGoing) {
      ReportSkipped(scanSkipped, true);
      for (const Blocker& b : blockers) Complain(b.file + ": " + b.reason);
      Complain(std::string(nothing) +
               ": the files named above hold a match but cannot be changed safely (--keep-going changes the others)");
      PrintChangeStats(0, 0);
      return kTrouble;
    }
    std::set<std::string> blocked;
    for (const Blocker& b : blockers) blocked.insert(b.file);
    if (scan.Files().empty()) {
      PrintChangeStats(0, 0);
      return ReportSkipped(scanSkipped, true) ? kTrouble : kNotFound;
    }

    if (inv_.dryRun) {
      skipped_.clear();
      bool anyChange = false;
      for (const std::string& file : scan.Files()) {
        if (blocked.count(file) != 0) continue;
        std::string diff;
        if (!Preview(file, diff)) continue;
        if (!diff.empty()) anyChange = true;
        out_.Write(diff);
      }
      bool trouble = ReportSkipped(scanSkipped, true);
      trouble = ReportSkipped(skipped_, true) || trouble;
      for (const Blocker& b : blockers) Complain(b.file + ": would be left unchanged: " + b.reason);
      if (trouble || !blockers.empty()) return kTrouble;
      return anyChange ? kFound : kNotFound;
    }

    Progress progress;
    if (inv_.interactive) progress.Disable();
    ChangeTally tally(progress);
    re_.SetOnChangingFilesClosure(RegularExpression::OnChangingFilesClosure(&tally, &ChangeTally::OnChangeFile));
    std::set<std::string> wanted;  // taken by the scan and not blocked; met again
    for (const std::string& file : scan.Files())
      if (blocked.count(file) == 0) wanted.insert(file);
    std::set<std::string> met;
    skipped_.clear();
    bool skippedAny = ReportSkipped(scanSkipped, true);
    std::vector<std::string> leftAlone;                  // taken, but no longer to be changed safely
    std::vector<RegularExpression::SkippedFile> gaveUp;  // the engine could not tell what it becomes
    Walk changing(Options());
    changing.OnlyNames(&wanted);
    changing.OnSelect([&](const SearchedFile& file) {
      if (wanted.count(file.Name()) == 0 || !met.insert(file.Name()).second) return false;
      if (!scan.Holds(file.Name(), IdentityOf(file))) {
        leftAlone.push_back(file.Name() + ": left unchanged: it is no longer the file the scan found");
        return false;
      }
      if (file.Identity().links > 1) {
        leftAlone.push_back(file.Name() + ": left unchanged: it has " + std::to_string(file.Identity().links) +
                            " hard links");
        return false;
      }
      if (quit_) return false;
      if (StopSignals::StopSignal() != 0) return true;  // the tally ends the run at its first match
      // What the file becomes, from the bytes in hand: a file that stays
      // the same is not written; the diff is made only to be shown.
      const std::string old(file.First(), static_cast<std::size_t>(file.Last() - file.First()));
      std::string merged;
      std::vector<Edit> edits;
      const std::size_t skippedBefore = skipped_.size();
      if (!MergeBytes(file.Name(), old, merged, edits)) {
        gaveUp.insert(gaveUp.end(), skipped_.begin() + static_cast<std::ptrdiff_t>(skippedBefore), skipped_.end());
        skipped_.resize(skippedBefore);
        return false;
      }
      if (merged == old) return false;  // nothing to write
      return !inv_.interactive || Approve(file.Name(), UnifiedDiff(file.Name(), old, merged, edits));
    });
    unsigned long replacements = 0;
    std::vector<RegularExpression::FileChangeProblem> problems;
    bool stoppedBetweenRuns = false;
    WalkFiles(changing, [&] {
      if (StopSignals::StopSignal() != 0) {
        stoppedBetweenRuns = true;
        return false;
      }
      tally.Start();
      replacements += re_.ChangeFiles();
      tally.Finish(re_);
      if (const auto* p = re_.GetChangeFilesErrors()) problems.insert(problems.end(), p->begin(), p->end());
      return !quit_ && StopSignals::StopSignal() == 0;
    });
    // What this walk passed by is not reported: the scan has named the
    // paths it could not read, a search the engine gave up on is among the
    // problems (SearchFailed) or in gaveUp, and a file the scan took that
    // this walk did not meet again is named below.
    progress.Clear();
    skippedAny = ReportSkipped(gaveUp, true) || skippedAny;

    const bool stopped = StopSignals::StopSignal() != 0;
    if (!stopped && !quit_) {
      for (const std::string& file : scan.Files())
        if (wanted.count(file) != 0 && met.count(file) == 0)
          leftAlone.push_back(file + ": left unchanged: it was not found again where the scan found it");
    }
    for (const RegularExpression::FileChangeProblem& p : problems) Complain(Describe(p));
    for (const Blocker& b : blockers) Complain(b.file + ": left unchanged: " + b.reason);
    for (const std::string& line : leftAlone) Complain(line);
    if (!leftAlone.empty()) skippedAny = true;
    if (const int sig = StopSignals::StopSignal()) {
      const unsigned long changed = tally.Changed();
      Complain("stopped by " + SignalText(sig) + ": " + std::to_string(changed) +
               (changed == 1 ? " file changed" : " files changed") +
               (tally.Stopped() || stoppedBetweenRuns ? ", the files after them untouched" : ", the run had ended"));
      PrintChangeStats(replacements, changed);
      return 128 + sig;
    }
    PrintChangeStats(replacements, tally.Changed());
    if (!problems.empty() || !blockers.empty() || skippedAny) return kTrouble;
    return replacements > 0 ? kFound : kNotFound;
  }

  const Invocation& inv_;
  RegularExpression re_;
  // The save extension the settings record gets: --backup's or the loaded
  // record's, never a --suffix.
  std::string recordExtension_;
  Output out_;
  // The PATHs of a file command; empty for the current directory.
  std::vector<std::string> roots_;
  // -r, as the command line or the loaded record says; the library is
  // pointed at one PATH at a time.
  bool recursive_ = false;
  // -j: files read and searched at once.
  unsigned threads_ = 1;
  // What the file commands passed by, in walk order.
  std::vector<RegularExpression::SkippedFile> skipped_;
  bool approveAll_ = false;  // --interactive: "a" was answered
  bool quit_ = false;        // --interactive: "q" was answered
};

}  // namespace

int RunCommand(const Invocation& invocation) { return Runner(invocation).Run(); }

}  // namespace ravelin_cli
