// Lazy, remembered compilation and its error reporting.
#include "ravelin/RegularExpression.h"

#include <cstring>

#include "engine/engine.h"

namespace RegexClass {

unsigned char RegularExpression::ParseExpression() {
  constexpr auto kEmpty = static_cast<unsigned char>(ParseResult::EmptyExpression);
  if (expressionParsed) return ConvertREXResult(compiledExpression ? compiledExpression->Code() : kEmpty);
  if (expression.empty()) return kEmpty;
  const unsigned word = GetFlagOptions();
  // The text ends at its first NUL, as a C string would.
  const char* first = expression.c_str();
  compiledExpression = detail::CompiledExpression::Compile(first, first + std::strlen(first), word,
                                                           IsExpressionOption(Extended), locale);
  expressionParsed = true;
  return ConvertREXResult(compiledExpression->Code());
}

unsigned char RegularExpression::ConvertREXResult(unsigned int code) { return static_cast<unsigned char>(code & 0xFF); }

std::string RegularExpression::GetExpressionError() const {
  if (!expressionParsed || !compiledExpression) return std::string();
  return compiledExpression->Message();
}

unsigned RegularExpression::NumberOfSubexpressions() {
  if (!expressionParsed) ParseExpression();
  return static_cast<const RegularExpression&>(*this).NumberOfSubexpressions();
}

unsigned RegularExpression::NumberOfSubexpressions() const {
  if (!expressionParsed || !compiledExpression) return 0;
  return compiledExpression->SubExpressions();
}

std::string RegularExpression::GetLastSearchError() const { return lastSearchError; }

}  // namespace RegexClass
