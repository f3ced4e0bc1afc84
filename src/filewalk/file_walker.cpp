#include "filewalk/file_walker.h"

#include <cstring>
#include <new>

#include "engine/engine.h"
#include "filewalk/buffer_search.h"
#include "filewalk/file_pattern.h"
#include "platform/mapped_file.h"
#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {
namespace {

// The read buffer starts at this size, and is given back when a file needed
// more than kKeptBuffer (a mapping that failed, a file that grew).
constexpr std::size_t kFirstBuffer = std::size_t{64} << 10;
constexpr std::size_t kKeptBuffer = std::size_t{64} << 20;

}  // namespace

// The bytes of one file: a range of the walker's buffer or of a mapping.
class FileWalker::Contents {
 public:
  const char* first = nullptr;
  const char* last = nullptr;
  MappedFile mapping;
};

// Searches each file until its first match and reports the file.
class FileWalker::FindVisitor final : public FileVisitor {
 public:
  FindVisitor(FileWalker& walker, FindCallback callback, boost::match_flag_type flags, FailureCallback onFailure)
      : walker_(walker), callback_(callback), flags_(flags), onFailure_(onFailure) {}

  void Skip(const std::string&, int) override {}
  bool Visit(const WalkFile& file) override {
    const std::string& name = file.displayName;
    BufferSearchResult result;
    {
      Contents contents;
      if (!walker_.Load(name, &contents)) return true;
      result = SearchBuffer(contents.first, contents.last, walker_.compiled_->Regex(), flags_,
                            SearchScope::FirstMatch, nullptr);
    }  // the file is let go before anyone hears of it
    if (result.matches == 0) {
      return !result.failed || onFailure_ == nullptr || onFailure_(name.c_str(), result.failure);
    }
    ++count_;
    return callback_ == nullptr || callback_(name.c_str());
  }

  std::uint64_t Count() const { return count_; }

 private:
  FileWalker& walker_;
  FindCallback callback_;
  boost::match_flag_type flags_;
  FailureCallback onFailure_;
  std::uint64_t count_ = 0;
};

// Searches each file for every match and reports each one.
class FileWalker::GrepVisitor final : public FileVisitor, private MatchSink {
 public:
  GrepVisitor(FileWalker& walker, GrepCallback callback, boost::match_flag_type flags, FailureCallback onFailure)
      : walker_(walker), callback_(callback), flags_(flags), onFailure_(onFailure) {}

  void Skip(const std::string&, int) override {}
  bool Visit(const WalkFile& file) override {
    const std::string& name = file.displayName;
    Contents contents;
    if (!walker_.Load(name, &contents)) return true;
    name_ = name.c_str();
    // Without a callback nothing needs a line number or a match object.
    const BufferSearchResult result = SearchBuffer(contents.first, contents.last, walker_.compiled_->Regex(),
                                                   flags_, SearchScope::AllMatches,
                                                   callback_ != nullptr ? this : nullptr);
    count_ += result.matches;
    if (result.stopped) return false;
    return !result.failed || onFailure_ == nullptr || onFailure_(name.c_str(), result.failure);
  }

  std::uint64_t Count() const { return count_; }

 private:
  bool OnMatch(const MatchView& view, unsigned line) override {
    const FileMatch match(view, line);
    return callback_(name_, match);
  }

  FileWalker& walker_;
  GrepCallback callback_;
  boost::match_flag_type flags_;
  FailureCallback onFailure_;
  const char* name_ = nullptr;
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
  if (compiled_ == nullptr || !compiled_->Usable()) return 0;
  FindVisitor visitor(*this, callback, compiled_->SearchFlags(matchFlags), onFailure);
  WalkFilePattern(spec, recurse, visitor);
  return static_cast<unsigned>(visitor.Count());
}

unsigned FileWalker::GrepFiles(GrepCallback callback, const std::string& spec, bool recurse, unsigned matchFlags,
                               FailureCallback onFailure) {
  if (compiled_ == nullptr || !compiled_->Usable()) return 0;
  GrepVisitor visitor(*this, callback, compiled_->SearchFlags(matchFlags), onFailure);
  WalkFilePattern(spec, recurse, visitor);
  return static_cast<unsigned>(visitor.Count());
}

bool FileWalker::Load(const std::string& name, Contents* contents) {
  int err = 0;
  FileStat st;
  UniqueFd file = OpenRegularFile(name, &st, &err);
  if (!file.Valid()) return false;

  if (st.size > 0 && st.size >= mapThreshold_) {
    contents->mapping = MappedFile::Map(file.Get(), st.size, &err);
    if (contents->mapping.Valid()) {
      contents->first = contents->mapping.Data();
      contents->last = contents->first + contents->mapping.Size();
      return true;
    }
    // Some file systems cannot map: read the file instead.
  }

  // The size is a hint only: the file may grow or shrink while it is read,
  // and some files report 0. Reading goes on to the end of the file; one
  // spare byte lets the first read already see it.
  std::size_t want = kFirstBuffer;
  if (st.size + 1 > want) want = static_cast<std::size_t>(st.size) + 1;
  if (capacity_ > kKeptBuffer && want <= kKeptBuffer) {
    buffer_.reset();
    capacity_ = 0;
  }
  std::size_t used = 0;
  for (;;) {
    if (used == capacity_ || capacity_ < want) {
      std::size_t grown = capacity_ < want ? want : capacity_ * 2;
      // A file too large to hold is passed by like an unreadable one.
      std::unique_ptr<char[]> bigger(new (std::nothrow) char[grown]);
      if (bigger == nullptr) return false;
      if (used > 0) std::memcpy(bigger.get(), buffer_.get(), used);
      buffer_ = std::move(bigger);
      capacity_ = grown;
    }
    const long got = ReadSome(file.Get(), buffer_.get() + used, capacity_ - used, &err);
    if (got < 0) return false;
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  contents->first = buffer_.get();
  contents->last = contents->first + used;
  return true;
}

}  // namespace detail
}  // namespace RegexClass
