// Placeholder: the string operations arrive with their own change.
#include "ravelin/RegularExpression.h"

namespace RegexClass {
bool RegularExpression::Match() { return false; }
bool RegularExpression::MatchAll() { return false; }
bool RegularExpression::Search() { return false; }
unsigned RegularExpression::Grep() { return 0; }
void RegularExpression::Format(std::string& out) const { out.clear(); }
void RegularExpression::Merge(std::string& out) { out.clear(); }
}  // namespace RegexClass
