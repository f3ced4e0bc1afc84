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
namespace detail {

// The replacement is a function of the saved expression, the match flags,
// the format and the matched text alone, so an equal text (a literal search
// matches the same text every time) is given the same replacement again.
struct ReplacementCache {
  std::shared_ptr<const CompiledExpression> expression;
  unsigned matchFlags = 0;
  std::string format;
  std::string text;
  std::string replacement;

  bool Holds(const RegularExpression::MergeSave& save, const std::string& fmt, const std::string& matched) const {
    return expression != nullptr && expression == save.savedExpression && matchFlags == save.matchFlags &&
           text == matched && format == fmt;
  }
  void Forget() { expression.reset(); }
};

}  // namespace detail

namespace {

// Pops the run's MergeSave and forgets the cached replacement on every way
// out; on the way out by an exception it also drops the replacements still
// queued (files written before stay written).
class RunGuard {
 public:
  RunGuard(std::stack<RegularExpression::MergeSave, std::deque<RegularExpression::MergeSave>>& saves,
           RegularExpression::MergeFileInformation& pending, detail::ReplacementCache* cache)
      : saves_(saves), pending_(pending), cache_(cache), exceptions_(std::uncaught_exceptions()) {}
  ~RunGuard() {
    if (!saves_.empty()) saves_.pop();
    if (cache_ != nullptr) cache_->Forget();
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
  detail::ReplacementCache* cache_;
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
  if (mergeReplacementCache == nullptr) mergeReplacementCache = std::make_shared<detail::ReplacementCache>();
  mergeSaveStack.push(save);
  {
    RunGuard run(mergeSaveStack, mergeFileInformation, mergeReplacementCache.get());
    detail::ActiveObjectGuard active(*this);
    if (!active.Active()) return 0;
    // A handler may change the object meanwhile: the walk keeps what it started with.
    const std::string spec = filesToMatch;
    walker.GrepFiles(&MergeFilesCallback, spec, directoryRecursion, save.matchFlags,
                     &detail::Internals::MergeFilesFailure);
  }
  mergeSkipFile.clear();
  MergeUpdateFile();
  return changeCount;
}

bool RegularExpression::ThisMergeFilesCallback(const char* fileName, const FileMatch& match) {
  // A further match of the pending file (the usual case) has passed the
  // checks below already.
  if (mergeFileInformation.fileName != fileName) {
    MergeUpdateFile();
    if (mergeSkipFile == fileName) return true;
    mergeSkipFile.clear();
    const std::string name(fileName);
    if (BackupFile(name) || ReadOnlyFile(name)) return false;
  }

  if (detail::HasHandler(onChangingFiles, onChangingFilesClosure)) {
    REMatchInfo info;
    const unsigned marks = match.Marks();
    info.reserve(marks);
    for (unsigned i = 0; i < marks; ++i) info.push_back(REMatch{match.What(i), match.Position(i)});
    bool goOn = true;
    detail::Raise(*this, onChangingFiles, onChangingFilesClosure, std::string(fileName), info, match.Line(), goOn);
    if (!goOn) return false;
  }

  if (mergeFileInformation.fileName.empty()) mergeFileInformation.fileName = fileName;
  GrepInformation entry;
  entry.text = match.What(0);
  entry.position = static_cast<std::uint64_t>(match.Position(0));
  const MergeSave* save = mergeSaveStack.empty() ? nullptr : &mergeSaveStack.top();
  detail::ReplacementCache* cache = mergeReplacementCache.get();
  if (save != nullptr && cache != nullptr && cache->Holds(*save, formatString, entry.text)) {
    entry.replacement = cache->replacement;
  } else {
    std::string failure;
    if (!ComputeReplacement(save, formatString, entry.text, &entry.replacement, &failure)) {
      // The file cannot be changed as asked: leave all of it untouched.
      changeFilesErrors.push_back(SearchProblem(fileName, failure));
      if (mergeFileInformation.fileName == fileName) {
        mergeFileInformation.fileName.clear();
        mergeFileInformation.grepInformation.clear();
      }
      mergeSkipFile = fileName;
      return true;
    }
    if (save != nullptr && cache != nullptr) {
      cache->expression = save->savedExpression;
      cache->matchFlags = save->matchFlags;
      cache->format = formatString;
      cache->text = entry.text;
      cache->replacement = entry.replacement;
    }
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
