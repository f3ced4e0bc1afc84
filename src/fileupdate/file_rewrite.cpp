#include "fileupdate/file_rewrite.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/posix_file.h"
#include "platform/temp_file.h"

namespace RegexClass {
namespace detail {
namespace {

using Problem = RegularExpression::FileChangeProblem;
using Entry = RegularExpression::GrepInformation;

// Largest block read from the file or written to the temporary file at once.
constexpr std::size_t kBlockSize = std::size_t{64} * 1024;
constexpr std::size_t kSmallestBlock = 4096;

std::uint64_t OffsetOf(int fd) {
  std::int64_t at = CurrentOffset(fd);
  return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

// Why streaming stopped.
enum class Stop { None, ReadError, ShortRead, WriteError, BackupError, TextChanged };

// The file to change, read in blocks. Every block read is also written to
// the backup copy, when there is one, so the backup holds exactly the bytes
// that were checked.
class Source {
 public:
  Source(int fd, TempFile* backup, char* buffer, std::size_t capacity)
      : fd_(fd), backup_(backup), buffer_(buffer), capacity_(capacity) {}

  // Makes at least one byte available; false at the end of the file or on
  // failure (then Stopped() says which).
  bool Fill() {
    if (begin_ < end_) return true;
    long got = ReadSome(fd_, buffer_, capacity_, &error_);
    if (got < 0) {
      stop_ = Stop::ReadError;
      return false;
    }
    begin_ = 0;
    end_ = static_cast<std::size_t>(got);
    if (got == 0) return false;
    if (backup_ != nullptr && !backup_->Write(buffer_, end_, &error_)) {
      stop_ = Stop::BackupError;
      return false;
    }
    return true;
  }
  const char* Data() const { return buffer_ + begin_; }
  std::size_t Available() const { return end_ - begin_; }
  void Consume(std::size_t n) { begin_ += n; }
  Stop Stopped() const { return stop_; }
  int Error() const { return error_; }

 private:
  int fd_;
  TempFile* backup_;
  char* buffer_;
  std::size_t capacity_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  Stop stop_ = Stop::None;
  int error_ = 0;
};

// The temporary file, written through one block of buffer.
class Sink {
 public:
  Sink(TempFile& file, char* buffer, std::size_t capacity) : file_(file), buffer_(buffer), capacity_(capacity) {}

  bool Write(const char* data, std::size_t n) {
    if (n <= capacity_ - used_) {
      std::memcpy(buffer_ + used_, data, n);
      used_ += n;
      return true;
    }
    if (!Flush()) return false;
    if (n >= capacity_) return file_.Write(data, n, &error_);
    std::memcpy(buffer_, data, n);
    used_ = n;
    return true;
  }
  bool Flush() {
    if (used_ == 0) return true;
    std::size_t n = used_;
    used_ = 0;
    return file_.Write(buffer_, n, &error_);
  }
  int Error() const { return error_; }

 private:
  TempFile& file_;
  char* buffer_;
  std::size_t capacity_;
  std::size_t used_ = 0;
  int error_ = 0;
};

// Copies n bytes from source to sink.
Stop CopyBytes(Source& source, Sink& sink, std::uint64_t n) {
  while (n > 0) {
    if (!source.Fill()) return source.Stopped() == Stop::None ? Stop::ShortRead : source.Stopped();
    std::size_t k = source.Available();
    if (k > n) k = static_cast<std::size_t>(n);
    if (!sink.Write(source.Data(), k)) return Stop::WriteError;
    source.Consume(k);
    n -= k;
  }
  return Stop::None;
}

// Consumes the bytes of text from source, checking each.
Stop CheckText(Source& source, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    if (!source.Fill()) return source.Stopped() == Stop::None ? Stop::ShortRead : source.Stopped();
    std::size_t k = source.Available();
    if (k > text.size() - done) k = text.size() - done;
    if (std::memcmp(source.Data(), text.data() + done, k) != 0) return Stop::TextChanged;
    source.Consume(k);
    done += k;
  }
  return Stop::None;
}

// Copies what is left of the file.
Stop CopyRest(Source& source, Sink& sink) {
  while (source.Fill()) {
    if (!sink.Write(source.Data(), source.Available())) return Stop::WriteError;
    source.Consume(source.Available());
  }
  return source.Stopped();
}

}  // namespace

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

// Gives the temporary file the owner and group of the original, where the
// process may: an unprivileged process can still give it the group when it
// belongs to it. The errno of the refusal, or 0.
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

bool RewriteFile(const std::string& fileName, const std::vector<Entry>& entries, const std::string& backupName,
                 std::vector<Problem>& problems) {
  using R = RegularExpression;
  int err = 0;
  // A link stays a link: the file it leads to is the one read and replaced.
  const std::string target = ResolveLinks(fileName, &err);
  if (target.empty()) {
    Record(problems, fileName, R::OpenFailed, 0, err);
    return false;
  }
  UniqueFd in = OpenRead(target, &err);
  if (!in.Valid()) {
    Record(problems, fileName, R::OpenFailed, 0, err);
    return false;
  }
  FileStat st;
  if (!Fstat(in.Get(), &st, &err)) {
    Record(problems, fileName, R::OpenFailed, 0, err);
    return false;
  }
  if (!st.IsRegular()) {  // the walk reports regular files only; never replace anything else
    Record(problems, fileName, R::OpenFailed, 0, EINVAL);
    return false;
  }

  TempFile temp;
  if (!temp.Create(DirectoryOf(target), &err)) {
    Record(problems, temp.Name(), R::TempCreateFailed, 0, err, fileName);
    return false;
  }
  TempFile backup;
  if (!backupName.empty()) {
    // A backup name that is the file itself (a link named x.txt leading to
    // x.bak) would be overwritten by the new contents right after the backup.
    FileStat existing;
    if (Lstat(backupName, &existing, nullptr) && existing.dev == st.dev && existing.ino == st.ino) {
      Record(problems, backupName, R::BackupFailed, 0, EINVAL);
      return false;
    }
    if (!backup.Create(DirectoryOf(backupName), &err)) {
      Record(problems, backupName, R::BackupFailed, 0, err);
      return false;
    }
  }

  std::size_t capacity = kBlockSize;
  if (st.size + 1 < capacity) capacity = st.size + 1 < kSmallestBlock ? kSmallestBlock : st.size + 1;
  std::unique_ptr<char[]> inBuffer(new char[capacity]);
  std::unique_ptr<char[]> outBuffer(new char[kBlockSize]);
  Source source(in.Get(), backupName.empty() ? nullptr : &backup, inBuffer.get(), capacity);
  Sink sink(temp, outBuffer.get(), kBlockSize);

  Stop stop = Stop::None;
  const Entry* failed = nullptr;
  std::uint64_t copied = 0;
  for (const Entry& e : entries) {
    if (e.position < copied) {  // out of order or overlapping: cannot be the file's text
      stop = Stop::TextChanged;
    } else {
      stop = CopyBytes(source, sink, e.position - copied);
      if (stop == Stop::None) stop = CheckText(source, e.text);
      if (stop == Stop::None && !sink.Write(e.replacement.data(), e.replacement.size())) stop = Stop::WriteError;
    }
    if (stop != Stop::None) {
      failed = &e;
      break;
    }
    copied = e.position + e.text.size();
  }
  if (stop == Stop::None) stop = CopyRest(source, sink);
  if (stop == Stop::None && !sink.Flush()) stop = Stop::WriteError;

  switch (stop) {
    case Stop::None:
      break;
    case Stop::ReadError:
      Record(problems, fileName, R::ReadFailed, OffsetOf(in.Get()), source.Error());
      return false;
    case Stop::ShortRead:  // the file ended before a recorded match
      Record(problems, fileName, R::ReadFailed, OffsetOf(in.Get()), 0);
      return false;
    case Stop::WriteError:
      Record(problems, temp.Name(), R::WriteFailed, OffsetOf(temp.Fd()), sink.Error(), fileName);
      return false;
    case Stop::BackupError:
      Record(problems, backupName, R::BackupFailed, 0, source.Error());
      return false;
    case Stop::TextChanged:
      Record(problems, fileName, R::TextChanged, failed->position, 0, failed->text);
      return false;
  }

  // Owner and group first: giving them away clears the set-user-ID and
  // set-group-ID bits, which the mode then restores.
  // A file that could not keep its owner does not keep those two bits either.
  const int ownerRefused = GiveOwner(temp, st);
  const mode_t mode = st.mode & (ownerRefused != 0 ? 01777 : 07777);
  if (!Fchmod(temp.Fd(), mode, &err) || !CopyExtendedAttributes(in.Get(), temp.Fd(), &err)) {
    Record(problems, fileName, R::AttributesFailed, 0, err);
    return false;
  }
  if (!temp.Sync(&err)) {
    Record(problems, temp.Name(), R::WriteFailed, OffsetOf(temp.Fd()), err, fileName);
    return false;
  }
  if (backup.Valid()) {
    // A backup owned by the process that made it is acceptable, without the
    // set-ID bits.
    const mode_t backupMode = st.mode & (GiveOwner(backup, st) != 0 ? 01777 : 07777);
    if (!Fchmod(backup.Fd(), backupMode, &err) || !backup.Sync(&err) || !backup.KeepAs(backupName, &err)) {
      Record(problems, backupName, R::BackupFailed, 0, err);
      return false;
    }
  }
  if (!temp.KeepAs(target, &err)) {
    Record(problems, fileName, R::ReplaceFailed, 0, err);
    return false;
  }
  if (ownerRefused != 0) Record(problems, fileName, R::AttributesFailed, 0, ownerRefused);
  return true;
}

}  // namespace detail
}  // namespace RegexClass
