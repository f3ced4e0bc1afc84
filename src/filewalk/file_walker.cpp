#include "filewalk/file_walker.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "filewalk/buffer_search.h"
#include "filewalk/file_batch.h"
#include "filewalk/file_in_hand.h"
#include "filewalk/file_pattern.h"
#include "filewalk/read_ahead.h"
#include "platform/posix_file.h"
#include "platform/stack_slot.h"

namespace RegexClass {
namespace detail {
namespace {

enum class Mode { Find, Grep, Change };

}  // namespace

// Opens, reads and searches each file of the walk, in one of three modes.
class FileWalker::Visitor final : public FileVisitor, private MatchSink {
 public:
  Visitor(FileWalker& walker, Mode mode, boost::match_flag_type flags) : walker_(walker), mode_(mode), flags_(flags) {}

  FindCallback onFind = nullptr;
  GrepCallback onMatch = nullptr;
  FileEndCallback onEnd = nullptr;
  FailureCallback onFailure = nullptr;

  // Searches ahead on threads workers (with fewer than 2, everything on this
  // thread). The calling thread walks, delivers, and takes on the oldest
  // batch itself when no worker has started it yet.
  void StartWorkers(unsigned threads) {
    if (threads < 2 || mode_ == Mode::Change || !WorkerThreadsAllowed()) return;
    ahead_ = std::make_unique<ReadAhead>(threads, std::size_t{2} * threads);
    if (ahead_->Workers() == 0) ahead_.reset();
  }

  // Delivers what is still queued; false when a callback ended the walk.
  bool Finish() {
    if (ahead_ == nullptr) return true;
    Flush();
    while (!stopped_ && !ahead_->Empty()) stopped_ = !DeliverOne();
    return !stopped_;
  }

  bool EnterDirectory(const std::string& displayName) override {
    directory_.reset();  // the files from here on lie in another directory
    return walker_.filter_ == nullptr || walker_.filter_->EnterDirectory(displayName);
  }

  void LeaveDirectory(const std::string& displayName) override {
    if (walker_.filter_ != nullptr) walker_.filter_->LeaveDirectory(displayName);
  }

  bool Visit(const WalkFile& file) override {
    if (walker_.filter_ != nullptr && !walker_.filter_->TakeFile(file.displayName)) return true;
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
    if (!FirstMeeting(hand.status, file.displayName)) return true;
    std::size_t size = 0;
    // A search for the first match, line by line, stops reading there.
    const bool parted = mode_ == Mode::Find && hand.status.size > kPartedReadFrom &&
                        MayStopReadingAtMatch(flags_, walker_.lineBounded_);
    BufferSearchResult found;
    bool refused = false;
    const bool read = parted
                          ? ReadUntilMatch(fd.Get(), hand.status.size, walker_.buffer_, walker_.capacity_, &size, &err,
                                           walker_.compiled_->Regex(), flags_, walker_.filter_, &found, &refused)
                          : ReadWhole(fd.Get(), hand.status.size, walker_.buffer_, walker_.capacity_, &size, &err);
    if (!read) {
      Record(file.displayName, RegularExpression::Unreadable, err);
      return true;
    }
    hand.directoryFd = file.directoryFd;
    hand.entryName = &file.entryName;
    hand.displayName = &file.displayName;
    hand.fd = fd.Get();
    hand.first = walker_.buffer_.get();
    hand.last = hand.first + size;
    if (parted) return refused || !Admit(hand, true) || Found(hand, found);
    if (!Admit(hand)) return true;
    return Search(hand);
  }

