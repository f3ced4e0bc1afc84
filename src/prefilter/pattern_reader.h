// Reads a compiled expression's pattern and writes a scanner pattern whose
// matches are a superset of the engine's: every single-character item becomes
// the exact byte set the engine gives it (asked of the engine itself, under
// the expression's own flags and locale), assertions and look-around are
// dropped, back-references become "any bytes". Anything the reader does not
// know for certain makes the expression unreadable: it then runs without a
// prefilter.
#ifndef RAVELIN_PREFILTER_PATTERN_READER_H
#define RAVELIN_PREFILTER_PATTERN_READER_H

#include <boost/regex.hpp>

#include <string>

namespace RegexClass {
namespace detail {

struct ScannerPattern {
  bool readable = false;
  std::string text;  // the scanner's pattern (bytes as \xHH, classes, groups)
  // Some item other than '.' (a class, an escape, a literal, an item inside
  // look-around) can match '\n'.
  bool newlineOutsideDot = false;
  // A '.' that matches '\n' whatever the match flags say ((?s), mod_s).
  bool dotAlways = false;
  // A '.' that matches '\n' unless the search passes match_not_dot_newline.
  bool dotUnlessFlag = false;
  std::string why;  // why not readable (for tests and diagnostics)
};

// Reads e (which must have compiled without error).
ScannerPattern ReadPattern(const boost::regex& e);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PREFILTER_PATTERN_READER_H
