#include "fileupdate/file_change.h"

#include <cerrno>
#include <cstring>

#include "engine/engine.h"
#include "fileupdate/file_rewrite.h"
#include "filewalk/buffer_search.h"

namespace RegexClass {
namespace detail {
namespace {

using R = RegularExpression;

constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

// Gives a new file (the temporary file or the backup) the owner, group, mode
// and extended attributes of the original. The errno of a refused owner or
// group (the file may still replace the original, without set-ID bits) in
// *ownerRefused; false, with *err, when the mode or an attribute could not be
// given.
bool GiveAttributes(TempFile& file, int originalFd, const FileStat& original, int* ownerRefused, int* err) {
  // Owner and group first: giving them away clears the set-user-ID and
  // set-group-ID bits, which the mode then restores.
  *ownerRefused = GiveOwner(file, original);
  const mode_t mode = original.mode & (*ownerRefused != 0 ? 01777 : 07777);
  if (!Fchmod(file.Fd(), mode, err)) return false;
  // After the mode: an access ACL sets the group bits from its mask, which
  // the original's mode already shows.
  return CopyExtendedAttributes(originalFd, file.Fd(), err);
}

// Goes through the matches of the bytes read, up to the number replaced,
// and reads the file as it now is alongside, block by block, to the first
// match whose bytes it no longer holds (one it ends before included).
class ChangedMatchFinder final : public MatchSink {
 public:
  ChangedMatchFinder(int fd, const char* base, std::uint64_t replaced) : fd_(fd), base_(base), left_(replaced) {}

  bool OnMatch(const MatchView& view, unsigned) override {
    if (left_ == 0) return false;
    --left_;
    const boost::csub_match& whole = (*view.match)[0];
    const std::uint64_t offset = static_cast<std::uint64_t>(whole.first - base_);
    const std::uint64_t length = static_cast<std::uint64_t>(whole.second - whole.first);
    if (Holds(offset - read_, nullptr) && Holds(length, whole.first)) return true;
    if (!failed_) {
      found_ = true;
      position_ = offset;
      length_ = static_cast<std::size_t>(length);
    }
    return false;
  }
  // The match found, when one was.
  bool Found() const { return found_; }
  std::uint64_t Position() const { return position_; }
  std::size_t Length() const { return length_; }

 private:
  // Reads the next n bytes of the file, compared with expected when given.
  // False when they differ, the file ends first, or reading fails (failed_).
  bool Holds(std::uint64_t n, const char* expected) {
    std::uint64_t done = 0;
    while (done < n) {
      const std::size_t want = n - done < sizeof(block_) ? static_cast<std::size_t>(n - done) : sizeof(block_);
      int err = 0;
      const long got = ReadFull(fd_, block_, want, &err);
      if (got < 0) {
        failed_ = true;
        return false;
      }
      const std::size_t have = static_cast<std::size_t>(got);
      if (expected != nullptr && std::memcmp(block_, expected + done, have) != 0) return false;
      read_ += have;
      done += have;
      if (have < want) return false;  // the file ends first
    }
    return true;
  }

