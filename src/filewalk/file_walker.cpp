#include "filewalk/file_walker.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <set>
#include <utility>

#include "engine/engine.h"
#include "filewalk/buffer_search.h"
#include "filewalk/file_in_hand.h"
#include "filewalk/file_pattern.h"
#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {
namespace {

// The read buffer starts at this size, and is given back when a file needed
// more than kKeptBuffer.
constexpr std::size_t kFirstBuffer = std::size_t{64} << 10;
constexpr std::size_t kKeptBuffer = std::size_t{64} << 20;

enum class Mode { Find, Grep, Change };

}  // namespace

// Opens, reads and searches each file of the walk, in one of three modes.
class FileWalker::Visitor final : public FileVisitor, private MatchSink {
 public:
  Visitor(FileWalker& walker, Mode mode, boost::match_flag_type flags)
      : walker_(walker), mode_(mode), flags_(flags) {}

  FindCallback onFind = nullptr;
  GrepCallback onMatch = nullptr;
  FileEndCallback onEnd = nullptr;
  FailureCallback onFailure = nullptr;

  bool Visit(const WalkFile& file) override {
    int err = 0;
    FileInHand hand;
    UniqueFd fd = Open(file, &hand.status, &err);
    if (!fd.Valid()) {
      // Not a regular file (a FIFO or device named outright): passed by.
      if (err != EINVAL) Record(file.displayName, RegularExpression::Unreadable, err);
      return true;
    }
    // Each file once: a link and its target, or two links, are one file.
    if (!seen_.insert(std::make_pair(hand.status.dev, hand.status.ino)).second) return true;
    std::size_t size = 0;
    if (!Read(fd.Get(), hand.status.size, &size, &err)) {
      Record(file.displayName, RegularExpression::Unreadable, err);
      return true;
    }
    hand.directoryFd = file.directoryFd;
    hand.entryName = &file.entryName;
    hand.displayName = &file.displayName;
    hand.fd = fd.Get();
    hand.first = walker_.buffer_.get();
    hand.last = hand.first + size;
    return Search(hand);
  }

  void Skip(const std::string& displayName, int err) override {
    Record(displayName, err == ENOENT ? RegularExpression::NotFound : RegularExpression::Unreadable, err);
  }

  std::uint64_t Count() const { return count_; }

 private:
  // Opens the file; when changing, also takes its lock and makes sure the
  // name still leads to the file locked (another run may have replaced it
  // while this one waited).
  UniqueFd Open(const WalkFile& file, FileStat* st, int* err) {
    for (int attempt = 0;; ++attempt) {
      UniqueFd fd = OpenRegularFileAt(file.directoryFd, file.entryName, st, err);
      if (!fd.Valid() || mode_ != Mode::Change) return fd;
      if (!LockExclusive(fd.Get(), kLockWaitMs, err)) return UniqueFd();
      FileStat now;
      if (!StatAt(file.directoryFd, file.entryName, true, &now, err)) return UniqueFd();
      if (now.dev == st->dev && now.ino == st->ino) {
        // The status the final check compares with is taken under the lock.
        if (!Fstat(fd.Get(), st, err)) return UniqueFd();
        return fd;
      }
      if (attempt == 3) {
        *err = EAGAIN;
        return UniqueFd();
      }
    }
  }

  // Reads the whole file into the walker's buffer. The size is a hint only:
  // the file may grow or shrink while it is read, and some files report 0.
  // One spare byte lets the first read already see the end.
  bool Read(int fd, std::uint64_t hint, std::size_t* used, int* err) {
    std::size_t want = kFirstBuffer;
    if (hint + 1 > want) want = static_cast<std::size_t>(hint) + 1;
    std::unique_ptr<char[]>& buffer = walker_.buffer_;
    std::size_t& capacity = walker_.capacity_;
    if (capacity > kKeptBuffer && want <= kKeptBuffer) {
      buffer.reset();
      capacity = 0;
    }
    *used = 0;
    for (;;) {
      if (*used == capacity || capacity < want) {
        const std::size_t grown = capacity < want ? want : capacity * 2;
        // A file too large to hold is passed by like an unreadable one.
        std::unique_ptr<char[]> bigger(new (std::nothrow) char[grown]);
        if (bigger == nullptr) {
          *err = ENOMEM;
          return false;
        }
        if (*used > 0) std::memcpy(bigger.get(), buffer.get(), *used);
        buffer = std::move(bigger);
        capacity = grown;
      }
      const long got = ReadSome(fd, buffer.get() + *used, capacity - *used, err);
      if (got < 0) return false;
      if (got == 0) return true;
      *used += static_cast<std::size_t>(got);
    }
  }

