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
  Translation t = TranslateOptions(first, last, optionWord, extendedRules);
  if (!t.supported) {
    compiled->code_ = 200;  // RegularExpression::UnsupportedOptions
    compiled->message_ = t.problem;
    return compiled;
  }
  // imbue discards a compiled pattern: the locale goes in first.
  compiled->regex_.imbue(loc);
  const char* p = t.pattern.data();
  compiled->regex_.assign(p, p + t.pattern.size(), t.flags);
  compiled->code_ = static_cast<unsigned>(compiled->regex_.status());
  if (compiled->code_ != 0) compiled->message_ = EngineMessage(compiled->code_, loc);
  return compiled;
}

std::shared_ptr<const CompiledExpression> CompiledExpression::CompileForFiles(const std::string& text, bool icase) {
  auto compiled = std::make_shared<CompiledExpression>();
  boost::regex::flag_type flags = boost::regex::perl | boost::regex::no_except;
  if (icase) flags |= boost::regex::icase;
  // The walk takes the expression as a C string: it ends at the first NUL.
  const char* p = text.c_str();
  compiled->regex_.assign(p, p + std::strlen(p), flags);
  compiled->code_ = static_cast<unsigned>(compiled->regex_.status());
  if (compiled->code_ != 0) compiled->message_ = EngineMessage(compiled->code_, std::locale());
  return compiled;
}

}  // namespace detail
}  // namespace RegexClass
