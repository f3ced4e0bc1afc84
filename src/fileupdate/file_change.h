// The change of one file while the walk holds it: the new contents are
// written as the matches are reported, straight from the bytes that were
// searched, so memory does not grow with the number of matches, and put in
// place by a Replacement (which says how a file is replaced safely). The
// walk holds the file's flock meanwhile, so other runs wait. When another
// writer changed the file, the problem names the first replaced match whose
// bytes the file as it now is no longer holds. A file whose every
// replacement equals the text it replaces is not rewritten (and gets no
// backup). Every failure records one problem and leaves the file untouched.
#ifndef RAVELIN_FILEUPDATE_FILE_CHANGE_H
#define RAVELIN_FILEUPDATE_FILE_CHANGE_H

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fileupdate/replacement.h"
#include "filewalk/file_in_hand.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

class CompiledExpression;

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
  bool Active() const { return file_ != nullptr && replacement_.Active(); }
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
  // Some replacement so far differs from the text it replaces.
  bool Differs() const { return differs_; }

 private:
  void FirstChangedMatch(std::uint64_t* position, std::string* text) const;

  const FileInHand* file_ = nullptr;
  Replacement replacement_;
  std::uint64_t copied_ = 0;  // bytes of the file dealt with so far
  std::uint64_t replacements_ = 0;
  bool differs_ = false;  // some replacement differs from the text it replaces
  std::shared_ptr<const CompiledExpression> search_;
  unsigned searchFlags_ = 0;
  bool searchLineBounded_ = false;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEUPDATE_FILE_CHANGE_H
