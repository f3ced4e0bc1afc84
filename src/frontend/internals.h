// The library's own access to the private state of RegularExpression, for
// the parts of ChangeFiles that are not members (the walk's callbacks), the
// file walks' glue and the tests of the file update. It stands at the front
// of the library, above every other folder: only the front reaches into the
// object, and the machinery below it takes what it needs by value.
#ifndef RAVELIN_FRONTEND_INTERNALS_H
#define RAVELIN_FRONTEND_INTERNALS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "handlers/events.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

struct Internals {
  // The walk's failure callback for ChangeFiles: the engine gave up on a file
  // part-way. Records SearchFailed for it on the object on top of the
  // calling thread's stack and drops that file's queued replacements, so it
  // stays untouched. The walk goes on.
  static bool MergeFilesFailure(const char* fileName, const std::string& reason);
  // The walk's end-of-file callback for ChangeFiles: every match of the file
  // has been reported; puts the new file in place. The walk goes on.
  static bool MergeFilesEnd(const char* fileName);
  // Tells the object's file filter what ChangeFiles did with a file
  // (FileFilter::FileChanged); the problem named is the first recorded from
  // index `from` on, or none.
  static void TellFileChanged(RegularExpression& re, const std::string& name, RegularExpression::ChangeOutcome outcome,
                              std::size_t from, std::uint64_t replacements);
  // The name of the file whose replacements are pending: during a run, the
  // file whose matches are coming in; else the queued one ("" when none).
  static const std::string& PendingName(const RegularExpression& re);
  // The handlers of a file event as they are set now.
  static FindFilesHandlers FindFiles(const RegularExpression& re) {
    return {re.onFindFiles, re.onFindFilesClosure, re.eventFunctions.get(), &EventFunctions::findFiles};
  }
  static GreppingFilesHandlers GreppingFiles(const RegularExpression& re) {
    return {re.onGreppingFiles, re.onGreppingFilesClosure, re.eventFunctions.get(), &EventFunctions::greppingFiles};
  }
  static ChangingFilesHandlers ChangingFiles(const RegularExpression& re) {
    return {re.onChangingFiles, re.onChangingFilesClosure, re.eventFunctions.get(), &EventFunctions::changingFiles};
  }
  // The engine's view of a reported match.
  static const MatchView& View(const FileMatch& match) { return *match.view_; }

  // Direct access for tests.
  static RegularExpression::MergeFileInformation& Pending(RegularExpression& re) { return re.mergeFileInformation; }
  static std::vector<RegularExpression::FileChangeProblem>& Problems(RegularExpression& re) {
    return re.changeFilesErrors;
  }
  static std::uint32_t& ChangeCount(RegularExpression& re) { return re.changeCount; }
  static std::size_t MergeSaveDepth(const RegularExpression& re) { return re.mergeSaveStack.size(); }
  // Pushes the MergeSave that ChangeFiles would push for the object now.
  static void PushMergeSave(RegularExpression& re) {
    re.ParseExpression();
    RegularExpression::MergeSave save;
    save.savedExpression = re.compiledExpression;
    save.matchFlags = re.GetMatchFlags();
    re.mergeSaveStack.push(save);
  }
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FRONTEND_INTERNALS_H
