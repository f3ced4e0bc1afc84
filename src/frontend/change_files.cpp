// ChangeFiles: search and replace inside files. The file walk holds each
// file (locked, read whole) while its matches are reported; the callback
// writes the new contents as they come (detail::FileChange), each match
// replaced by the format applied to the match where it stands, so that what
// a file becomes equals Merge over its old bytes. When the file's search
// ends, the new file is put in place.
#include <exception>
#include <stdexcept>

#include "engine/engine.h"
#include "fileupdate/file_change.h"
#include "fileupdate/file_rewrite.h"
#include "filewalk/file_walker.h"
#include "frontend/internals.h"
#include "handlers/active_stack.h"
#include "handlers/events.h"
#include "stringops/string_ops.h"

namespace RegexClass {
namespace detail {

struct ChangeRun {
  FileChange change;               // the file being written, while one is
  std::string fileName;            // the file whose matches are coming in; "" between files
  bool passOver = false;           // that file is left as it is
  std::size_t problemsBefore = 0;  // the problems recorded before that file's first match
  bool extensionUsable = true;
  BackupLedger backups;     // the backups written by this run
  std::string replacement;  // reused from match to match
};

}  // namespace detail

namespace {

// Pops the run's MergeSave and puts back the object's previous run on every
// way out; on the way out by an exception it also drops the replacements
// still queued (files written before stay written; the file being written
// is dropped with the run).
class RunGuard {
 public:
  RunGuard(RegularExpression& re,
           std::stack<RegularExpression::MergeSave, std::deque<RegularExpression::MergeSave>>& saves,
           RegularExpression::MergeFileInformation& pending, detail::ChangeRun*& slot, detail::ChangeRun* run)
      : saves_(saves), pending_(pending), slot_(slot), previous_(slot), exceptions_(std::uncaught_exceptions()) {
    (void)re;
    slot_ = run;
  }
  ~RunGuard() {
    slot_ = previous_;
    if (!saves_.empty()) saves_.pop();
    if (std::uncaught_exceptions() > exceptions_) {
      pending_.fileName.clear();
      pending_.grepInformation.clear();
    }
  }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

 private:
  std::stack<RegularExpression::MergeSave, std::deque<RegularExpression::MergeSave>>& saves_;
  RegularExpression::MergeFileInformation& pending_;
  detail::ChangeRun*& slot_;
  detail::ChangeRun* previous_;
  int exceptions_;
};

// Names a file pending with nothing queued yet for the time of a scope: the
// name is taken back at the end unless something was queued meanwhile.
class NamedWhileFirstEvent {
 public:
  NamedWhileFirstEvent(RegularExpression::MergeFileInformation& pending, const char* fileName)
      : pending_(pending), named_(pending.fileName.empty()) {
    if (named_) pending_.fileName = fileName;
  }
  ~NamedWhileFirstEvent() {
    if (named_ && pending_.grepInformation.empty()) pending_.fileName.clear();
  }
  NamedWhileFirstEvent(const NamedWhileFirstEvent&) = delete;
  NamedWhileFirstEvent& operator=(const NamedWhileFirstEvent&) = delete;

