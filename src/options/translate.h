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

#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

// Bits of the option word, as the public header lays it out.
enum OptionBits : unsigned {
  kEscapeInLists = RegularExpression::OptionWord(RegularExpression::EscapeInLists),
  kCharClasses = RegularExpression::OptionWord(RegularExpression::CharClasses),
  kIntervals = RegularExpression::OptionWord(RegularExpression::Intervals),
  kLimitedOps = RegularExpression::OptionWord(RegularExpression::LimitedOps),
  kNewlineAlt = RegularExpression::OptionWord(RegularExpression::NewlineAlt),
  kBkPlusQm = RegularExpression::OptionWord(RegularExpression::BkPlusQm),
  kBkBraces = RegularExpression::OptionWord(RegularExpression::BkBraces),
  kBkParens = RegularExpression::OptionWord(RegularExpression::BkParens),
  kBkRefs = RegularExpression::OptionWord(RegularExpression::BkRefs),
  kBkVbar = RegularExpression::OptionWord(RegularExpression::BkVbar),
  kLiteral = RegularExpression::OptionWord(RegularExpression::Literal),
  kIcase = RegularExpression::OptionWord(RegularExpression::Icase),
  kNoCollate = RegularExpression::OptionWord(RegularExpression::NoCollate),
};

// The word of Perl syntax without collation (Normal), as the file walk
// compiles its expressions.
constexpr unsigned kPerlOptionWord = RegularExpression::OptionWord(RegularExpression::Normal);

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
