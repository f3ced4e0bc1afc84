// The one translation from the library's compile option word to Boost.Regex.
//
// The option word keeps the historical bit layout (EscapeInLists 0x1 ...
// NoCollate 0x4000). Its bits mean other things to Boost, so the word is never
// handed over as it stands: this function picks Boost's syntax group and
// flags, and rewrites the pattern text where an option has no Boost flag.
#ifndef RAVELIN_OPTIONS_TRANSLATE_H
#define RAVELIN_OPTIONS_TRANSLATE_H

#include <boost/regex.hpp>

#include <string>

namespace RegexClass {
namespace detail {

// Bits of the option word.
enum OptionBits : unsigned {
  kEscapeInLists = 0x1,
  kCharClasses = 0x2,
  kIntervals = 0x4,
  kLimitedOps = 0x8,
  kNewlineAlt = 0x10,
  kBkPlusQm = 0x20,
  kBkBraces = 0x40,
  kBkParens = 0x80,
  kBkRefs = 0x100,
  kBkVbar = 0x200,
  kLiteral = 0x1000,
  kIcase = 0x2000,
  kNoCollate = 0x4000,
};

// The word of Perl syntax without collation (Normal), as the file walk
// compiles its expressions.
constexpr unsigned kPerlOptionWord = kEscapeInLists | kCharClasses | kIntervals | kBkRefs | kNoCollate;

struct Translation {
  bool supported = true;          // false: the word cannot be expressed
  std::string pattern;            // the text to compile
  boost::regex::flag_type flags;  // Boost syntax flags, no_except included
  std::string problem;            // why the word is not supported, or why the text is refused
  // Non-zero: the text is refused before compiling, with this engine error
  // code (problem says why), where the engine itself would misbehave.
  unsigned engineError = 0;
};

// Translates a pattern and an option word. extendedRules: the option set
// holds Extended, which asks for POSIX leftmost-longest matching.
Translation TranslateOptions(const char* first, const char* last, unsigned word, bool extendedRules);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_OPTIONS_TRANSLATE_H