  void Skip(const std::string& displayName, int err) override {
    if (ahead_ != nullptr) {
      // In walk order with the files around it.
      if (stopped_) return;
      AheadFile& entry = Building().Add();
      entry.skipOnly = true;
      entry.displayName = displayName;
      entry.skipErr = err;
      if (building_->Full()) Flush();
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

  // The batch being filled.
  FileBatch& Building() {
    if (building_ == nullptr) {
      if (spare_.empty()) {
        // Counting needs every match, and so does reporting them (they are
        // recorded); finding, only the first.
        const SearchScope scope = mode_ == Mode::Grep ? SearchScope::AllMatches : SearchScope::FirstMatch;
        const bool record = mode_ == Mode::Grep && onMatch != nullptr;
        building_ = std::make_unique<FileBatch>(walker_.compiled_->Regex(), flags_, scope, record, walker_.lineBounded_,
                                                pool_, walker_.filter_);
      } else {
        building_ = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    return *building_;
  }

  // Adds the file to the batch being filled; false when a callback ended
  // the walk meanwhile.
  bool VisitAhead(const WalkFile& file) {
    if (stopped_) return false;
    if (file.directoryFd != AT_FDCWD && directory_ == nullptr) {
      // One descriptor of its own for the files of this directory.
      int err = 0;
      UniqueFd copy = Duplicate(file.directoryFd, &err);
      if (!copy.Valid()) {
        Record(file.displayName, RegularExpression::Unreadable, err);
        return true;
      }
      directory_ = std::make_shared<const UniqueFd>(std::move(copy));
    }
    AheadFile& entry = Building().Add();
    entry.directory = file.directoryFd != AT_FDCWD ? directory_ : nullptr;
    entry.entryName = file.entryName;
    entry.displayName = file.displayName;
    if (building_->Full()) Flush();
    return !stopped_;
  }

  // Queues the batch being filled, after taking back what the workers
  // finished (and, when the queue is full, the oldest batch).
  void Flush() {
    if (building_ == nullptr || building_->Empty()) return;
    while (!stopped_ && ahead_->FrontDone()) stopped_ = !DeliverOne();
    while (!stopped_ && ahead_->Full()) stopped_ = !DeliverOne();
    if (!stopped_) ahead_->Push(std::move(building_));
    building_.reset();
  }

  bool DeliverOne() {
    std::unique_ptr<ReadAheadJob> done = ahead_->Pop();
    if (done == nullptr) return true;
    std::unique_ptr<FileBatch> batch(static_cast<FileBatch*>(done.release()));
    bool goOn = true;
    for (std::size_t i = 0; goOn && i < batch->Count(); ++i) {
      AheadFile& file = batch->At(i);
      if (!file.done) batch->Do(file, &walker_.buffer_, &walker_.capacity_);
      goOn = Deliver(*batch, file);
    }
    batch->Clear();
    spare_.push_back(std::move(batch));
    return goOn;
  }

  bool Deliver(const FileBatch& batch, AheadFile& job) {
    if (job.skipOnly) {
      RecordSkip(job.displayName, job.skipErr);
      return true;
    }
    if (!job.opened) {
      if (job.err != EINVAL) Record(job.displayName, RegularExpression::Unreadable, job.err);
      return true;
    }
    if (!FirstMeeting(job.status, job.displayName)) return true;
    if (!job.read) {
      Record(job.displayName, RegularExpression::Unreadable, job.err);
      return true;
    }
    FileInHand hand;
    hand.directoryFd = job.directory != nullptr ? job.directory->Get() : AT_FDCWD;
    hand.entryName = &job.entryName;
    hand.displayName = &job.displayName;
    hand.status = job.status;
    hand.first = batch.Bytes(job);
    hand.last = hand.first + job.size;
    if (job.refused || !Admit(hand, true)) return true;
    const BufferSearchResult& result = job.result;
    const bool failed = result.failed && !result.failure.empty();
    if (mode_ == Mode::Find) {
      if (!result.failed || failed) return Found(hand, result);
    } else if (onMatch == nullptr) {
      if (!result.failed || failed) {
        count_ += result.matches;
        return Done(hand, result.matches, !failed || Failed(job.displayName, result.failure));
      }
    } else if (result.matches == 0 && !result.failed) {
      return Done(hand, 0, true);  // nothing to report
    } else if (job.recorded && job.recordedAt == hand.first) {
      return Replay(hand, job.matches);
    }
    // Every match, with its callback, on this thread, over the bytes read.
    return Search(hand);
  }

  // FindFiles: reports the file when the search found a match in it.
  bool Found(const FileInHand& hand, const BufferSearchResult& result) {
    bool goOn = true;
    if (result.matches > 0) {
      ++count_;
      goOn = onFind == nullptr || onFind(hand.displayName->c_str());
    } else if (result.failed) {
      goOn = Failed(*hand.displayName, result.failure);
    }
    return Done(hand, result.matches > 0 ? 1 : 0, goOn);
  }

  // Reports the matches a worker recorded, as Search would have found them.
  bool Replay(const FileInHand& hand, const std::vector<RecordedMatch>& matches) {
    current_ = &hand;
    std::uint64_t reported = 0;
    bool goOn = true;
    for (const RecordedMatch& m : matches) {
      ++reported;
      if (!OnMatch(MatchView{&m.match, hand.first, nullptr}, m.line)) {
        goOn = false;
        break;
      }
    }
    current_ = nullptr;
    count_ += reported;
    return Done(hand, reported, goOn);
  }

  // Whether the filter lets the file, as read, be searched. bytesAsked: a
  // worker has had SearchBytes say yes already.
  bool Admit(const FileInHand& hand, bool bytesAsked = false) {
    if (walker_.filter_ == nullptr) return true;
    if (!bytesAsked && !walker_.filter_->SearchBytes(hand.first, hand.last)) return false;
    if (!walker_.filter_->TakeOpenedFile(*hand.displayName, Facts(hand))) {
      // Not searched under this name: another name may still reach the file.
      seen_.erase(std::make_pair(hand.status.dev, hand.status.ino));
      return false;
    }
    return walker_.filter_->SearchFile(*hand.displayName, hand.first, hand.last);
  }

  // The file in hand is its entry itself when the entry, not followed, is a
  // regular file with the identity of the file opened; else it was reached
  // through a link (or the entry has changed since the open).
  static RegularExpression::FileFilter::FileFacts Facts(const FileInHand& hand) {
    RegularExpression::FileFilter::FileFacts facts;
    facts.device = static_cast<unsigned long long>(hand.status.dev);
    facts.inode = static_cast<unsigned long long>(hand.status.ino);
    facts.links = static_cast<unsigned long long>(hand.status.nlink);
    FileStat entry;
    facts.link = !(StatAt(hand.directoryFd, *hand.entryName, false, &entry, nullptr) && entry.IsRegular() &&
                   entry.dev == hand.status.dev && entry.ino == hand.status.ino);
    return facts;
  }

  // Tells the filter the file is done; false ends the walk.
  bool Done(const FileInHand& hand, std::uint64_t matches, bool goOn) {
    if (walker_.filter_ == nullptr) return goOn;
    const bool more =
        walker_.filter_->FileDone(*hand.displayName, hand.first, hand.last, static_cast<unsigned>(matches));
    return goOn && more;
  }

  // Whether the walk meets this file for the first time. The number of a
  // file that is gone (another process replaced it, a run like this one
  // among them) is given to the next file made: a file met earlier is the
  // same file while the name it was met by still leads to it, or while
  // other names it had keep it.
  bool FirstMeeting(const FileStat& status, const std::string& displayName) {
    const auto met = seen_.emplace(std::make_pair(status.dev, status.ino), Met{displayName, status.nlink > 1});
    if (met.second) return true;
    FileStat earlier;
    if (met.first->second.otherNames || (StatAt(AT_FDCWD, met.first->second.name, true, &earlier, nullptr) &&
                                         earlier.dev == status.dev && earlier.ino == status.ino)) {
      return false;
    }
    met.first->second = Met{displayName, status.nlink > 1};
    return true;
  }

  // A path the walk passed by: missing (ENOENT) or unreadable.
  void RecordSkip(const std::string& displayName, int err) {
    Record(displayName, err == ENOENT ? RegularExpression::NotFound : RegularExpression::Unreadable, err);
  }

  bool Search(const FileInHand& hand) {
    const char* name = hand.displayName->c_str();
    const boost::regex& e = walker_.compiled_->Regex();
    if (mode_ == Mode::Find) {
      return Found(
          hand, SearchBuffer(hand.first, hand.last, e, flags_, SearchScope::FirstMatch, nullptr, walker_.lineBounded_));
    }
    current_ = &hand;
    // Without a callback nothing needs a line number or a match object.
    const BufferSearchResult result = SearchBuffer(hand.first, hand.last, e, flags_, SearchScope::AllMatches,
                                                   onMatch != nullptr ? this : nullptr, walker_.lineBounded_);
    current_ = nullptr;
    count_ += result.matches;
    if (result.failed && !result.stopped) return Done(hand, result.matches, Failed(*hand.displayName, result.failure));
    const bool goOn = mode_ != Mode::Change || onEnd == nullptr || onEnd(name);
    if (hand.replaced)
      seen_[std::make_pair(hand.replacement.dev, hand.replacement.ino)] = Met{*hand.displayName, false};
    return Done(hand, result.matches, goOn && !result.stopped);
  }

  bool Failed(const std::string& name, const std::string& reason) {
    RegularExpression::SkippedFile skip;
    skip.fileName = name;
    skip.reason = RegularExpression::SearchGaveUp;
    skip.text = reason;
    walker_.skipped_.push_back(std::move(skip));
    if (walker_.filter_ != nullptr) walker_.filter_->SearchStopped(name, reason);
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
  struct Met {
    std::string name;  // the name the file was met by
    bool otherNames;   // it had more than one
  };
  std::map<std::pair<dev_t, ino_t>, Met> seen_;  // each file met
  std::uint64_t count_ = 0;
  bool stopped_ = false;                           // a callback ended the walk while files were ahead
  BufferPool pool_;                                // the larger files' buffers
  std::shared_ptr<const UniqueFd> directory_;      // the current directory's, for the batches
  std::unique_ptr<FileBatch> building_;            // the batch being filled
  std::vector<std::unique_ptr<FileBatch>> spare_;  // delivered batches, for reuse
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
