// Placeholder: the settings record arrives with its own change.
#include "ravelin/RegularExpression.h"

#include <istream>
#include <ostream>

namespace RegexClass {
std::int32_t RegularExpression::StreamVersion = 1;
std::ostream& operator<<(std::ostream& os, RegularExpression&) { return os; }
std::istream& operator>>(std::istream& is, RegularExpression&) { return is; }
}  // namespace RegexClass
