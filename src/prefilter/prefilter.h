// A prefilter in front of the engine: a fast scanner (Vectorscan/Hyperscan,
// when the build found it) that reports where matches of a widened form of
// the expression end. The engine then runs only near those places, always
// with the true start of the buffer as its base, so every match it reports is
// the one a plain search would have found. Without the scanner, or for an
// expression, flag set, locale or buffer the prefilter is not sure about, the
// search is plain.
#ifndef RAVELIN_PREFILTER_PREFILTER_H
#define RAVELIN_PREFILTER_PREFILTER_H

#include <boost/regex.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace RegexClass {
namespace detail {

enum class PrefilterMode {
  Off,     // every search is plain
  On,      // the prefilter runs for buffers of some size (the default)
  Always,  // the prefilter runs for every buffer, however short (for tests)
};

// The process-wide mode. Meant for tests and benchmarks that compare the
// prefiltered search with the plain one; set it while no search runs.
void SetPrefilterMode(PrefilterMode mode);
PrefilterMode GetPrefilterMode();

// True when the library was built with the scanner and this CPU runs it.
bool PrefilterAvailable();

class Prefilter;

// The prefilter for e, or null when there is none. Built once per pattern,
// flag word and locale, and shared by all threads.
std::shared_ptr<const Prefilter> PrefilterFor(const boost::regex& e);

// Describes the prefilter decision for e (tests and diagnostics): "" when a
// prefilter exists, else why not.
std::string PrefilterRefusal(const boost::regex& e);

// One walk over one buffer with the prefilter. Find(from, ...) gives exactly
// what SafeSearch(from, last, first, m, e, flags [| match_not_initial_null])
// gives, the match's prefix and positions counted from `from` as well.
// Successive calls must not go backwards.
class PrefilterCursor {
 public:
  // Null when the prefilter does not apply to this walk.
  static std::unique_ptr<PrefilterCursor> Open(const char* first, const char* last, const boost::regex& e,
                                               boost::match_flag_type flags);
  PrefilterCursor(std::shared_ptr<const Prefilter> prefilter, const char* first, const char* last,
                  const boost::regex& e, boost::match_flag_type flags);
  ~PrefilterCursor();
  PrefilterCursor(const PrefilterCursor&) = delete;
  PrefilterCursor& operator=(const PrefilterCursor&) = delete;

  // afterEmpty: the previous match was empty and ended at from.
  bool Find(const char* from, bool afterEmpty, boost::cmatch& m, std::string* failure);

  // Line-bounded walks (engine/engine.h), whose matches never hold a '\n'
  // whatever the expression, since the scanner's form drops anchors and
  // look-around, ask for lines only. The end of the first candidate after `after` (the
  // walk's first position, or a line start; the line of each candidate is
  // searched whole, so later calls must start past it). False when there is
  // none, or when the walk must search every line from here on: Broken().
  bool NextLineCandidate(std::size_t after, std::size_t& end);
  // The scanner failed, or matches come so thick that the engine alone is
  // quicker: searches are plain from here on.
  bool Broken() const { return broken_; }

 private:
  enum class Window { Found, None, Fallback };
  bool FindInLines(std::size_t origin, bool afterEmpty, boost::cmatch& m, std::string* failure);
  bool FindFromTail(std::size_t origin, bool afterEmpty, boost::cmatch& m, std::string* failure);
  Window SearchLine(std::size_t origin, std::size_t from, std::size_t lineEnd, bool afterEmpty, boost::cmatch& m,
                    std::string* failure);
  bool Plain(std::size_t origin, bool afterEmpty, boost::cmatch& m, std::string* failure);
  bool Finish(std::size_t origin, std::size_t start, bool afterEmpty, boost::cmatch& m, std::string* failure);
  bool NextCandidate(std::size_t after, std::size_t& end);
  bool ScanChunk(std::size_t after);

  std::shared_ptr<const Prefilter> prefilter_;
  const char* base_;
  const char* last_;
  std::size_t size_;
  const boost::regex& regex_;
  boost::match_flag_type flags_;
  bool lineLocal_;
  std::size_t tail_;     // where the run of line separators that ends the buffer starts
  bool broken_ = false;  // the scanner failed, or matches are dense: plain from here on
  std::size_t finds_ = 0;
  // Line walk: candidate ends (the first after the walk's position on each
  // line) of the part of the buffer scanned so far.
  std::vector<std::size_t> candidates_;
  std::size_t next_ = 0;     // index into candidates_
  std::size_t scanned_ = 0;  // end of the scanned part (a line start)
  std::size_t chunk_;
  bool lineOpen_ = false;  // a line is being searched
  std::size_t lineEnd_ = 0;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PREFILTER_PREFILTER_H