  int fd_;
  const char* base_;
  std::uint64_t left_;
  std::uint64_t read_ = 0;
  bool found_ = false;
  bool failed_ = false;
  std::uint64_t position_ = 0;
  std::size_t length_ = 0;
  char block_[16384];
};

}  // namespace

FileChange::FileChange() = default;
FileChange::~FileChange() = default;

bool FileChange::Begin(const FileInHand& file, std::vector<Problem>& problems) {
  Abandon();
  int err = 0;
  bool link = false;
  if (!ResolveLinksAt(file.directoryFd, *file.entryName, &targetDir_, &targetLeaf_, &err, &link)) {
    Record(problems, *file.displayName, R::OpenFailed, 0, err);
    return false;
  }
  // The temporary file is shown in the directory of the final target.
  std::string shown = link ? ResolveLinks(*file.displayName, nullptr) : *file.displayName;
  if (shown.empty()) shown = *file.displayName;
  // Nothing is made where the entry no longer leads to the file read (it
  // became a link since the open).
  FileStat target;
  if (!StatAt(targetDir_.Get(), targetLeaf_, false, &target, &err) || target.dev != file.status.dev ||
      target.ino != file.status.ino) {
    Record(problems, *file.displayName, R::TextChanged, 0, 0);
    targetDir_.Reset();
    return false;
  }
  if (!temp_.CreateAt(targetDir_.Get(), DirectoryOf(shown), &err)) {
    Record(problems, temp_.Name(), R::TempCreateFailed, 0, err, *file.displayName);
    targetDir_.Reset();
    return false;
  }
  if (out_ == nullptr) out_.reset(new char[kBlockSize]);
  used_ = 0;
  copied_ = 0;
  replacements_ = 0;
  differs_ = false;
  file_ = &file;
  return true;
}

bool FileChange::Replace(std::uint64_t offset, std::uint64_t length, const std::string& replacement,
                         std::vector<Problem>& problems) {
  if (!Active()) return false;
  const std::uint64_t size = static_cast<std::uint64_t>(file_->last - file_->first);
  if (offset < copied_ || offset > size || length > size - offset) {  // cannot come from one walk of the file
    Record(problems, *file_->displayName, R::TextChanged, offset, 0);
    Abandon();
    return false;
  }
  if (replacements_ == 0) {
    firstPosition_ = offset;
    firstText_.assign(file_->first + offset, static_cast<std::size_t>(length));
  }
  if (!WriteOut(file_->first + copied_, static_cast<std::size_t>(offset - copied_), problems) ||
      !WriteOut(replacement.data(), replacement.size(), problems)) {
    return false;
  }
  if (!differs_) {
    differs_ = length != replacement.size() ||
               std::memcmp(file_->first + offset, replacement.data(), static_cast<std::size_t>(length)) != 0;
  }
  copied_ = offset + length;
  ++replacements_;
  return true;
}

bool FileChange::Finish(const std::string& backupEntry, const std::string& backupName, BackupLedger& backups,
                        std::vector<Problem>& problems) {
  if (!Active()) return false;
  // New bytes equal to the old: the file stays as it is, inode and all.
  if (!differs_) {
    Abandon();
    return true;
  }
  const std::string name = *file_->displayName;
  const std::size_t rest = static_cast<std::size_t>(file_->last - file_->first) - static_cast<std::size_t>(copied_);
  if (!WriteOut(file_->first + copied_, rest, problems) || !Flush(problems)) return false;

  int err = 0;
  int ownerRefused = 0;
  if (!GiveAttributes(temp_, file_->fd, file_->status, &ownerRefused, &err)) {
    Record(problems, name, R::AttributesFailed, 0, err);
    Abandon();
    return false;
  }
  if (!temp_.Sync(&err)) {
    Record(problems, temp_.Name(), R::WriteFailed, CurrentOffset(temp_.Fd()) < 0 ? 0 : CurrentOffset(temp_.Fd()), err,
           name);
    Abandon();
    return false;
  }
  // The backup is made of the file read, and only then: look before it.
  if (!backupEntry.empty() &&
      (!StillTheFileRead(problems) || !WriteBackup(backupEntry, backupName, backups, problems))) {
    return false;
  }
  // The last look before the rename: a writer that does not take the lock
  // may have written meanwhile.
  if (!StillTheFileRead(problems)) return false;
  if (!temp_.KeepAsAt(targetDir_.Get(), targetLeaf_, &err)) {
    Record(problems, name, R::ReplaceFailed, 0, err);
    Abandon();
    return false;
  }
  if (ownerRefused != 0) Record(problems, name, R::AttributesFailed, 0, ownerRefused);
  file_->replaced = StatAt(targetDir_.Get(), targetLeaf_, false, &file_->replacement, nullptr);
  Abandon();  // nothing left to remove: the temporary file is the file now
  return true;
}

void FileChange::Abandon() {
  temp_.Discard();
  targetDir_.Reset();
  file_ = nullptr;
  used_ = 0;
}

bool FileChange::WriteOut(const char* data, std::size_t n, std::vector<Problem>& problems) {
  if (n <= kBlockSize - used_) {
    std::memcpy(out_.get() + used_, data, n);
    used_ += n;
    return true;
  }
  if (!Flush(problems)) return false;
  if (n < kBlockSize) {
    std::memcpy(out_.get(), data, n);
    used_ = n;
    return true;
  }
  int err = 0;
  if (temp_.Write(data, n, &err)) return true;
  const std::int64_t at = CurrentOffset(temp_.Fd());
  Record(problems, temp_.Name(), R::WriteFailed, at < 0 ? 0 : static_cast<std::uint64_t>(at), err, *file_->displayName);
  Abandon();
  return false;
}

bool FileChange::Flush(std::vector<Problem>& problems) {
  if (used_ == 0) return true;
  const std::size_t n = used_;
  used_ = 0;
  int err = 0;
  if (temp_.Write(out_.get(), n, &err)) return true;
  const std::int64_t at = CurrentOffset(temp_.Fd());
  Record(problems, temp_.Name(), R::WriteFailed, at < 0 ? 0 : static_cast<std::uint64_t>(at), err, *file_->displayName);
  Abandon();
  return false;
}

bool FileChange::StillTheFileRead(std::vector<Problem>& problems) {
  FileStat now;
  FileStat named;
  const FileStat& read = file_->status;
  if (Fstat(file_->fd, &now, nullptr) && SameFileState(now, read) &&
      StatAt(targetDir_.Get(), targetLeaf_, false, &named, nullptr) && named.dev == read.dev && named.ino == read.ino) {
    return true;
  }
  std::uint64_t position = firstPosition_;
  std::string text = firstText_;
  FirstChangedMatch(&position, &text);
  Record(problems, *file_->displayName, R::TextChanged, position, 0, text);
  Abandon();
  return false;
}

void FileChange::SetSearch(std::shared_ptr<const CompiledExpression> expression, unsigned matchFlags,
                           bool lineBounded) {
  search_ = std::move(expression);
  searchFlags_ = matchFlags;
  searchLineBounded_ = lineBounded;
}

// The matches are found again in the bytes read (memory does not grow with
// their number) and the file under its name is read alongside, while the
// walk still holds the lock. Left as they are when the file cannot be read
// there or still holds every match.
void FileChange::FirstChangedMatch(std::uint64_t* position, std::string* text) const {
  if (search_ == nullptr || !search_->Usable() || replacements_ == 0) return;
  FileStat now;
  int err = 0;
  UniqueFd fd = OpenRegularFileAt(targetDir_.Get(), targetLeaf_, &now, &err);
  if (!fd.Valid()) return;
  ChangedMatchFinder finder(fd.Get(), file_->first, replacements_);
  SearchBuffer(file_->first, file_->last, search_->Regex(), search_->SearchFlags(searchFlags_), SearchScope::AllMatches,
               &finder, searchLineBounded_);
  if (!finder.Found()) return;
  *position = finder.Position();
  text->assign(file_->first + finder.Position(), finder.Length());
}

bool FileChange::WriteBackup(const std::string& backupEntry, const std::string& backupName, BackupLedger& backups,
                             std::vector<Problem>& problems) {
  const FileStat& read = file_->status;
  int err = 0;
  std::string leaf;
  UniqueFd dir = OpenParentAt(file_->directoryFd, backupEntry, &leaf, &err);
  if (!dir.Valid()) {
    Record(problems, backupName, R::BackupFailed, 0, err);
    Abandon();
    return false;
  }
  FileStat existing;
  // A backup name that is the file itself (a link named x.txt leading to
  // x.bak) would be overwritten by the new contents right after the backup.
  if (StatAt(dir.Get(), leaf, true, &existing, nullptr) && existing.dev == read.dev && existing.ino == read.ino) {
    err = EINVAL;
  } else if (StatAt(dir.Get(), leaf, false, &existing, nullptr) &&
             backups.count(std::make_pair(existing.dev, existing.ino)) != 0) {
    err = EEXIST;  // the backup of another file of this run: never overwritten
  }
  TempFile backup;
  int ownerRefused = 0;
  const std::size_t size = static_cast<std::size_t>(file_->last - file_->first);
  if (err != 0 || !backup.CreateAt(dir.Get(), DirectoryOf(backupName), &err) ||
      !backup.Write(file_->first, size, &err) || !GiveAttributes(backup, file_->fd, read, &ownerRefused, &err) ||
      !backup.Sync(&err) || !backup.KeepAsAt(dir.Get(), leaf, &err)) {
    Record(problems, backupName, R::BackupFailed, 0, err);
    Abandon();
    return false;
  }
  FileStat made;
  if (StatAt(dir.Get(), leaf, false, &made, nullptr)) backups.insert(std::make_pair(made.dev, made.ino));
  return true;
}

}  // namespace detail
}  // namespace RegexClass
