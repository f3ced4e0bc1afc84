#include "filewalk/file_batch.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace RegexClass {
namespace detail {
namespace {

// The read buffer starts at this size.
constexpr std::size_t kFirstBuffer = std::size_t{64} << 10;

// Moves the buffer's first used bytes into a new buffer of size bytes. A
// file too large to hold is passed by like an unreadable one: false, ENOMEM.
bool Regrow(std::unique_ptr<char[]>& buffer, std::size_t& capacity, std::size_t used, std::size_t size, int* err) {
  std::unique_ptr<char[]> bigger(new (std::nothrow) char[size]);
  if (bigger == nullptr) {
    *err = ENOMEM;
    return false;
  }
  if (used > 0) std::memcpy(bigger.get(), buffer.get(), used);
  buffer = std::move(bigger);
  capacity = size;
  return true;
}

// Keeps the matches of one file, up to room of them.
class Recorder final : public MatchSink {
 public:
  Recorder(std::vector<RecordedMatch>& out, std::size_t room) : out_(out), room_(room) {}
  bool OnMatch(const MatchView& view, unsigned line) override {
    if (out_.size() == room_) {
      full_ = true;
      return false;
    }
    out_.push_back(RecordedMatch{*view.match, line});
    return true;
  }
  bool Full() const { return full_; }

 private:
  std::vector<RecordedMatch>& out_;
  std::size_t room_;
  bool full_ = false;
};

}  // namespace

bool ReadWhole(int fd, std::uint64_t hint, std::unique_ptr<char[]>& buffer, std::size_t& capacity, std::size_t* used,
               int* err) {
  // One spare byte lets the first read already see the end.
  std::size_t want = *used + kFirstBuffer;
  if (*used + hint + 1 > want) want = *used + static_cast<std::size_t>(hint) + 1;
  if (*used == 0 && capacity > kKeptBuffer && want <= kKeptBuffer) {
    buffer.reset();
    capacity = 0;
  }
  for (;;) {
    // Doubling at least: a batch's buffer grows by a file at a time.
    if ((*used == capacity || capacity < want) && !Regrow(buffer, capacity, *used, std::max(want, capacity * 2), err))
      return false;
    const long got = ReadSome(fd, buffer.get() + *used, capacity - *used, err);
    if (got < 0) return false;
    if (got == 0) return true;
    *used += static_cast<std::size_t>(got);
  }
}

ReadBuffer BufferPool::Take(std::size_t want) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (held_.empty()) return ReadBuffer();
  std::size_t pick = 0;
  for (std::size_t i = 1; i < held_.size(); ++i) {
    const bool fits = held_[i].capacity >= want;
    const bool pickFits = held_[pick].capacity >= want;
    if (fits ? (!pickFits || held_[i].capacity < held_[pick].capacity)
             : (!pickFits && held_[i].capacity > held_[pick].capacity))
      pick = i;
  }
  ReadBuffer taken = std::move(held_[pick]);
  held_[pick] = std::move(held_.back());
  held_.pop_back();
  bytes_ -= taken.capacity;
  return taken;
}

void BufferPool::Give(ReadBuffer buffer) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (bytes_ + buffer.capacity > kPoolBytes) return;  // freed here
  bytes_ += buffer.capacity;
  held_.push_back(std::move(buffer));
}

bool MayStopReadingAtMatch(boost::match_flag_type flags, bool lineBounded) {
  // In integers: the complement of a flag set is no flag set the enumeration holds.
  const std::uint32_t edges =
      static_cast<std::uint32_t>(boost::match_not_bol) | static_cast<std::uint32_t>(boost::match_not_eol) |
      static_cast<std::uint32_t>(boost::match_not_bob) | static_cast<std::uint32_t>(boost::match_not_eob) |
      static_cast<std::uint32_t>(boost::match_prev_avail);
  return lineBounded && (static_cast<std::uint32_t>(flags) & edges) == 0;
}

bool ReadUntilMatch(int fd, std::uint64_t hint, std::unique_ptr<char[]>& buffer, std::size_t& capacity,
                    std::size_t* used, int* err, const boost::regex& e, boost::match_flag_type flags,
                    const RegularExpression::FileFilter* filter, BufferSearchResult* result, bool* refused) {
  *result = BufferSearchResult();
  *refused = false;
  const std::size_t start = *used;
  std::size_t searched = start;  // the lines before this are searched
  // Room for the whole file as its size says: the buffer does not move as
  // the parts come, unless the file grows meanwhile.
  const std::size_t want = start + static_cast<std::size_t>(hint) + 1;
  if (capacity < want && !Regrow(buffer, capacity, start, want, err)) return false;
  for (;;) {
    if (*used == capacity && !Regrow(buffer, capacity, *used, capacity * 2, err)) return false;
    const long got = ReadSome(fd, buffer.get() + *used, std::min(kReadPart, capacity - *used), err);
    if (got < 0) return false;
    const char* base = buffer.get();
    if (got > 0) {
      const char* part = base + *used;
      *used += static_cast<std::size_t>(got);
      if (filter != nullptr && !filter->SearchBytes(part, part + got)) {
        *refused = true;
        return true;
      }
    }
    // The whole lines read and not yet searched; at the end, what is left.
    std::size_t end = *used;
    if (got > 0) {
      const void* nl = memrchr(base + searched, '\n', *used - searched);
      if (nl == nullptr) continue;
      end = static_cast<std::size_t>(static_cast<const char*>(nl) - base) + 1;
    }
    if (end > searched) {
      *result = SearchBuffer(base + searched, base + end, e, flags, SearchScope::FirstMatch, nullptr, true);
      if (result->matches > 0 || result->failed) return true;
      searched = end;
    }
    if (got == 0) return true;
  }
}

