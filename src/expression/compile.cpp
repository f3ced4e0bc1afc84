// Lazy, remembered compilation and its error reporting.
#include "ravelin/RegularExpression.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

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

std::string RegularExpression::GetLastSearchError() const {
  // A const operation on another thread may be writing it.
  const std::lock_guard<std::mutex> lock(valueMutex);
  return lastSearchError;
}

std::shared_ptr<const detail::CompiledExpression> RegularExpression::CompiledForValues() const {
  if (!expressionParsed.load(std::memory_order_acquire)) {
    if (expression.empty()) return nullptr;
    const std::lock_guard<std::mutex> lock(valueMutex);
    // Compiles (unless a thread did while this one waited) as every operation
    // does. ParseExpression writes only the mutable compiledExpression and,
    // last, expressionParsed: a thread that sees the flag set sees the
    // compiled form.
    const_cast<RegularExpression*>(this)->ParseExpression();
  }
  return compiledExpression;
}

void RegularExpression::NoteValueSearch(const std::string& failure) const {
  const std::lock_guard<std::mutex> lock(valueMutex);
  lastSearchError = failure;
}

}  // namespace RegexClass
