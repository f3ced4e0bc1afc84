// Files read and searched ahead of the calling thread, a batch at a time.
//
// The walk gathers the files it comes upon, in walk order, into batches of
// up to kBatchFiles; a worker (ReadAhead) opens, reads and searches the files
// of a batch one after the other into one buffer, and the calling thread
// takes the results back in the same order. Handing files over a batch at a
// time keeps the threads from meeting at every file; the files of one
// directory share one descriptor of it. Small files are read into one
// buffer of the batch, larger ones into buffers of their own from a pool. A worker stops a batch once its shared buffer
// holds kBatchBytes; the calling thread does the files it left, in its own buffer.
#ifndef RAVELIN_FILEWALK_FILE_BATCH_H
#define RAVELIN_FILEWALK_FILE_BATCH_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "filewalk/buffer_search.h"
#include "filewalk/read_ahead.h"
#include "platform/posix_file.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

// A read buffer is given back when a file needed more than this.
constexpr std::size_t kKeptBuffer = std::size_t{64} << 20;

// Reads the whole file into buffer after its first *used bytes, which stay;
// *used becomes the end of the file's bytes. The buffer grows as needed. The
// size is a hint only: the file may grow or shrink while it is read, and
// some files report 0. False with *err when a read fails or memory runs out.
bool ReadWhole(int fd, std::uint64_t hint, std::unique_ptr<char[]>& buffer, std::size_t& capacity, std::size_t* used,
               int* err);

// A read buffer and its size.
struct ReadBuffer {
  std::unique_ptr<char[]> data;
  std::size_t capacity = 0;
};

// The buffers of the larger files, shared by the batches of one walk, so
// that each is faulted in once rather than once a file. Workers take, the
// calling thread gives back; up to kPoolBytes are kept.
class BufferPool {
 public:
  static constexpr std::size_t kPoolBytes = std::size_t{64} << 20;
  // The smallest buffer held of at least want bytes, else the largest held
  // (to be grown), else none.
  ReadBuffer Take(std::size_t want);
  void Give(ReadBuffer buffer);

 private:
  std::mutex mutex_;
  std::vector<ReadBuffer> held_;
  std::size_t bytes_ = 0;
};

// A match a worker found, kept for the calling thread to report.
struct RecordedMatch {
  boost::cmatch match;
  unsigned line;
};

// Whether a search for a file's first match, line by line under flags, may
// read the file a part at a time and stop at the match: no flag speaks of
// the first or the last line of the buffer (each part but the first starts
// a line, and the last line read is not known to be the file's last).
bool MayStopReadingAtMatch(boost::match_flag_type flags, bool lineBounded);

// Files larger than this are read a part of kReadPart bytes at a time when
// a search may stop at the first match.
constexpr std::size_t kPartedReadFrom = std::size_t{64} << 10;
constexpr std::size_t kReadPart = std::size_t{32} << 10;

// Reads the file after the first *used bytes of buffer (as ReadWhole) a
// part at a time, searching each part's whole lines for a first match (line
// by line) as it comes, and stops reading at the match: *used is then the
// end of what was read. filter (may be null) is asked of each part read
// (SearchBytes); *refused when it said no. *result: the search's, as
// SearchBuffer with SearchScope::FirstMatch over the whole file gives it.
// False with *err when a read fails or memory runs out.
bool ReadUntilMatch(int fd, std::uint64_t hint, std::unique_ptr<char[]>& buffer, std::size_t& capacity,
                    std::size_t* used, int* err, const boost::regex& e, boost::match_flag_type flags,
                    const RegularExpression::FileFilter* filter, BufferSearchResult* result, bool* refused);

// One entry of a batch: a file, or a path the walk passed by.
struct AheadFile {
  // What to do.
  std::shared_ptr<const UniqueFd> directory;  // its directory (null: the current one)
  std::string entryName;
  std::string displayName;
  bool skipOnly = false;  // a path the walk passed by: nothing to read
  int skipErr = 0;
  // What came of it.
  bool done = false;  // tried (else the calling thread does it)
  bool opened = false;
  bool read = false;
  int err = 0;
  FileStat status;
  std::size_t offset = 0;       // where in the buffer
  std::size_t size = 0;         // how many bytes were read
  bool shared = false;          // in the batch's buffer, else in own or the caller's
  const char* bytes = nullptr;  // the buffer, when not the batch's
  ReadBuffer own;               // a larger file's buffer, from the pool
  // Recording batches: every match of the file, when recorded is set (the
  // engine did not give up, and there were not too many); found while the
  // bytes lay at recordedAt.
  std::vector<RecordedMatch> matches;
  bool recorded = false;
  const char* recordedAt = nullptr;
  bool refused = false;  // the filter's SearchBytes said no: not searched
  BufferSearchResult result;
};

class FileBatch final : public ReadAheadJob {
 public:
  static constexpr std::size_t kBatchFiles = 16;
  // A worker stops a batch once its shared buffer holds this much.
  static constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
  // At most this many matches are recorded in one batch; a file beyond it
  // is searched again by the calling thread.
  static constexpr std::size_t kRecordedMatches = std::size_t{1} << 16;
  // Files up to this size share the batch's buffer.
  static constexpr std::size_t kSmallFile = std::size_t{256} << 10;

  // How every file of the batch is searched, and where larger files are
  // read. record: every match is kept (scope is then AllMatches), up to
  // kRecordedMatches in the batch.
  // filter (may be null): its SearchBytes is asked of each file read.
  FileBatch(const boost::regex& regex, boost::match_flag_type flags, SearchScope scope, bool record, bool lineBounded,
            BufferPool& pool, const RegularExpression::FileFilter* filter)
      : regex_(regex),
        flags_(flags),
        scope_(scope),
        record_(record),
        lineBounded_(lineBounded),
        pool_(pool),
        filter_(filter) {}
  ~FileBatch() override { Clear(); }
  FileBatch(const FileBatch&) = delete;
  FileBatch& operator=(const FileBatch&) = delete;

  // Empties the batch for new files; the buffer stays.
  void Clear();
  // The next entry to fill in. REQUIRES: !Full().
  AheadFile& Add();
  bool Full() const { return count_ == kBatchFiles; }
  bool Empty() const { return count_ == 0; }
  std::size_t Count() const { return count_; }
  AheadFile& At(std::size_t i) { return files_[i]; }
  // Opens, reads and searches one file and marks it done: into the batch's
  // buffers (buffer null), or into *buffer, which the calling thread reuses
  // from file to file.
  void Do(AheadFile& file, std::unique_ptr<char[]>* buffer, std::size_t* capacity) noexcept;
  // The bytes of a file that was read, once the batch is done.
  const char* Bytes(const AheadFile& file) const { return (file.shared ? buffer_.get() : file.bytes) + file.offset; }
  // The worker's part: the files in order, until kBatchBytes are held.
  void Run() noexcept override;

 private:
  const boost::regex& regex_;
  boost::match_flag_type flags_;
  SearchScope scope_;
  bool record_;
  bool lineBounded_;
  BufferPool& pool_;
  const RegularExpression::FileFilter* filter_;
  std::vector<AheadFile> files_;  // the first count_ are this batch's
  std::size_t count_ = 0;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::size_t recorded_ = 0;  // matches recorded in the batch
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_FILE_BATCH_H
