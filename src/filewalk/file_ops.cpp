// Placeholder: FindFiles and GrepFiles arrive with the file walk.
#include "ravelin/RegularExpression.h"

namespace RegexClass {
unsigned RegularExpression::FindFiles() { return 0; }
unsigned RegularExpression::GrepFiles() { return 0; }
bool RegularExpression::ThisFindFilesCallback(const char*) { return false; }
bool RegularExpression::ThisGrepFilesCallback(const char*, const FileMatch&) { return false; }
}  // namespace RegexClass
