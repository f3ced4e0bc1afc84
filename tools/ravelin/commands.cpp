#include "commands.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "io.h"

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
    case RegularExpression::OpenFailed: return "OpenFailed";
    case RegularExpression::TempCreateFailed: return "TempCreateFailed";
    case RegularExpression::ReadFailed: return "ReadFailed";
    case RegularExpression::WriteFailed: return "WriteFailed";
    case RegularExpression::TextChanged: return "TextChanged";
    case RegularExpression::BackupFailed: return "BackupFailed";
    case RegularExpression::ReplaceFailed: return "ReplaceFailed";
    case RegularExpression::AttributesFailed: return "AttributesFailed";
    case RegularExpression::SearchFailed: return "SearchFailed";
  }
  return "UnknownProblem";
}

std::string Describe(const RegularExpression::FileChangeProblem& p) {
  std::string line = p.fileName + ": " + ProblemKindName(p.problem) + " at " + std::to_string(p.position) + ": ";
  if (p.errorCode != 0) {
    line += std::strerror(static_cast<int>(p.errorCode));
  } else if (p.problem == RegularExpression::TextChanged) {
    line += "the file no longer holds the matched text";
  } else if (!p.text.empty()) {
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

  void OnGrepFile(RegularExpression&, std::string fileName, const REMatchInfo& m, unsigned line, bool&) {
    out_.Write(fileName);
    out_.Put(':');
    PrintHit(m, line);
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

// Counts files and matches of grep-files for the progress line. Files
// arrive one after another, so a change of name is a new file.
class Tally {
 public:
  explicit Tally(Progress& progress) : progress_(progress) {}

  void OnGrepFile(RegularExpression&, std::string fileName, const REMatchInfo&, unsigned, bool&) {
    if (matches_ == 0 || fileName != lastFile_) {
      ++files_;
      lastFile_ = fileName;
    }
    progress_.Update(files_, ++matches_);
  }

 private:
  Progress& progress_;
  std::string lastFile_;
  unsigned long files_ = 0;
  unsigned long matches_ = 0;
};

// Follows a ChangeFiles run to tell how many files it changed. The library
// writes a file when the first match of the next file is reported (before
// that match's event) or when the run ends, so the problems recorded between
// the first event of one file and the first event of the next belong to the
// first file's update, except a SearchFailed that names another file (one
// the engine gave up on before any match). AttributesFailed mostly comes
// after the file was replaced; it is counted as changed.
class ChangeTally {
 public:
  explicit ChangeTally(Progress& progress) : progress_(progress) {}

  void OnChangeFile(RegularExpression& re, std::string fileName, const REMatchInfo&, unsigned, bool&) {
    if (matches_ == 0 || fileName != current_) {
      Close(re);
      current_ = fileName;
      ++files_;
    }
    progress_.Update(files_, ++matches_);
  }
  // After the run: judges the last file.
  void Finish(RegularExpression& re) { Close(re); }

  unsigned long Changed() const { return changed_; }

 private:
  void Close(RegularExpression& re) {
    const auto* problems = re.GetChangeFilesErrors();
    const std::size_t end = problems == nullptr ? 0 : problems->size();
    if (matches_ > 0) {
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
  std::string current_;
  std::size_t windowStart_ = 0;
  unsigned long files_ = 0;
  unsigned long changed_ = 0;
  unsigned long matches_ = 0;
};

// Finds the first file that would end a ChangeFiles run: a file holding a
// match whose name carries the backup extension, or that is read-only.
class BlockerScan {
 public:
  void OnFindFile(RegularExpression& re, std::string fileName, bool& goOn) {
    if (re.BackupFile(fileName)) {
      reason_ = "its name carries the backup extension";
    } else if (re.ReadOnlyFile(fileName)) {
      reason_ = "it is read-only";
    } else {
      return;
    }
    file_ = fileName;
    goOn = false;
  }
  bool Found() const { return !reason_.empty(); }
  const std::string& File() const { return file_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string file_;
  std::string reason_;
};

class Runner {
 public:
  explicit Runner(const Invocation& inv) : inv_(inv) {}

  ExitStatus Run() {
    ExitStatus status = kFound;
    if (!Configure(status)) return status;
    if (!CheckPattern()) return kTrouble;
    if (inv_.saveFile.given && !Save()) return kTrouble;
    switch (inv_.command) {
      case Command::kMatch:
      case Command::kMatchAll:
      case Command::kSearch: status = MatchOrSearch(); break;
      case Command::kGrep: status = Grep(); break;
      case Command::kMerge: status = Merge(); break;
      case Command::kFindFiles: status = FindFiles(); break;
      case Command::kGrepFiles: status = GrepFiles(); break;
      case Command::kChangeFiles: status = ChangeFiles(); break;
      case Command::kNone: return kTrouble;
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
    if (shape->filespec) take("FILESPEC", &RegularExpression::GetFilesToMatch, &RegularExpression::SetFilesToMatch);

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
    if (inv_.copy >= 0) re_.SetMergeCopy(inv_.copy == 1);
    if (inv_.backup.given) re_.SetSaveExtension(inv_.backup.value);

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

  bool Save() {
    std::ofstream file(inv_.saveFile.value, std::ios::binary | std::ios::trunc);
    if (file) file << re_;
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
      case Command::kMatch: found = re_.Match(); break;
      case Command::kMatchAll: found = re_.MatchAll(); break;
      default: found = re_.Search(); break;
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

  ExitStatus FindFiles() {
    Printer printer(out_);
    if (!inv_.count) re_.SetOnFindFilesClosure(RegularExpression::OnFindFilesClosure(&printer, &Printer::OnFindFile));
    const unsigned n = re_.FindFiles();
    if (inv_.count) PrintCount(n);
    return n > 0 ? kFound : kNotFound;
  }

  ExitStatus GrepFiles() {
    Printer printer(out_);
    Progress progress;
    Tally tally(progress);
    if (!inv_.count) {
      re_.SetOnGreppingFilesClosure(RegularExpression::OnGreppingFilesClosure(&printer, &Printer::OnGrepFile));
    } else if (progress.Enabled()) {
      re_.SetOnGreppingFilesClosure(RegularExpression::OnGreppingFilesClosure(&tally, &Tally::OnGrepFile));
    }
    const unsigned n = re_.GrepFiles();
    progress.Clear();
    if (inv_.count) PrintCount(n);
    return n > 0 ? kFound : kNotFound;
  }

  ExitStatus ChangeFiles() {
    // The library ends a run at the first file holding a match that is
    // read-only or carries the backup extension, and says nothing of it.
    // Look for such a file first, so that the stop can be reported.
    BlockerScan scan;
    re_.SetOnFindFilesClosure(RegularExpression::OnFindFilesClosure(&scan, &BlockerScan::OnFindFile));
    re_.FindFiles();

    if (re_.GetFormatString().empty()) re_.SetFormatString(kEmptyFormat);
    Progress progress;
    ChangeTally tally(progress);
    re_.SetOnChangingFilesClosure(RegularExpression::OnChangingFilesClosure(&tally, &ChangeTally::OnChangeFile));
    const unsigned replacements = re_.ChangeFiles();
    tally.Finish(re_);
    progress.Clear();

    bool trouble = false;
    if (const auto* problems = re_.GetChangeFilesErrors()) {
      for (const RegularExpression::FileChangeProblem& p : *problems) Complain(Describe(p));
      trouble = !problems->empty();
    }
    if (scan.Found()) {
      Complain(scan.File() + ": holds a match but " + scan.Reason() +
               "; change-files stopped there and left it and the files after it unchanged");
      trouble = true;
    }
    const unsigned long changedFiles = tally.Changed();
    if (inv_.count) {
      PrintCount(replacements);
    } else if (inv_.stats) {
      out_.Write(std::to_string(replacements) + (replacements == 1 ? " replacement, " : " replacements, ") +
                 std::to_string(changedFiles) + (changedFiles == 1 ? " file changed\n" : " files changed\n"));
    }
    if (trouble) return kTrouble;
    return replacements > 0 ? kFound : kNotFound;
  }

  const Invocation& inv_;
  RegularExpression re_;
  Output out_;
};

}  // namespace

ExitStatus RunCommand(const Invocation& invocation) { return Runner(invocation).Run(); }

}  // namespace ravelin_cli
