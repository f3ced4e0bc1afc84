#include "filewalk/file_walker.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <utility>

#include "engine/engine.h"
#include "filewalk/buffer_search.h"
#include "filewalk/file_in_hand.h"
#include "filewalk/file_pattern.h"
#include "filewalk/read_ahead.h"
#include "platform/posix_file.h"
#include "platform/stack_slot.h"

namespace RegexClass {
namespace detail {
namespace {

// The read buffer starts at this size, and is given back when a file needed
// more than kKeptBuffer.
constexpr std::size_t kFirstBuffer = std::size_t{64} << 10;
constexpr std::size_t kKeptBuffer = std::size_t{64} << 20;

enum class Mode { Find, Grep, Change };

// Reads the whole file into buffer (grown as needed). The size is a hint
// only: the file may grow or shrink while it is read, and some files report
// 0. One spare byte lets the first read already see the end.
bool ReadWhole(int fd, std::uint64_t hint, std::unique_ptr<char[]>& buffer, std::size_t& capacity, std::size_t* used,
               int* err) {
  std::size_t want = kFirstBuffer;
  if (hint + 1 > want) want = static_cast<std::size_t>(hint) + 1;
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

// One file read and searched ahead on a worker thread.
struct FileJob final : ReadAheadJob {
  // What to do.
  UniqueFd directory;  // a descriptor of its own for the file's directory
  int directoryFd = AT_FDCWD;
  std::string entryName;
  std::string displayName;
  bool skipOnly = false;  // a path the walk passed by: nothing to read
  int skipErr = 0;
  const boost::regex* regex = nullptr;
  boost::match_flag_type flags = boost::match_default;
  SearchScope scope = SearchScope::FirstMatch;
  bool lineBounded = false;
  // What came of it.
  UniqueFd fd;
  FileStat status;
  bool opened = false;
  bool read = false;
  int err = 0;
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t size = 0;
  BufferSearchResult result;

  void Run() noexcept override {
    if (skipOnly) return;
    fd = OpenRegularFileAt(directoryFd, entryName, &status, &err);
    opened = fd.Valid();
    if (!opened) return;
    read = ReadWhole(fd.Get(), status.size, buffer, capacity, &size, &err);
    if (!read) return;
    try {
      result = SearchBuffer(buffer.get(), buffer.get() + size, *regex, flags, scope, nullptr, lineBounded);
    } catch (const std::bad_alloc&) {
      // The calling thread searches this file again by itself.
      result = BufferSearchResult();
      result.failed = true;
    }
  }
};

}  // namespace

// Opens, reads and searches each file of the walk, in one of three modes.
class FileWalker::Visitor final : public FileVisitor, private MatchSink {
 public:
  Visitor(FileWalker& walker, Mode mode, boost::match_flag_type flags) : walker_(walker), mode_(mode), flags_(flags) {}

  FindCallback onFind = nullptr;
  GrepCallback onMatch = nullptr;
  FileEndCallback onEnd = nullptr;
  FailureCallback onFailure = nullptr;

  // Searches ahead on threads workers (none: everything on this thread).
  void StartWorkers(unsigned threads) {
    if (threads < 2 || mode_ == Mode::Change || !WorkerThreadsAllowed()) return;
    ahead_ = std::make_unique<ReadAhead>(threads, std::size_t{4} * threads);
    if (ahead_->Workers() == 0) ahead_.reset();
  }

  // Delivers what is still queued; false when a callback ended the walk.
  bool Finish() {
    while (ahead_ != nullptr && !ahead_->Empty()) {
      if (!DeliverOne()) return false;
    }
    return true;
  }

