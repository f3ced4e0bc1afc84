// What the file commands share: one library file operation per PATH with
// the walk's rules in place, and the list of what those walks passed by.
#ifndef RAVELIN_TOOLS_FILE_WALKS_H
#define RAVELIN_TOOLS_FILE_WALKS_H

#include <functional>
#include <string>
#include <vector>

#include "arguments.h"
#include "setup.h"
#include "walk.h"

namespace ravelin_cli {

using Skipped = std::vector<RegularExpression::SkippedFile>;

class FileWalks {
 public:
  FileWalks(const Invocation& inv, Setup& setup) : inv_(inv), setup_(setup) {}

  // The rules of the run's walks.
  WalkOptions Options() const { return WalkOptionsOf(inv_, setup_.recursive); }
  // Runs operation, one file operation of the library on the run's
  // expression, once per PATH with walk's rules in place; it returns false
  // to end the walk. What the library passed by goes to Passed().
  void Run(Walk& walk, const std::function<bool()>& operation);
  // What the walks passed by, in walk order.
  Skipped& Passed() { return skipped_; }
  // Says what was passed by (ReportSkipped, -s taken into account).
  bool Report(const Skipped& skipped, bool withGaveUp) const;

 private:
  const Invocation& inv_;
  Setup& setup_;
  Skipped skipped_;
};

// grep's name for a PATH read as a stream: "(standard input)" for "-".
std::string StreamName(const std::string& path);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_FILE_WALKS_H
