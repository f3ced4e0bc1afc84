// ChangeFiles: search and replace inside files. The file walk reports every
// match; the callback queues one replacement per match for the current file
// and hands each finished file to MergeUpdateFile.
#include <exception>
#include <iterator>
#include <stdexcept>

#include "engine/engine.h"
#include "fileupdate/internals.h"
#include "filewalk/file_walker.h"
#include "handlers/active_stack.h"
#include "handlers/events.h"

namespace RegexClass {
namespace {

// Pops the run's MergeSave on every way out; on the way out by an exception
// it also drops the replacements still queued (files written before stay
// written).
class RunGuard {
 public:
  RunGuard(std::stack<RegularExpression::MergeSave, std::deque<RegularExpression::MergeSave>>& saves,
           RegularExpression::MergeFileInformation& pending)
      : saves_(saves), pending_(pending), exceptions_(std::uncaught_exceptions()) {}
  ~RunGuard() {
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
  int exceptions_;
};

// The replacement of one match: the saved expression run again over the
// matched text alone, each of its matches formatted and the text around
// them copied. An expression that did not compile with the object's full
// options leaves the text unchanged. False (and *failure) when the engine
// gives up.
bool ComputeReplacement(const RegularExpression::MergeSave* save, const std::string& format,
                        const std::string& text, std::string* out, std::string* failure) {
  if (save == nullptr || !save->savedExpression || !save->savedExpression->Usable()) {
    *out = text;
    return true;
  }
  const detail::CompiledExpression& compiled = *save->savedExpression;
  const boost::match_flag_type flags = compiled.SearchFlags(save->matchFlags);
  const char* first = text.data();
  const char* last = first + text.size();
  const char* copied = first;
  out->clear();
  detail::MatchWalker walker(first, last, compiled.Regex(), flags);
  try {
    while (walker.Next()) {
      const boost::cmatch& m = walker.Match();
      out->append(copied, m[0].first);
      m.format(std::back_inserter(*out), format, flags, compiled.Regex());
      copied = m[0].second;
    }
  } catch (const std::runtime_error& error) {
    *failure = error.what();
    return false;
  } catch (const std::logic_error& error) {
    *failure = error.what();
    return false;
  }
  if (walker.Failed()) {
    *failure = walker.Failure();
    return false;
  }
  out->append(copied, last);
  return true;
}

RegularExpression::FileChangeProblem SearchProblem(const std::string& fileName, const std::string& reason) {
  RegularExpression::FileChangeProblem p;
  p.fileName = fileName;
  p.problem = RegularExpression::SearchFailed;
  p.text = reason;
  return p;
}

}  // namespace

unsigned RegularExpression::ChangeFiles() {
  changeFilesErrors.clear();
  if (expression.empty() || filesToMatch.empty() || formatString.empty()) return 0;
  detail::FileWalker walker;
  if (walker.SetExpression(expression, IsExpressionOption(Icase)) != 0) return 0;
  ParseExpression();  // brings compiledExpression up to date; never throws
  changeCount = 0;
  mergeSkipFile.clear();
  MergeSave save;
  save.savedExpression = compiledExpression;
  save.matchFlags = GetMatchFlags();
  mergeSaveStack.push(save);
  {
    RunGuard run(mergeSaveStack, mergeFileInformation);
    detail::ActiveObjectGuard active(*this);
    if (!active.Active()) return 0;
    walker.GrepFiles(&MergeFilesCallback, filesToMatch, directoryRecursion, save.matchFlags,
                     &detail::Internals::MergeFilesFailure);
  }
  mergeSkipFile.clear();
  MergeUpdateFile();
  return changeCount;
}

bool RegularExpression::ThisMergeFilesCallback(const char* fileName, const FileMatch& match) {
  std::string name(fileName);
  if (name != mergeFileInformation.fileName) {
    MergeUpdateFile();
    // A file with pending replacements has passed the checks below already.
    if (name == mergeSkipFile) return true;
    mergeSkipFile.clear();
    if (BackupFile(name) || ReadOnlyFile(name)) return false;
  }

  if (detail::HasHandler(onChangingFiles, onChangingFilesClosure)) {
    REMatchInfo info;
    const unsigned marks = match.Marks();
    info.reserve(marks);
    for (unsigned i = 0; i < marks; ++i) info.push_back(REMatch{match.What(i), match.Position(i)});
    bool goOn = true;
    detail::Raise(*this, onChangingFiles, onChangingFilesClosure, name, info, match.Line(), goOn);
    if (!goOn) return false;
  }

  if (mergeFileInformation.fileName.empty()) mergeFileInformation.fileName = name;
  GrepInformation entry;
  entry.text = match.What(0);
  entry.position = static_cast<std::uint64_t>(match.Position(0));
  std::string failure;
  if (!ComputeReplacement(mergeSaveStack.empty() ? nullptr : &mergeSaveStack.top(), formatString, entry.text,
                          &entry.replacement, &failure)) {
    // The file cannot be changed as asked: leave all of it untouched.
    changeFilesErrors.push_back(SearchProblem(name, failure));
    if (mergeFileInformation.fileName == name) {
      mergeFileInformation.fileName.clear();
      mergeFileInformation.grepInformation.clear();
    }
    mergeSkipFile = name;
    return true;
  }
  mergeFileInformation.grepInformation.push_back(std::move(entry));
  return true;
}

const std::vector<RegularExpression::FileChangeProblem>* RegularExpression::GetChangeFilesErrors() const {
  return changeFilesErrors.empty() ? nullptr : &changeFilesErrors;
}

namespace detail {

bool Internals::MergeFilesFailure(const char* fileName, const std::string& reason) {
  RegularExpression* re = TopActiveObject();
  if (re == nullptr) return false;
  const std::string name(fileName);
  re->changeFilesErrors.push_back(SearchProblem(name, reason));
  if (re->mergeFileInformation.fileName == name) {
    re->mergeFileInformation.fileName.clear();
    re->mergeFileInformation.grepInformation.clear();
  }
  return true;
}

}  // namespace detail
}  // namespace RegexClass
