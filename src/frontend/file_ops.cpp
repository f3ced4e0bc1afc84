// FindFiles and GrepFiles: the object's side of the file walk.
#include "engine/engine.h"
#include "filewalk/file_walker.h"
#include "frontend/internals.h"
#include "handlers/active_stack.h"
#include "handlers/events.h"

namespace RegexClass {

// The filter's defaults take everything and go on.
bool RegularExpression::FileFilter::EnterDirectory(const std::string&) { return true; }
void RegularExpression::FileFilter::LeaveDirectory(const std::string&) {}
bool RegularExpression::FileFilter::TakeFile(const std::string&) { return true; }
bool RegularExpression::FileFilter::SearchBytes(const char*, const char*) const { return true; }
bool RegularExpression::FileFilter::TakeOpenedFile(const std::string&, const FileFacts&) { return true; }
bool RegularExpression::FileFilter::SearchFile(const std::string&, const char*, const char*) { return true; }
bool RegularExpression::FileFilter::FileDone(const std::string&, const char*, const char*, unsigned) { return true; }
void RegularExpression::FileFilter::SearchStopped(const std::string&, const std::string&) {}
void RegularExpression::FileFilter::FileChanged(const std::string&, ChangeOutcome, const FileChangeProblem*,
                                                unsigned long) {}

std::shared_ptr<const detail::CompiledExpression> RegularExpression::FileExpression() {
  const bool icase = IsExpressionOption(Icase);
  if (fileExpression == nullptr || fileExpressionText != expression || fileExpressionIcase != icase) {
    fileExpression = detail::CompiledExpression::CompileForFiles(expression, icase);
    fileExpressionText = expression;
    fileExpressionIcase = icase;
  }
  return fileExpression;
}

unsigned RegularExpression::FindFiles() {
  skippedFiles.clear();
  if (expression.empty() || filesToMatch.empty()) return 0;
  detail::FileWalker walker;
  // Only the text and Icase take part in finding text in files.
  if (walker.SetCompiled(FileExpression()) != 0) return 0;
  ParseExpression();  // keeps the object's own compiled form current; not consulted
  const unsigned flags = GetMatchFlags();
  // A handler may change the object while the walk runs: the walk keeps
  // what it started with.
  const std::string spec = filesToMatch;
  const bool recurse = directoryRecursion;
  detail::ActiveObjectGuard guard(*this);
  if (!guard.Active()) return 0;  // no stack slot: the callbacks could not find us
  walker.SetThreads(fileThreads);
  walker.SetLineBounded(lineBounded);
  walker.SetFilter(fileFilter);
  const unsigned found = walker.FindFiles(&FindFilesCallback, spec, recurse, flags);
  skippedFiles = walker.Skipped();
  return found;
}

bool RegularExpression::ThisFindFilesCallback(const char* fileName) {
  const detail::FindFilesHandlers handlers = detail::Internals::FindFiles(*this);
  if (!handlers.Set()) return true;
  bool goOn = true;
  handlers.Raise(*this, std::string(fileName != nullptr ? fileName : ""), goOn);
  return goOn;
}

unsigned RegularExpression::GrepFiles() {
  skippedFiles.clear();
  if (expression.empty() || filesToMatch.empty()) return 0;
  detail::FileWalker walker;
  if (walker.SetCompiled(FileExpression()) != 0) return 0;
  ParseExpression();
  const unsigned flags = GetMatchFlags();
  const std::string spec = filesToMatch;
  const bool recurse = directoryRecursion;
  detail::ActiveObjectGuard guard(*this);
  if (!guard.Active()) return 0;
  // With no handler, ThisGrepFilesCallback would only say "go on" to every
  // match: the walk then counts without building anything per match. No
  // handler can appear meanwhile, since only handlers of ours run here.
  const bool reporting = detail::Internals::GreppingFiles(*this).Set();
  walker.SetThreads(fileThreads);
  walker.SetLineBounded(lineBounded);
  walker.SetFilter(fileFilter);
  const unsigned found = walker.GrepFiles(reporting ? &GrepFilesCallback : nullptr, spec, recurse, flags);
  skippedFiles = walker.Skipped();
  return found;
}

bool RegularExpression::ThisGrepFilesCallback(const char* fileName, const FileMatch& match) {
  const detail::GreppingFilesHandlers handlers = detail::Internals::GreppingFiles(*this);
  if (!handlers.Set()) return true;
  // The vector handed to the handlers is refilled in place from match to
  // match, its strings keeping their storage; a handler that starts another
  // walk on this object meanwhile makes that walk fill a fresh one.
  REMatchInfo fresh;
  const bool reuse = !grepFilesInfoInUse;
  REMatchInfo& info = reuse ? grepFilesInfo : fresh;
  detail::FillFileMatchVector(detail::Internals::View(match), info);
  struct InUse {
    bool& flag;
    bool was;
    ~InUse() { flag = was; }
  } inUse{grepFilesInfoInUse, grepFilesInfoInUse};
  grepFilesInfoInUse = true;
  bool goOn = true;
  handlers.Raise(*this, std::string(fileName != nullptr ? fileName : ""), static_cast<const REMatchInfo&>(info),
                 match.Line(), goOn);
  return goOn;
}

}  // namespace RegexClass
