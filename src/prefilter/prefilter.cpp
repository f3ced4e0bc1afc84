// The scanner behind the prefilter: one compiled database per expression,
// shared read-only by all threads, each thread scanning with its own scratch.
#include "prefilter/prefilter.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "prefilter/pattern_reader.h"
#include "prefilter/scanner.h"

#ifdef RAVELIN_HAVE_HS
#include <hs.h>
#endif

namespace RegexClass {
namespace detail {
namespace {

std::atomic<PrefilterMode> g_mode{PrefilterMode::On};

}  // namespace

void SetPrefilterMode(PrefilterMode mode) { g_mode.store(mode, std::memory_order_relaxed); }
PrefilterMode GetPrefilterMode() { return g_mode.load(std::memory_order_relaxed); }

#ifdef RAVELIN_HAVE_HS

namespace {

// Locales whose single-byte behaviour the reader has been checked against.
bool KnownLocale(const std::locale& loc) {
  const std::string name = loc.name();
  return name == "C" || name == "POSIX" || name == "C.UTF-8" || name == "C.utf8";
}

// The scratch of this thread, grown to fit every database it scans with.
// Scans never nest (candidates are gathered before any caller code runs), so
// one per thread is enough.
class ThreadScratch {
 public:
  ~ThreadScratch() {
    if (scratch_ != nullptr) hs_free_scratch(scratch_);
  }
  hs_scratch_t* For(const hs_database_t* db) {
    if (hs_alloc_scratch(db, &scratch_) != HS_SUCCESS) return nullptr;
    return scratch_;
  }

 private:
  hs_scratch_t* scratch_ = nullptr;
};

thread_local ThreadScratch t_scratch;

struct DatabaseFree {
  void operator()(hs_database_t* db) const { hs_free_database(db); }
};

}  // namespace

bool PrefilterAvailable() {
  static const bool valid = hs_valid_platform() == HS_SUCCESS;
  return valid;
}

class Prefilter {
 public:
  Prefilter(std::unique_ptr<hs_database_t, DatabaseFree> db, const ScannerPattern& pattern, std::size_t maxWidth,
            bool ordered)
      : db_(std::move(db)), pattern_(pattern), maxWidth_(maxWidth), ordered_(ordered) {}

  bool LineLocal(boost::match_flag_type flags) const {
    if (pattern_.newlineOutsideDot || pattern_.dotAlways) return false;
    return !pattern_.dotUnlessFlag || (flags & boost::regex_constants::match_not_dot_newline);
  }
  std::size_t MaxWidth() const { return maxWidth_; }
  bool Ordered() const { return ordered_; }

  ScanStatus Scan(const char* first, std::size_t length, const ScanSink& sink) const {
    hs_scratch_t* scratch = t_scratch.For(db_.get());
    if (scratch == nullptr) return ScanStatus::Error;
    struct Context {
      const ScanSink* sink;
    } context{&sink};
    auto onMatch = [](unsigned int, unsigned long long, unsigned long long to, unsigned int, void* ctx) -> int {
      const ScanSink& s = *static_cast<Context*>(ctx)->sink;
      return s.onEnd(static_cast<std::size_t>(to), s.context) ? 0 : 1;
    };
    const hs_error_t rc = hs_scan(db_.get(), first, static_cast<unsigned int>(length), 0, scratch, onMatch, &context);
    if (rc == HS_SUCCESS) return ScanStatus::Done;
    if (rc == HS_SCAN_TERMINATED) return ScanStatus::Stopped;
    return ScanStatus::Error;
  }