  bool Search(const FileInHand& hand) {
    const char* name = hand.displayName->c_str();
    const boost::regex& e = walker_.compiled_->Regex();
    if (mode_ == Mode::Find) {
      const BufferSearchResult result = SearchBuffer(hand.first, hand.last, e, flags_, SearchScope::FirstMatch, nullptr);
      if (result.matches > 0) {
        ++count_;
        return onFind == nullptr || onFind(name);
      }
      return !result.failed || Failed(hand, result.failure);
    }
    current_ = &hand;
    // Without a callback nothing needs a line number or a match object.
    const BufferSearchResult result =
        SearchBuffer(hand.first, hand.last, e, flags_, SearchScope::AllMatches, onMatch != nullptr ? this : nullptr);
    current_ = nullptr;
    count_ += result.matches;
    if (result.failed && !result.stopped) return Failed(hand, result.failure);
    const bool goOn = mode_ != Mode::Change || onEnd == nullptr || onEnd(name);
    if (hand.replaced) seen_.insert(std::make_pair(hand.replacement.dev, hand.replacement.ino));
    return goOn && !result.stopped;
  }

  bool Failed(const FileInHand& hand, const std::string& reason) {
    RegularExpression::SkippedFile skip;
    skip.fileName = *hand.displayName;
    skip.reason = RegularExpression::SearchGaveUp;
    skip.text = reason;
    walker_.skipped_.push_back(std::move(skip));
    return onFailure == nullptr || onFailure(hand.displayName->c_str(), reason);
  }

  bool OnMatch(const MatchView& view, unsigned line) override {
    MatchView here = view;
    here.file = current_;
    const FileMatch match(here, line);
    return onMatch(current_->displayName->c_str(), match);
  }

  void Record(const std::string& name, RegularExpression::SkipReason reason, int err) {
    RegularExpression::SkippedFile skip;
    skip.fileName = name;
    skip.reason = reason;
    skip.errorCode = static_cast<unsigned long>(err);
    walker_.skipped_.push_back(std::move(skip));
  }

  FileWalker& walker_;
  Mode mode_;
  boost::match_flag_type flags_;
  const FileInHand* current_ = nullptr;
  std::set<std::pair<dev_t, ino_t>> seen_;
  std::uint64_t count_ = 0;
};

FileWalker::FileWalker() = default;
FileWalker::~FileWalker() = default;

unsigned FileWalker::SetExpression(const std::string& text, bool icase) {
  compiled_ = CompiledExpression::CompileForFiles(text, icase);
  return compiled_->Code();
}

unsigned FileWalker::FindFiles(FindCallback callback, const std::string& spec, bool recurse, unsigned matchFlags,
                               FailureCallback onFailure) {
  skipped_.clear();
  if (compiled_ == nullptr || !compiled_->Usable()) return 0;
  Visitor visitor(*this, Mode::Find, compiled_->SearchFlags(matchFlags));
  visitor.onFind = callback;
  visitor.onFailure = onFailure;
  WalkFilePattern(spec, recurse, visitor);
  return static_cast<unsigned>(visitor.Count());
}

unsigned FileWalker::GrepFiles(GrepCallback callback, const std::string& spec, bool recurse, unsigned matchFlags,
                               FailureCallback onFailure) {
  skipped_.clear();
  if (compiled_ == nullptr || !compiled_->Usable()) return 0;
  Visitor visitor(*this, Mode::Grep, compiled_->SearchFlags(matchFlags));
  visitor.onMatch = callback;
  visitor.onFailure = onFailure;
  WalkFilePattern(spec, recurse, visitor);
  return static_cast<unsigned>(visitor.Count());
}

unsigned FileWalker::ChangeFiles(GrepCallback onMatch, FileEndCallback onEnd, FailureCallback onFailure,
                                 const std::string& spec, bool recurse, unsigned matchFlags) {
  skipped_.clear();
  if (compiled_ == nullptr || !compiled_->Usable()) return 0;
  Visitor visitor(*this, Mode::Change, compiled_->SearchFlags(matchFlags));
  visitor.onMatch = onMatch;
  visitor.onEnd = onEnd;
  visitor.onFailure = onFailure;
  WalkFilePattern(spec, recurse, visitor);
  return static_cast<unsigned>(visitor.Count());
}

}  // namespace detail
}  // namespace RegexClass
