// What change-files checks before it writes anything: the files its scan
// found, and the reasons to leave one of them alone.
#ifndef RAVELIN_TOOLS_CHANGE_CHECKS_H
#define RAVELIN_TOOLS_CHANGE_CHECKS_H

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "arguments.h"
#include "walk.h"

namespace ravelin_cli {

// A file by device and inode.
using Identity = std::pair<unsigned long long, unsigned long long>;

// The identity of the file the walk opened.
Identity IdentityOf(const SearchedFile& file);

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
std::vector<Blocker> FindBlockers(const RegularExpression& re, const std::vector<std::string>& files);

// The files of the settings record this run reads or writes: never
// changed by it.
std::set<Identity> RecordFiles(const Invocation& inv);

// The links the scan passed by that lead to a file outside every PATH
// (roots; empty for the current directory) and hold a match for re: named
// on standard error, as no run without --follow changes them.
void NoteLinksOutside(const RegularExpression& re, const std::vector<std::string>& roots,
                      const std::vector<std::string>& links);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_CHANGE_CHECKS_H
