// The safe replacement of one file by new contents, shared by every path that
// rewrites a file. The caller feeds bytes; this object does the rest:
//   1. a temporary file is created exclusively beside the file (beside a
//      link's final target, so the link stays a link), relative to the open
//      directory found when the change began, so a directory swapped for a
//      link meanwhile is never followed;
//   2. the bytes go through one buffered writer;
//   3. the temporary file gets the owner and group (where the process may
//      give them), then the mode, then the extended attributes (POSIX ACLs
//      included) of the file, and is flushed to disk;
//   4. the backup, when asked for, holds the old bytes and gets the same
//      attributes; it is never written over the file itself nor over a
//      backup written earlier in the same run;
//   5. before the backup and again just before the rename the file must
//      still be the one read (same inode under the same name, same size,
//      modification and change times): otherwise another writer changed it
//      and it is left as that writer made it (TextChanged);
//   6. the rename is atomic: a kill at any moment leaves the file wholly old
//      or wholly new, and every temporary file in flight is listed for
//      removal by a signal handler.
// Every failure records one problem and leaves the file untouched.
#ifndef RAVELIN_FILEUPDATE_REPLACEMENT_H
#define RAVELIN_FILEUPDATE_REPLACEMENT_H

#include <sys/types.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix_file.h"
#include "platform/temp_file.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

// Appends one problem to the list.
void Record(std::vector<RegularExpression::FileChangeProblem>& problems, const std::string& fileName,
            RegularExpression::ProblemKind kind, std::uint64_t position, int err,
            const std::string& text = std::string());

// The offset of fd, 0 when it has none.
std::uint64_t OffsetOf(int fd);

// The backups written by one run, by device and inode.
using BackupLedger = std::set<std::pair<dev_t, ino_t>>;

// Where a file to replace finally stands.
struct ReplacementTarget {
  UniqueFd dir;          // the directory of the final target
  std::string leaf;      // the target's name there
  std::string shownDir;  // how that directory is named in problems
};

// Follows entry (relative to dirFd; name is how the user named it) through
// symbolic links to the file they lead to. False, with *err, when it cannot.
bool FindReplacementTarget(int dirFd, const std::string& entry, const std::string& name, ReplacementTarget* target,
                           int* err);

class Replacement {
 public:
  using Problem = RegularExpression::FileChangeProblem;
  using Problems = std::vector<Problem>;
  // Narrows the place a file changed by another writer no longer holds; it
  // starts as the one given to Begin.
  using ChangedAt = std::function<void(std::uint64_t* position, std::string* text)>;

  Replacement();
  ~Replacement();
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  // True between a successful Begin and the end of Commit or Abandon.
  bool Active() const { return active_; }

  // Starts the replacement of the file found at target, read through fd in
  // the state read (name: how problems name it). False (one problem
  // recorded) when the name no longer leads to that file or the temporary
  // file cannot be made.
  bool Begin(ReplacementTarget&& target, const std::string& name, int fd, const FileStat& read, Problems& problems);
  // The place named when the file turns out changed by another writer.
  void SetChangedAt(std::uint64_t position, const char* text, std::size_t length) {
    changedPosition_ = position;
    changedText_.assign(text, length);
  }
  // Appends bytes to the new contents. False (one problem recorded, the
  // replacement abandoned) on failure.
  bool Write(const char* data, std::size_t n, Problems& problems) {
    if (n <= kBlockSize - used_) {
      std::memcpy(out_.get() + used_, data, n);
      used_ += n;
      return true;
    }
    return WriteLarge(data, n, problems);
  }

  // Asks for a backup under entry (relative to dirFd; name: how problems
  // name it), recorded in backups when given.
  void WantBackup(int dirFd, const std::string& entry, const std::string& name, BackupLedger* backups);
  // Appends old bytes to the backup, made at the first call. False (one
  // problem recorded, the replacement abandoned) on failure.
  bool WriteBackup(const char* data, std::size_t n, Problems& problems);

  // Puts the new file in place, after the backup when one is wanted: the
  // backup is then made of oldBytes (size bytes) when given, else of what
  // WriteBackup received. True when the file was replaced (a refused owner
  // may follow as a problem); the replacement is over either way.
  bool Commit(const char* oldBytes, std::size_t size, const ChangedAt& changedAt, Problems& problems);
  // The status of the file now under the name, after a Commit (until the
  // next Begin).
  bool ReplacedStatus(FileStat* st) const;
  // Drops the temporary files; the file stays as it is.
  void Abandon();
  // The directory and name of the final target, while active.
  int TargetDir() const { return target_.dir.Get(); }
  const std::string& TargetLeaf() const { return target_.leaf; }

 private:
  static constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

  bool WriteLarge(const char* data, std::size_t n, Problems& problems);
  bool Flush(Problems& problems);
  void WriteFailed(int err, Problems& problems);
  bool StillTheFileRead(const ChangedAt& changedAt, Problems& problems);
  bool MakeBackup(Problems& problems);
  bool FinishBackup(Problems& problems);
  bool BackupFailed(int err, Problems& problems);

  bool active_ = false;
  ReplacementTarget target_;
  std::string name_;
  int fd_ = -1;
  FileStat read_;
  TempFile temp_;
  std::unique_ptr<char[]> out_;
  std::size_t used_ = 0;
  std::uint64_t changedPosition_ = 0;
  std::string changedText_;

  bool backupWanted_ = false;
  int backupFrom_ = -1;  // the directory backupEntry_ is relative to
  std::string backupEntry_;
  std::string backupName_;
  BackupLedger* backups_ = nullptr;
  UniqueFd backupDir_;
  std::string backupLeaf_;
  TempFile backup_;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEUPDATE_REPLACEMENT_H
