// Compilation of expressions into the engine's form.
#include "engine/engine.h"
#include "options/translate.h"

#include <cstring>
#include <limits>

#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {
namespace {

// The result code of a pattern the engine cannot compile or search reliably
// under the option word.
constexpr unsigned kUnsupported = static_cast<unsigned>(RegularExpression::ParseResult::UnsupportedOptions);

std::string EngineMessage(unsigned code, const std::locale& loc) {
  boost::regex_traits<char> traits;
  traits.imbue(loc);
  return traits.error_string(static_cast<boost::regex_constants::error_type>(code));
}

namespace states = boost::BOOST_REGEX_DETAIL_NS;

// The engine marks a single-item repeat at the start of the program as
// leading: when an attempt from one start fails, the search resumes where
// that repeat stopped rather than one byte on. That holds for a greedy
// repeat (it stopped at a byte it cannot take) and for an unbounded lazy one,
// but a lazy repeat with an upper bound stops short of what a later start
// could reach: .{1,3}?bA over "b_b bA" fails at 0, resumes at 2 and misses
// "_b bA" at 1. True when the program holds such a repeat.
bool ResumesPastMatches(const boost::regex& e) {
  for (const states::re_syntax_base* s = e.get_first_state(); s != nullptr; s = s->next.p) {
    switch (s->type) {
      case states::syntax_element_dot_rep:
      case states::syntax_element_char_rep:
      case states::syntax_element_short_set_rep:
      case states::syntax_element_long_set_rep: {
        const auto* rep = static_cast<const states::re_repeat*>(s);
        if (rep->leading && !rep->greedy && rep->max != std::numeric_limits<std::size_t>::max() &&
            rep->max - rep->min >= 2) {
          return true;
        }
        break;
      }
      default:
        break;
    }
  }
  return false;
}

}  // namespace

std::shared_ptr<const CompiledExpression> CompiledExpression::Compile(const char* first, const char* last,
                                                                      unsigned optionWord, bool extendedRules,
                                                                      const std::locale& loc) {
  auto compiled = std::make_shared<CompiledExpression>();
  const Translation t = TranslateOptions(first, last, optionWord, extendedRules);
  if (!t.supported) {
    compiled->code_ = kUnsupported;
    compiled->message_ = t.problem;
    return compiled;
  }
  if (t.engineError != 0) {
    compiled->code_ = t.engineError;
    compiled->message_ = t.problem;
    return compiled;
  }
  // imbue discards a compiled pattern: the locale goes in first.
  compiled->regex_.imbue(loc);
  compiled->Assign(t.pattern, t.flags);
  if (compiled->code_ == 0 && ResumesPastMatches(compiled->regex_)) {
    // Compiled again behind an empty group that switches case folding: the
    // engine looks for a leading repeat through groups and assertions, not
    // through a change of case. The group matches the empty string and
    // changes nothing else.
    compiled->Assign(((t.flags & boost::regex::icase) ? "(?-i:)" : "(?i:)") + t.pattern, t.flags);
    if (compiled->code_ == 0 && ResumesPastMatches(compiled->regex_)) {
      compiled->code_ = kUnsupported;
      compiled->message_ = "The engine cannot search reliably for a pattern that starts with a lazy bounded repeat.";
    }
  }
  if (compiled->code_ != 0 && compiled->message_.empty()) compiled->message_ = EngineMessage(compiled->code_, loc);
  return compiled;
}

std::shared_ptr<const CompiledExpression> CompiledExpression::CompileForFiles(const std::string& text, bool icase) {
  // The walk takes the expression as a C string (it ends at the first NUL),
  // in Perl syntax without collation: the option word Normal.
  const char* p = text.c_str();
  return Compile(p, p + std::strlen(p), kPerlOptionWord | (icase ? kIcase : 0u), false, std::locale());
}

void CompiledExpression::Assign(const std::string& pattern, boost::regex::flag_type flags) {
  regex_.assign(pattern.data(), pattern.data() + pattern.size(), flags);
  code_ = static_cast<unsigned>(regex_.status());
}

}  // namespace detail
}  // namespace RegexClass
