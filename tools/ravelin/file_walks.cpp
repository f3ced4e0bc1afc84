#include "file_walks.h"

#include "printers.h"

namespace ravelin_cli {

void FileWalks::Run(Walk& walk, const std::function<bool()>& operation) {
  RegularExpression& re = setup_.re;
  re.SetFileThreads(setup_.threads);
  walk.Run(re, setup_.roots, [&] {
    const bool goOn = operation();
    const Skipped& s = re.GetSkippedFiles();
    skipped_.insert(skipped_.end(), s.begin(), s.end());
    return goOn;
  });
  skipped_.insert(skipped_.end(), walk.Passed().begin(), walk.Passed().end());
}

bool FileWalks::Report(const Skipped& skipped, bool withGaveUp) const {
  return ReportSkipped(skipped, withGaveUp, inv_.noMessages);
}

std::string StreamName(const std::string& path) { return path == "-" ? "(standard input)" : path; }

}  // namespace ravelin_cli
