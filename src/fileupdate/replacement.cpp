#include "fileupdate/replacement.h"

#include <cerrno>

namespace RegexClass {
namespace detail {
namespace {

using R = RegularExpression;

// Gives a new file the owner and group of the original, where the process
// may: an unprivileged process can still give it the group when it belongs
// to it. The errno of the refusal, or 0.
int GiveOwner(TempFile& file, const FileStat& original) {
  FileStat now;
  int err = 0;
  if (!Fstat(file.Fd(), &now, &err)) return err;
  if (now.uid == original.uid && now.gid == original.gid) return 0;
  if (Fchown(file.Fd(), original.uid, original.gid, &err)) return 0;
  const int refused = err;
  if (now.gid != original.gid && Fchown(file.Fd(), static_cast<uid_t>(-1), original.gid, &err)) {
    return now.uid == original.uid ? 0 : refused;
  }
  return refused;
}

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

}  // namespace

std::uint64_t OffsetOf(int fd) {
  const std::int64_t at = CurrentOffset(fd);
  return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

void Record(std::vector<RegularExpression::FileChangeProblem>& problems, const std::string& fileName,
            RegularExpression::ProblemKind kind, std::uint64_t position, int err, const std::string& text) {
  RegularExpression::FileChangeProblem p;
  p.fileName = fileName;
  p.problem = kind;
  p.position = static_cast<unsigned long>(position);
  p.text = text;
  p.errorCode = static_cast<unsigned long>(err);
  problems.push_back(std::move(p));
}

bool FindReplacementTarget(int dirFd, const std::string& entry, const std::string& name, ReplacementTarget* target,
                           int* err) {
  bool link = false;
  if (!ResolveLinksAt(dirFd, entry, &target->dir, &target->leaf, err, &link)) return false;
  // The temporary file is shown in the directory of the final target.
  std::string shown = link ? ResolveLinks(name, nullptr) : name;
  if (shown.empty()) shown = name;
  target->shownDir = DirectoryOf(shown);
  return true;
}

Replacement::Replacement() = default;
Replacement::~Replacement() = default;

bool Replacement::Begin(ReplacementTarget&& target, const std::string& name, int fd, const FileStat& read,
                        Problems& problems) {
  Abandon();
  target_ = std::move(target);
  name_ = name;
  fd_ = fd;
  read_ = read;
  changedPosition_ = 0;
  changedText_.clear();
  // Nothing is made where the entry no longer leads to the file read (it
  // became a link since the open).
  FileStat now;
  int err = 0;
  if (!StatAt(target_.dir.Get(), target_.leaf, false, &now, &err) || now.dev != read.dev || now.ino != read.ino) {
    Record(problems, name_, R::TextChanged, 0, 0);
    target_.dir.Reset();
    return false;
  }
  if (!temp_.CreateAt(target_.dir.Get(), target_.shownDir, &err)) {
    Record(problems, temp_.Name(), R::TempCreateFailed, 0, err, name_);
    target_.dir.Reset();
    return false;
  }
  if (out_ == nullptr) out_.reset(new char[kBlockSize]);
  used_ = 0;
  active_ = true;
  return true;
}

bool Replacement::WriteLarge(const char* data, std::size_t n, Problems& problems) {
  if (!Flush(problems)) return false;
  if (n < kBlockSize) {
    std::memcpy(out_.get(), data, n);
    used_ = n;
    return true;
  }
  int err = 0;
  if (temp_.Write(data, n, &err)) return true;
  WriteFailed(err, problems);
  return false;
}

bool Replacement::Flush(Problems& problems) {
  if (used_ == 0) return true;
  const std::size_t n = used_;
  used_ = 0;
  int err = 0;
  if (temp_.Write(out_.get(), n, &err)) return true;
  WriteFailed(err, problems);
  return false;
}

void Replacement::WriteFailed(int err, Problems& problems) {
  Record(problems, temp_.Name(), R::WriteFailed, OffsetOf(temp_.Fd()), err, name_);
  Abandon();
}

void Replacement::WantBackup(int dirFd, const std::string& entry, const std::string& name, BackupLedger* backups) {
  backupWanted_ = true;
  backupFrom_ = dirFd;
  backupEntry_ = entry;
  backupName_ = name;
  backups_ = backups;
}

bool Replacement::BackupFailed(int err, Problems& problems) {
  Record(problems, backupName_, R::BackupFailed, 0, err);
  Abandon();
  return false;
}

bool Replacement::MakeBackup(Problems& problems) {
  int err = 0;
  backupDir_ = OpenParentAt(backupFrom_, backupEntry_, &backupLeaf_, &err);
  if (!backupDir_.Valid()) return BackupFailed(err, problems);
  FileStat existing;
  // A backup name that is the file itself (a link named x.txt leading to
  // x.bak) would be overwritten by the new contents right after the backup.
  if (StatAt(backupDir_.Get(), backupLeaf_, true, &existing, nullptr) && existing.dev == read_.dev &&
      existing.ino == read_.ino) {
    return BackupFailed(EINVAL, problems);
  }
  if (backups_ != nullptr && StatAt(backupDir_.Get(), backupLeaf_, false, &existing, nullptr) &&
      backups_->count(std::make_pair(existing.dev, existing.ino)) != 0) {
    return BackupFailed(EEXIST, problems);  // the backup of another file of this run: never overwritten
  }
  if (!backup_.CreateAt(backupDir_.Get(), DirectoryOf(backupName_), &err)) return BackupFailed(err, problems);
  return true;
}

bool Replacement::WriteBackup(const char* data, std::size_t n, Problems& problems) {
  if (!backup_.Valid() && !MakeBackup(problems)) return false;
  int err = 0;
  if (n != 0 && !backup_.Write(data, n, &err)) return BackupFailed(err, problems);
  return true;
}

bool Replacement::FinishBackup(Problems& problems) {
  int err = 0;
  int ownerRefused = 0;  // a backup owned by the process that made it will do, without the set-ID bits
  if (!GiveAttributes(backup_, fd_, read_, &ownerRefused, &err) || !backup_.Sync(&err) ||
      !backup_.KeepAsAt(backupDir_.Get(), backupLeaf_, &err)) {
    return BackupFailed(err, problems);
  }
  FileStat made;
  if (backups_ != nullptr && StatAt(backupDir_.Get(), backupLeaf_, false, &made, nullptr)) {
    backups_->insert(std::make_pair(made.dev, made.ino));
  }
  return true;
}

bool Replacement::Commit(const char* oldBytes, std::size_t size, const ChangedAt& changedAt, Problems& problems) {
  if (!Active() || !Flush(problems)) return false;
  int err = 0;
  int ownerRefused = 0;
  if (!GiveAttributes(temp_, fd_, read_, &ownerRefused, &err)) {
    Record(problems, name_, R::AttributesFailed, 0, err);
    Abandon();
    return false;
  }
  if (!temp_.Sync(&err)) {
    WriteFailed(err, problems);
    return false;
  }
  // The backup is made of the file read, and only then: look before it.
  if (backupWanted_ &&
      (!StillTheFileRead(changedAt, problems) || !WriteBackup(oldBytes, size, problems) || !FinishBackup(problems))) {
    return false;
  }
  // The last look before the rename: a writer that does not take the lock
  // may have written meanwhile.
  if (!StillTheFileRead(changedAt, problems)) return false;
  if (!temp_.KeepAsAt(target_.dir.Get(), target_.leaf, &err)) {
    Record(problems, name_, R::ReplaceFailed, 0, err);
    Abandon();
    return false;
  }
  if (ownerRefused != 0) Record(problems, name_, R::AttributesFailed, 0, ownerRefused);
  active_ = false;  // nothing left to remove: the temporary file is the file now
  backupWanted_ = false;
  backupDir_.Reset();
  return true;
}

bool Replacement::StillTheFileRead(const ChangedAt& changedAt, Problems& problems) {
  FileStat now;
  FileStat named;
  if (Fstat(fd_, &now, nullptr) && SameFileState(now, read_) &&
      StatAt(target_.dir.Get(), target_.leaf, false, &named, nullptr) && named.dev == read_.dev &&
      named.ino == read_.ino) {
    return true;
  }
  std::uint64_t position = changedPosition_;
  std::string text = changedText_;
  if (changedAt) changedAt(&position, &text);
  Record(problems, name_, R::TextChanged, position, 0, text);
  Abandon();
  return false;
}

bool Replacement::ReplacedStatus(FileStat* st) const {
  return target_.dir.Valid() && StatAt(target_.dir.Get(), target_.leaf, false, st, nullptr);
}

void Replacement::Abandon() {
  temp_.Discard();
  backup_.Discard();
  target_.dir.Reset();
  backupDir_.Reset();
  active_ = false;
  backupWanted_ = false;
  used_ = 0;
}

}  // namespace detail
}  // namespace RegexClass
