// Compilation of expressions into the engine's form.
#include "engine/engine.h"
#include "options/translate.h"

#include <cstring>

namespace RegexClass {
namespace detail {
namespace {

std::string EngineMessage(unsigned code, const std::locale& loc) {
  boost::regex_traits<char> traits;
  traits.imbue(loc);
  return traits.error_string(static_cast<boost::regex_constants::error_type>(code));
}

}  // namespace

std::shared_ptr<const CompiledExpression> CompiledExpression::Compile(const char* first, const char* last,
                                                                      unsigned optionWord, bool extendedRules,
                                                                      const std::locale& loc) {
  auto compiled = std::make_shared<CompiledExpression>();
  const Translation t = TranslateOptions(first, last, optionWord, extendedRules);
  if (!t.supported) {
    compiled->code_ = 200;  // RegularExpression::UnsupportedOptions
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