void FileBatch::Clear() {
  for (std::size_t i = 0; i < count_; ++i) {
    files_[i].directory.reset();
    if (files_[i].own.data != nullptr) pool_.Give(std::move(files_[i].own));
    files_[i].own = ReadBuffer();
    files_[i].matches.clear();
  }
  count_ = 0;
  used_ = 0;
  recorded_ = 0;
  // A spare batch keeps a buffer of about the size most batches need.
  if (capacity_ > 2 * kBatchBytes) {
    buffer_.reset();
    capacity_ = 0;
  }
}

AheadFile& FileBatch::Add() {
  if (count_ == files_.size()) files_.emplace_back();
  AheadFile& file = files_[count_++];
  file.skipOnly = false;
  file.skipErr = 0;
  file.done = false;
  file.opened = false;
  file.read = false;
  file.err = 0;
  file.offset = 0;
  file.size = 0;
  file.bytes = nullptr;
  file.shared = false;
  file.recorded = false;
  file.recordedAt = nullptr;
  file.refused = false;
  file.result = BufferSearchResult();
  return file;
}

void FileBatch::Do(AheadFile& file, std::unique_ptr<char[]>* buffer, std::size_t* capacity) noexcept {
  file.done = true;
  if (file.skipOnly) return;
  const int directoryFd = file.directory != nullptr ? file.directory->Get() : AT_FDCWD;
  const UniqueFd fd = OpenRegularFileAt(directoryFd, file.entryName, &file.status, &file.err);
  file.opened = fd.Valid();
  if (!file.opened) return;
  // Small files share the batch's buffer; a larger one has one of its own,
  // so that the batch's stays small and is not copied as it grows.
  const bool shared = buffer == nullptr && file.status.size <= kSmallFile;
  std::unique_ptr<char[]>* into = buffer;
  std::size_t* room = capacity;
  if (shared) {
    into = &buffer_;
    room = &capacity_;
  } else if (buffer == nullptr) {
    file.own = pool_.Take(static_cast<std::size_t>(file.status.size) + 1);
    into = &file.own.data;
    room = &file.own.capacity;
  }
  std::size_t used = shared ? used_ : 0;
  file.offset = used;
  // A search for the first match, line by line, stops reading there.
  const bool parted = scope_ == SearchScope::FirstMatch && !record_ && file.status.size > kPartedReadFrom &&
                      MayStopReadingAtMatch(flags_, lineBounded_);
  if (parted) {
    try {
      file.read = ReadUntilMatch(fd.Get(), file.status.size, *into, *room, &used, &file.err, regex_, flags_, filter_,
                                 &file.result, &file.refused);
    } catch (const std::bad_alloc&) {
      file.read = false;  // passed by as a file too large to hold
      file.err = ENOMEM;
    }
  } else {
    file.read = ReadWhole(fd.Get(), file.status.size, *into, *room, &used, &file.err);
  }
  if (!file.read) return;
  if (shared) used_ = used;
  file.size = used - file.offset;
  // The batch's buffer may still move as later files are read into it: the
  // bytes are found through the offset once the batch is done.
  file.shared = shared;
  file.bytes = shared ? nullptr : into->get();
  const char* first = into->get() + file.offset;
  if (parted) return;  // searched as it was read
  if (filter_ != nullptr && !filter_->SearchBytes(first, first + file.size)) {
    file.refused = true;
    return;
  }
  try {
    if (record_) {
      Recorder recorder(file.matches, kRecordedMatches - recorded_);
      file.result =
          SearchBuffer(first, first + file.size, regex_, flags_, SearchScope::AllMatches, &recorder, lineBounded_);
      file.recorded = !recorder.Full() && !file.result.failed;
      file.recordedAt = first;
      recorded_ += file.matches.size();
    } else {
      file.result = SearchBuffer(first, first + file.size, regex_, flags_, scope_, nullptr, lineBounded_);
    }
  } catch (const std::bad_alloc&) {
    // The calling thread searches this file again by itself.
    file.matches.clear();
    file.recorded = false;
    file.result = BufferSearchResult();
    file.result.failed = true;
  }
}

void FileBatch::Run() noexcept {
  for (std::size_t i = 0; i < count_ && used_ < kBatchBytes; ++i) Do(files_[i], nullptr, nullptr);
}

}  // namespace detail
}  // namespace RegexClass
