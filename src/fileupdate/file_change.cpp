#include "fileupdate/file_change.h"

#include <cerrno>
#include <cstring>

#include "engine/engine.h"
#include "filewalk/buffer_search.h"

namespace RegexClass {
namespace detail {
namespace {

using R = RegularExpression;

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
  ReplacementTarget target;
  if (!FindReplacementTarget(file.directoryFd, *file.entryName, *file.displayName, &target, &err)) {
    Record(problems, *file.displayName, R::OpenFailed, 0, err);
    return false;
  }
  if (!replacement_.Begin(std::move(target), *file.displayName, file.fd, file.status, problems)) return false;
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
    replacement_.SetChangedAt(offset, file_->first + offset, static_cast<std::size_t>(length));
  }
  if (!replacement_.Write(file_->first + copied_, static_cast<std::size_t>(offset - copied_), problems) ||
      !replacement_.Write(replacement.data(), replacement.size(), problems)) {
    Abandon();
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
  const std::size_t size = static_cast<std::size_t>(file_->last - file_->first);
  if (!replacement_.Write(file_->first + copied_, size - static_cast<std::size_t>(copied_), problems)) {
    Abandon();
    return false;
  }
  if (!backupEntry.empty()) replacement_.WantBackup(file_->directoryFd, backupEntry, backupName, &backups);
  const bool replaced = replacement_.Commit(
      file_->first, size, [this](std::uint64_t* position, std::string* text) { FirstChangedMatch(position, text); },
      problems);
  if (replaced) file_->replaced = replacement_.ReplacedStatus(&file_->replacement);
  Abandon();  // nothing left to remove once replaced: the temporary file is the file now
  return replaced;
}

void FileChange::Abandon() {
  replacement_.Abandon();
  file_ = nullptr;
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
  UniqueFd fd = OpenRegularFileAt(replacement_.TargetDir(), replacement_.TargetLeaf(), &now, &err);
  if (!fd.Valid()) return;
  ChangedMatchFinder finder(fd.Get(), file_->first, replacements_);
  SearchBuffer(file_->first, file_->last, search_->Regex(), search_->SearchFlags(searchFlags_), SearchScope::AllMatches,
               &finder, searchLineBounded_);
  if (!finder.Found()) return;
  *position = finder.Position();
  text->assign(file_->first + finder.Position(), finder.Length());
}

}  // namespace detail
}  // namespace RegexClass