 private:
  RegularExpression::MergeFileInformation& pending_;
  bool named_;
};

// Raises OnChangingFiles (when a handler is set) with one entry per mark;
// false when the handler cleared go-on.
bool RaiseChangingFiles(RegularExpression& re, const detail::ChangingFilesHandlers& handlers, const char* fileName,
                        const FileMatch& match) {
  if (!handlers.Set()) return true;
  const REMatchInfo info = detail::FileMatchVector(detail::Internals::View(match));
  bool goOn = true;
  handlers.Raise(re, std::string(fileName), info, match.Line(), goOn);
  return goOn;
}

// The regex whose traits a format uses ($u, $l case changes): the run's
// saved expression when it compiled.
const boost::regex* FormatRegex(const RegularExpression::MergeSave* save) {
  if (save == nullptr || !save->savedExpression || !save->savedExpression->Usable()) return nullptr;
  return &save->savedExpression->Regex();
}

}  // namespace

std::string RegularExpression::SaveExtensionFault(const std::string& extension) {
  if (extension.empty()) return std::string();  // no backup
  if (extension.find('/') != std::string::npos) return "cannot hold '/'";
  if (extension.find('\0') != std::string::npos) return "cannot hold a NUL byte";
  const std::size_t first = extension.find_first_not_of(" \t\n\r\f\v");
  if (first == std::string::npos) return "cannot be empty or blank";
  const std::size_t last = extension.find_last_not_of(" \t\n\r\f\v");
  const std::string trimmed = extension.substr(first, last - first + 1);
  if (trimmed == "." || trimmed == "..") return "cannot be '" + trimmed + "'";
  return std::string();
}

unsigned RegularExpression::ChangeFiles() {
  changeFilesErrors.clear();
  skippedFiles.clear();
  if (expression.empty() || filesToMatch.empty() || formatString.empty()) return 0;
  detail::FileWalker walker;
  const std::shared_ptr<const detail::CompiledExpression> searched = FileExpression();
  if (walker.SetCompiled(searched) != 0) return 0;
  // An option word the engine cannot express changes nothing, as in the
  // string operations.
  if (ParseExpression() != 0) return 0;
  changeCount = 0;
  MergeSave save;
  save.savedExpression = compiledExpression;
  save.matchFlags = GetMatchFlags();
  mergeSaveStack.push(save);
  detail::ChangeRun run;
  run.extensionUsable = SaveExtensionFault(saveExtension).empty();
  run.change.SetSearch(searched, save.matchFlags, lineBounded);
  {
    RunGuard guard(*this, mergeSaveStack, mergeFileInformation, changeRun, &run);
    detail::ActiveObjectGuard active(*this);
    if (!active.Active()) return 0;
    // A handler may change the object meanwhile: the walk keeps what it started with.
    const std::string spec = filesToMatch;
    walker.SetLineBounded(lineBounded);
    walker.SetFilter(fileFilter);
    walker.ChangeFiles(&MergeFilesCallback, &detail::Internals::MergeFilesEnd, &detail::Internals::MergeFilesFailure,
                       spec, directoryRecursion, save.matchFlags);
    skippedFiles = walker.Skipped();
  }
  MergeUpdateFile();  // replacements a caller queued by hand, if any
  return changeCount;
}

bool RegularExpression::ThisMergeFilesCallback(const char* fileName, const FileMatch& match) {
  const detail::MatchView& view = detail::Internals::View(match);
  detail::ChangeRun* run = changeRun;
  if (run == nullptr || view.file == nullptr) return QueueMergeFilesMatch(fileName, match);

  const detail::FileInHand& file = *view.file;
  if (run->fileName != fileName) {
    // The first match of a file: the file before it was put in place when
    // its search ended.
    run->fileName = fileName;
    run->passOver = false;
    run->problemsBefore = changeFilesErrors.size();
    // A backup or a read-only file ends the run.
    if (BackupFile(run->fileName) || (file.status.mode & 0222) == 0) return false;
  }
  if (run->passOver) return true;

  if (!RaiseChangingFiles(*this, detail::Internals::ChangingFiles(*this), fileName, match)) return false;

  if (!run->change.Active()) {
    if (!run->extensionUsable) {
      detail::Record(changeFilesErrors, BackupNameOf(run->fileName), BackupFailed, 0, EINVAL);
      run->passOver = true;
      return true;
    }
    if (!run->change.Begin(file, changeFilesErrors)) {
      run->passOver = true;
      return true;
    }
  }
  const boost::cmatch& m = *view.match;
  run->replacement.clear();
  detail::AppendFormatted(m, formatString, FormatRegex(mergeSaveStack.empty() ? nullptr : &mergeSaveStack.top()),
                          run->replacement);
  const std::uint64_t offset = static_cast<std::uint64_t>(m[0].first - file.first);
  const std::uint64_t length = static_cast<std::uint64_t>(m[0].second - m[0].first);
  if (!run->change.Replace(offset, length, run->replacement, changeFilesErrors)) run->passOver = true;
  return true;
}

// The match of a walk that holds no file for this object (a caller reporting
// matches by hand): queued for MergeUpdateFile, with its replacement made
// from the match where it stands.
bool RegularExpression::QueueMergeFilesMatch(const char* fileName, const FileMatch& match) {
  if (mergeFileInformation.fileName != fileName) {
    MergeUpdateFile();
    const std::string name(fileName);
    if (BackupFile(name) || ReadOnlyFile(name)) return false;
  }
  {
    // The file is pending while its first event runs (ReplaceExtension names
    // its backup), and stays so only when a replacement is queued for it.
    NamedWhileFirstEvent named(mergeFileInformation, fileName);
    if (!RaiseChangingFiles(*this, detail::Internals::ChangingFiles(*this), fileName, match)) return false;
  }
  if (mergeFileInformation.fileName.empty()) mergeFileInformation.fileName = fileName;
  const detail::MatchView& view = detail::Internals::View(match);
  GrepInformation entry;
  entry.text = match.What(0);
  entry.position = static_cast<std::uint64_t>(match.Position(0));
  detail::AppendFormatted(*view.match, formatString,
                          FormatRegex(mergeSaveStack.empty() ? nullptr : &mergeSaveStack.top()), entry.replacement);
  mergeFileInformation.grepInformation.push_back(std::move(entry));
  return true;
}

const std::vector<RegularExpression::FileChangeProblem>* RegularExpression::GetChangeFilesErrors() const {
  return changeFilesErrors.empty() ? nullptr : &changeFilesErrors;
}

namespace detail {

void Internals::TellFileChanged(RegularExpression& re, const std::string& name,
                                RegularExpression::ChangeOutcome outcome, std::size_t from,
                                std::uint64_t replacements) {
  if (re.fileFilter == nullptr) return;
  const RegularExpression::FileChangeProblem* problem =
      from < re.changeFilesErrors.size() ? &re.changeFilesErrors[from] : nullptr;
  re.fileFilter->FileChanged(name, outcome, problem, static_cast<unsigned long>(replacements));
}

bool Internals::MergeFilesEnd(const char* fileName) {
  RegularExpression* re = TopActiveObject();
  if (re == nullptr) return false;
  ChangeRun* run = re->changeRun;
  if (run == nullptr || run->fileName != fileName) return true;
  const std::string name = std::move(run->fileName);
  run->fileName.clear();  // nothing is pending until the next file's first match
  using Outcome = RegularExpression::ChangeOutcome;
  if (!run->change.Active()) {
    // Passed over after a problem; else a handler ended the run before the
    // file was begun, and it is not told.
    if (run->passOver) TellFileChanged(*re, name, Outcome::LeftUnchanged, run->problemsBefore, 0);
    return true;
  }
  const std::uint64_t replaced = run->change.Replacements();
  const bool differs = run->change.Differs();
  const std::string backupName = re->BackupNameOf(name);
  const std::string backupEntry = re->BackupNameOf(*run->change.File()->entryName);
  const std::size_t before = re->changeFilesErrors.size();
  if (run->change.Finish(backupEntry, backupName, run->backups, re->changeFilesErrors)) {
    re->changeCount += static_cast<std::uint32_t>(replaced);
    TellFileChanged(*re, name, differs ? Outcome::Replaced : Outcome::SameText, before, replaced);
  } else {
    TellFileChanged(*re, name, Outcome::LeftUnchanged, before, 0);
  }
  return true;
}

const std::string& Internals::PendingName(const RegularExpression& re) {
  if (re.changeRun != nullptr && !re.changeRun->fileName.empty()) return re.changeRun->fileName;
  return re.mergeFileInformation.fileName;
}

bool Internals::MergeFilesFailure(const char* fileName, const std::string& reason) {
  RegularExpression* re = TopActiveObject();
  if (re == nullptr) return false;
  const std::string name(fileName);
  const std::size_t problem = re->changeFilesErrors.size();
  detail::Record(re->changeFilesErrors, name, RegularExpression::SearchFailed, 0, 0, reason);
  ChangeRun* run = re->changeRun;
  if (run != nullptr && run->fileName == name) {
    run->change.Abandon();
    run->passOver = true;
    run->fileName.clear();
  }
  if (re->mergeFileInformation.fileName == name) {
    re->mergeFileInformation.fileName.clear();
    re->mergeFileInformation.grepInformation.clear();
  }
  if (run != nullptr) TellFileChanged(*re, name, RegularExpression::ChangeOutcome::LeftUnchanged, problem, 0);
  return true;
}

}  // namespace detail
}  // namespace RegexClass