 private:
  std::unique_ptr<hs_database_t, DatabaseFree> db_;
  ScannerPattern pattern_;
  std::size_t maxWidth_;
  bool ordered_;
};

namespace {

struct Built {
  std::shared_ptr<const Prefilter> prefilter;
  std::string refusal;
};

Built Build(const boost::regex& e) {
  Built b;
  if (!PrefilterAvailable()) {
    b.refusal = "the scanner does not run on this CPU";
    return b;
  }
  if (!KnownLocale(e.getloc())) {
    b.refusal = "a locale the reader was not checked against";
    return b;
  }
  const ScannerPattern pattern = ReadPattern(e);
  if (!pattern.readable) {
    b.refusal = pattern.why;
    return b;
  }
  const unsigned flags = HS_FLAG_PREFILTER | HS_FLAG_DOTALL;
  hs_expr_info_t* info = nullptr;
  hs_compile_error_t* error = nullptr;
  if (hs_expression_info(pattern.text.c_str(), flags, &info, &error) != HS_SUCCESS) {
    b.refusal = std::string("scanner: ") + (error != nullptr ? error->message : "refused");
    hs_free_compile_error(error);
    return b;
  }
  const unsigned minWidth = info->min_width;
  const unsigned maxWidth = info->max_width;
  const bool ordered = info->unordered_matches == 0;
  std::free(info);
  if (minWidth == 0) {
    b.refusal = "the expression may match the empty string";
    return b;
  }
  hs_database_t* raw = nullptr;
  if (hs_compile(pattern.text.c_str(), flags, HS_MODE_BLOCK, nullptr, &raw, &error) != HS_SUCCESS) {
    b.refusal = std::string("scanner: ") + (error != nullptr ? error->message : "refused");
    hs_free_compile_error(error);
    return b;
  }
  std::unique_ptr<hs_database_t, DatabaseFree> db(raw);
  const std::size_t width =
      maxWidth == UINT_MAX ? std::numeric_limits<std::size_t>::max() : static_cast<std::size_t>(maxWidth);
  b.prefilter = std::make_shared<const Prefilter>(std::move(db), pattern, width, ordered);
  return b;
}

// The prefilters of the last few expressions searched. Keyed by pattern,
// flag word and locale name, so an expression compiled again (by another
// object, or for each ChangeFiles run) finds its prefilter.
class PrefilterCache {
 public:
  Built Get(const boost::regex& e) {
    const std::string locale = e.getloc().name();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const Entry& entry : entries_) {
        if (entry.flags == e.flags() && entry.pattern == e.str() && entry.locale == locale) return entry.built;
      }
    }
    Built built = Build(e);  // outside the lock: compiling takes up to milliseconds
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.size() >= kEntries) entries_.erase(entries_.begin());
    entries_.push_back(Entry{e.str(), e.flags(), locale, built});
    return built;
  }

 private:
  static constexpr std::size_t kEntries = 32;
  struct Entry {
    std::string pattern;
    boost::regex::flag_type flags;
    std::string locale;
    Built built;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

PrefilterCache& Cache() {
  static PrefilterCache cache;
  return cache;
}

}  // namespace

std::shared_ptr<const Prefilter> PrefilterFor(const boost::regex& e) {
  if (e.empty() || e.status() != 0) return nullptr;
  return Cache().Get(e).prefilter;
}

std::string PrefilterRefusal(const boost::regex& e) {
  if (e.empty() || e.status() != 0) return "not compiled";
  return Cache().Get(e).refusal;
}

bool PrefilterLineLocal(const Prefilter& p, boost::match_flag_type flags) { return p.LineLocal(flags); }
std::size_t PrefilterMaxWidth(const Prefilter& p) { return p.MaxWidth(); }
bool PrefilterOrdered(const Prefilter& p) { return p.Ordered(); }
ScanStatus PrefilterScan(const Prefilter& p, const char* first, std::size_t length, const ScanSink& sink) {
  return p.Scan(first, length, sink);
}

#else  // built without the scanner

class Prefilter {};

bool PrefilterAvailable() { return false; }
std::shared_ptr<const Prefilter> PrefilterFor(const boost::regex&) { return nullptr; }
std::string PrefilterRefusal(const boost::regex&) { return "built without the scanner"; }
bool PrefilterLineLocal(const Prefilter&, boost::match_flag_type) { return false; }
std::size_t PrefilterMaxWidth(const Prefilter&) { return std::numeric_limits<std::size_t>::max(); }
bool PrefilterOrdered(const Prefilter&) { return false; }
ScanStatus PrefilterScan(const Prefilter&, const char*, std::size_t, const ScanSink&) { return ScanStatus::Error; }

#endif

}  // namespace detail
}  // namespace RegexClass