  bool Visit(const WalkFile& file) override {
    if (ahead_ != nullptr) return VisitAhead(file);
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
    if (!ReadWhole(fd.Get(), hand.status.size, walker_.buffer_, walker_.capacity_, &size, &err)) {
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
    if (ahead_ != nullptr) {
      // In walk order with the files around it.
      std::unique_ptr<FileJob> job(new FileJob);
      job->skipOnly = true;
      job->displayName = displayName;
      job->skipErr = err;
      Queue(std::move(job));
      return;
    }
    RecordSkip(displayName, err);
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

  // Hands the file to the workers, after taking back what they finished.
  bool VisitAhead(const WalkFile& file) {
    std::unique_ptr<FileJob> job(new FileJob);
    int err = 0;
    if (file.directoryFd != AT_FDCWD) {
      job->directory = Duplicate(file.directoryFd, &err);
      if (!job->directory.Valid()) {
        Record(file.displayName, RegularExpression::Unreadable, err);
        return true;
      }
      job->directoryFd = job->directory.Get();
    }
    job->entryName = file.entryName;
    job->displayName = file.displayName;
    job->regex = &walker_.compiled_->Regex();
    job->flags = flags_;
    job->lineBounded = walker_.lineBounded_;
    // Counting needs every match; otherwise the first tells whether this
    // thread must search the file itself.
    job->scope = mode_ == Mode::Grep && onMatch == nullptr ? SearchScope::AllMatches : SearchScope::FirstMatch;
    if (!stopped_) Queue(std::move(job));
    return !stopped_;
  }

  void Queue(std::unique_ptr<FileJob> job) {
    while (!stopped_ && ahead_->FrontDone()) stopped_ = !DeliverOne();
    while (!stopped_ && ahead_->Full()) stopped_ = !DeliverOne();
    if (!stopped_) ahead_->Push(std::move(job));
  }

  bool DeliverOne() {
    std::unique_ptr<ReadAheadJob> done = ahead_->Pop();
    if (done == nullptr) return true;
    FileJob& job = static_cast<FileJob&>(*done);
    if (job.skipOnly) {
      RecordSkip(job.displayName, job.skipErr);
      return true;
    }
    if (!job.opened) {
      if (job.err != EINVAL) Record(job.displayName, RegularExpression::Unreadable, job.err);
      return true;
    }
    if (!seen_.insert(std::make_pair(job.status.dev, job.status.ino)).second) return true;
    if (!job.read) {
      Record(job.displayName, RegularExpression::Unreadable, job.err);
      return true;
    }
    const BufferSearchResult& result = job.result;
    const bool failed = result.failed && !result.failure.empty();
    if (mode_ == Mode::Find || onMatch == nullptr) {
      if (!job.result.failed || failed) {
        if (mode_ == Mode::Find) {
          if (result.matches > 0) {
            ++count_;
            return onFind == nullptr || onFind(job.displayName.c_str());
          }
        } else {
          count_ += result.matches;
        }
        return !failed || Failed(job.displayName, result.failure);
      }
    } else if (result.matches == 0 && !result.failed) {
      return true;  // nothing to report
    }
    // Every match, with its callback, on this thread, over the bytes read.
    FileInHand hand;
    hand.directoryFd = job.directoryFd;
    hand.entryName = &job.entryName;
    hand.displayName = &job.displayName;
    hand.fd = job.fd.Get();
    hand.status = job.status;
    hand.first = job.buffer.get();
    hand.last = hand.first + job.size;
    return Search(hand);
  }

  // A path the walk passed by: missing (ENOENT) or unreadable.
  void RecordSkip(const std::string& displayName, int err) {
    Record(displayName, err == ENOENT ? RegularExpression::NotFound : RegularExpression::Unreadable, err);
  }

  bool Search(const FileInHand& hand) {
    const char* name = hand.displayName->c_str();
    const boost::regex& e = walker_.compiled_->Regex();
    if (mode_ == Mode::Find) {
      const BufferSearchResult result =
          SearchBuffer(hand.first, hand.last, e, flags_, SearchScope::FirstMatch, nullptr, walker_.lineBounded_);
      if (result.matches > 0) {
        ++count_;
        return onFind == nullptr || onFind(name);
      }
      return !result.failed || Failed(*hand.displayName, result.failure);
    }
    current_ = &hand;
    // Without a callback nothing needs a line number or a match object.
    const BufferSearchResult result = SearchBuffer(hand.first, hand.last, e, flags_, SearchScope::AllMatches,
                                                   onMatch != nullptr ? this : nullptr, walker_.lineBounded_);
    current_ = nullptr;
    count_ += result.matches;
    if (result.failed && !result.stopped) return Failed(*hand.displayName, result.failure);
    const bool goOn = mode_ != Mode::Change || onEnd == nullptr || onEnd(name);
    if (hand.replaced) seen_.insert(std::make_pair(hand.replacement.dev, hand.replacement.ino));
    return goOn && !result.stopped;
  }

  bool Failed(const std::string& name, const std::string& reason) {
    RegularExpression::SkippedFile skip;
    skip.fileName = name;
    skip.reason = RegularExpression::SearchGaveUp;
    skip.text = reason;
    walker_.skipped_.push_back(std::move(skip));
    return onFailure == nullptr || onFailure(name.c_str(), reason);
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
  bool stopped_ = false;  // a callback ended the walk while files were ahead
  // Last: stopped and joined first, while everything its jobs use lives.
  std::unique_ptr<ReadAhead> ahead_;
};

FileWalker::FileWalker() = default;
FileWalker::~FileWalker() = default;

unsigned FileWalker::SetExpression(const std::string& text, bool icase) {
  compiled_ = CompiledExpression::CompileForFiles(text, icase);
  return compiled_->Code();
}

unsigned FileWalker::SetCompiled(std::shared_ptr<const CompiledExpression> compiled) {
  compiled_ = std::move(compiled);
  return compiled_->Code();
}

unsigned FileWalker::FindFiles(FindCallback callback, const std::string& spec, bool recurse, unsigned matchFlags,
                               FailureCallback onFailure) {
  skipped_.clear();
  if (compiled_ == nullptr || !compiled_->Usable()) return 0;
  Visitor visitor(*this, Mode::Find, compiled_->SearchFlags(matchFlags));
  visitor.onFind = callback;
  visitor.onFailure = onFailure;
  visitor.StartWorkers(threads_);
  if (WalkFilePattern(spec, recurse, visitor)) visitor.Finish();
  return static_cast<unsigned>(visitor.Count());
}

unsigned FileWalker::GrepFiles(GrepCallback callback, const std::string& spec, bool recurse, unsigned matchFlags,
                               FailureCallback onFailure) {
  skipped_.clear();
  if (compiled_ == nullptr || !compiled_->Usable()) return 0;
  Visitor visitor(*this, Mode::Grep, compiled_->SearchFlags(matchFlags));
  visitor.onMatch = callback;
  visitor.onFailure = onFailure;
  visitor.StartWorkers(threads_);
  if (WalkFilePattern(spec, recurse, visitor)) visitor.Finish();
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
