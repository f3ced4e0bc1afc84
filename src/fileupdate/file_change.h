// The change of one file while the walk holds it: the new contents are
// written to a temporary file beside the file (beside a link's final target,
// so the link stays a link) as the matches are reported, straight from the
// bytes that were searched, so memory does not grow with the number of
// matches. Finish puts the new file in place:
//   - the temporary file gets the owner, group, mode and extended attributes
//     (POSIX ACLs included) of the file and is flushed to disk;
//   - the backup, when asked for, is written the same way from the same
//     bytes, beside the file, and never over a backup written earlier in the
//     same run;
//   - just before the rename the file must still be the one read (same
//     inode, size, modification and change times; the walk holds its flock
//     meanwhile, so other runs wait): otherwise another writer changed it
//     and it is left as that writer made it (TextChanged, naming the first
//     replaced match whose bytes the file as it now is no longer holds);
//   - the rename is atomic: a kill at any moment leaves the file wholly old
//     or wholly new.
// A file whose every replacement equals the text it replaces is not
// rewritten. Every failure records one problem and leaves the file untouched.
#ifndef RAVELIN_FILEUPDATE_FILE_CHANGE_H
#define RAVELIN_FILEUPDATE_FILE_CHANGE_H

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "filewalk/file_in_hand.h"
#include "platform/temp_file.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

class CompiledExpression;

// The backups written by one run, by device and inode.
using BackupLedger = std::set<std::pair<dev_t, ino_t>>;

class FileChange {
 public:
  using Problem = RegularExpression::FileChangeProblem;

  FileChange();
  ~FileChange();
  FileChange(const FileChange&) = delete;
  FileChange& operator=(const FileChange&) = delete;

  // The search whose matches come in (the expression, the match option word
  // and line-bounded matching, as the walk searches), for telling which
  // match a file another writer changed no longer holds. Unset, the first
  // match is named.
  void SetSearch(std::shared_ptr<const CompiledExpression> expression, unsigned matchFlags, bool lineBounded);

  // True between a successful Begin and Finish or Abandon.
  bool Active() const { return file_ != nullptr; }
  // The file in hand, while active.
  const FileInHand* File() const { return file_; }
  // Starts the new contents of the file in hand. False (one problem
  // recorded) when the temporary file cannot be made.
  bool Begin(const FileInHand& file, std::vector<Problem>& problems);
  // Writes the bytes up to offset, then replacement in place of the length
  // matched bytes there. Matches come in file order and do not overlap.
  // False (one problem recorded, the change abandoned) on failure.
  bool Replace(std::uint64_t offset, std::uint64_t length, const std::string& replacement,
               std::vector<Problem>& problems);
  // Copies the rest and puts the new file in place, after the backup when
  // backupEntry (relative to the file's directory descriptor, shown as
  // backupName) is not empty. True when the file was replaced, or left as it
  // is because every replacement equals the text it replaces (no backup
  // then); the change is over either way.
  bool Finish(const std::string& backupEntry, const std::string& backupName, BackupLedger& backups,
              std::vector<Problem>& problems);
  // Drops the temporary file; the file stays as it is.
  void Abandon();
  // Matches replaced so far.
  std::uint64_t Replacements() const { return replacements_; }

 private:
  bool Flush(std::vector<Problem>& problems);
  bool WriteOut(const char* data, std::size_t n, std::vector<Problem>& problems);
  bool StillTheFileRead(std::vector<Problem>& problems);
  void FirstChangedMatch(std::uint64_t* position, std::string* text) const;
  bool WriteBackup(const std::string& backupEntry, const std::string& backupName, BackupLedger& backups,
                   std::vector<Problem>& problems);

  const FileInHand* file_ = nullptr;
  UniqueFd targetDir_;      // the directory of the final target
  std::string targetLeaf_;  // the target's name there
  TempFile temp_;
  std::unique_ptr<char[]> out_;
  std::size_t used_ = 0;
  std::uint64_t copied_ = 0;  // bytes of the file dealt with so far
  std::uint64_t replacements_ = 0;
  bool differs_ = false;             // some replacement differs from the text it replaces
  std::uint64_t firstPosition_ = 0;  // the first match, for TextChanged
  std::string firstText_;
  std::shared_ptr<const CompiledExpression> search_;
  unsigned searchFlags_ = 0;
  bool searchLineBounded_ = false;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEUPDATE_FILE_CHANGE_H
