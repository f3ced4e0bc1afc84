#include "fileupdate/file_rewrite.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {
namespace {

using Problem = RegularExpression::FileChangeProblem;
using Entry = RegularExpression::GrepInformation;

// Largest block read from the file at once.
constexpr std::size_t kBlockSize = std::size_t{64} * 1024;
constexpr std::size_t kSmallestBlock = 4096;

// Why streaming stopped.
enum class Stop { None, ReadError, ShortRead, TextChanged, Recorded };

// The file to change, read in blocks. Every block read is also written to
// the backup, when one is wanted, so the backup holds exactly the bytes
// that were checked.
class Source {
 public:
  Source(int fd, Replacement* backup, std::vector<Problem>& problems, char* buffer, std::size_t capacity)
      : fd_(fd), backup_(backup), problems_(problems), buffer_(buffer), capacity_(capacity) {}

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
    if (backup_ != nullptr && !backup_->WriteBackup(buffer_, end_, problems_)) {
      stop_ = Stop::Recorded;
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
  Replacement* backup_;
  std::vector<Problem>& problems_;
  char* buffer_;
  std::size_t capacity_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  Stop stop_ = Stop::None;
  int error_ = 0;
};

// Copies n bytes from source to the new contents.
Stop CopyBytes(Source& source, Replacement& sink, std::uint64_t n, std::vector<Problem>& problems) {
  while (n > 0) {
    if (!source.Fill()) return source.Stopped() == Stop::None ? Stop::ShortRead : source.Stopped();
    std::size_t k = source.Available();
    if (k > n) k = static_cast<std::size_t>(n);
    if (!sink.Write(source.Data(), k, problems)) return Stop::Recorded;
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
Stop CopyRest(Source& source, Replacement& sink, std::vector<Problem>& problems) {
  while (source.Fill()) {
    if (!sink.Write(source.Data(), source.Available(), problems)) return Stop::Recorded;
    source.Consume(source.Available());
  }
  return source.Stopped();
}

}  // namespace

bool RewriteFile(const std::string& fileName, const std::vector<Entry>& entries, const std::string& backupName,
                 std::vector<Problem>& problems) {
  using R = RegularExpression;
  int err = 0;
  // A link stays a link: the file it leads to is the one read and replaced.
  ReplacementTarget target;
  FileStat st;
  UniqueFd in;
  if (FindReplacementTarget(AT_FDCWD, fileName, fileName, &target, &err)) {
    in = OpenRegularFileAt(target.dir.Get(), target.leaf, &st, &err);
  }
  if (!in.Valid()) {  // the walk reports regular files only; never replace anything else
    Record(problems, fileName, R::OpenFailed, 0, err);
    return false;
  }
  Replacement replacement;
  if (!replacement.Begin(std::move(target), fileName, in.Get(), st, problems)) return false;
  if (!entries.empty()) {
    replacement.SetChangedAt(entries.front().position, entries.front().text.data(), entries.front().text.size());
  }
  if (!backupName.empty()) replacement.WantBackup(AT_FDCWD, backupName, backupName, nullptr);

  std::size_t capacity = kBlockSize;
  if (st.size + 1 < capacity) capacity = st.size + 1 < kSmallestBlock ? kSmallestBlock : st.size + 1;
  std::unique_ptr<char[]> inBuffer(new char[capacity]);
  Source source(in.Get(), backupName.empty() ? nullptr : &replacement, problems, inBuffer.get(), capacity);

  Stop stop = Stop::None;
  const Entry* failed = nullptr;
  std::uint64_t copied = 0;
  for (const Entry& e : entries) {
    if (e.position < copied) {  // out of order or overlapping: cannot be the file's text
      stop = Stop::TextChanged;
    } else {
      stop = CopyBytes(source, replacement, e.position - copied, problems);
      if (stop == Stop::None) stop = CheckText(source, e.text);
      if (stop == Stop::None && !replacement.Write(e.replacement.data(), e.replacement.size(), problems)) {
        stop = Stop::Recorded;
      }
    }
    if (stop != Stop::None) {
      failed = &e;
      break;
    }
    copied = e.position + e.text.size();
  }
  if (stop == Stop::None) stop = CopyRest(source, replacement, problems);

  switch (stop) {
    case Stop::None:
      break;
    case Stop::ReadError:
      Record(problems, fileName, R::ReadFailed, OffsetOf(in.Get()), source.Error());
      return false;
    case Stop::ShortRead:  // the file ended before a recorded match
      Record(problems, fileName, R::ReadFailed, OffsetOf(in.Get()), 0);
      return false;
    case Stop::TextChanged:
      Record(problems, fileName, R::TextChanged, failed->position, 0, failed->text);
      return false;
    case Stop::Recorded:
      return false;
  }
  return replacement.Commit(nullptr, 0, nullptr, problems);
}

}  // namespace detail
}  // namespace RegexClass
