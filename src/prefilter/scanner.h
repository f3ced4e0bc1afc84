// The scanner's side of a prefilter, as the walk over a buffer sees it.
#ifndef RAVELIN_PREFILTER_SCANNER_H
#define RAVELIN_PREFILTER_SCANNER_H

#include <boost/regex.hpp>

#include <cstddef>

namespace RegexClass {
namespace detail {

class Prefilter;

enum class ScanStatus { Done, Stopped, Error };

// Receives the end offsets (from the start of the scanned range) of the
// scanner's matches, not necessarily in order; false stops the scan.
struct ScanSink {
  bool (*onEnd)(std::size_t end, void* context);
  void* context;
};

// No match of the engine crosses a '\n' under these match flags.
bool PrefilterLineLocal(const Prefilter& p, boost::match_flag_type flags);
// The longest match the scanner's pattern can have; SIZE_MAX when unbounded.
std::size_t PrefilterMaxWidth(const Prefilter& p);
// The scanner reports match ends in order.
bool PrefilterOrdered(const Prefilter& p);
// Scans [first, first + length) as a whole buffer.
ScanStatus PrefilterScan(const Prefilter& p, const char* first, std::size_t length, const ScanSink& sink);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PREFILTER_SCANNER_H
