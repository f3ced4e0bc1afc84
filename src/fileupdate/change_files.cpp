// Placeholder: ChangeFiles and the file update arrive with their own change.
#include "ravelin/RegularExpression.h"

namespace RegexClass {
unsigned RegularExpression::ChangeFiles() { return 0; }
bool RegularExpression::ThisMergeFilesCallback(const char*, const FileMatch&) { return false; }
const std::vector<RegularExpression::FileChangeProblem>* RegularExpression::GetChangeFilesErrors() const {
  return changeFilesErrors.empty() ? nullptr : &changeFilesErrors;
}
void RegularExpression::MergeUpdateFile() {}
void RegularExpression::MergeFileCleanup(int, int, const std::string&) {}
unsigned long RegularExpression::GetFilePointer(int) const { return 0; }
bool RegularExpression::BackupFile(const std::string&) const { return false; }
bool RegularExpression::ReadOnlyFile(const std::string&) const { return true; }
std::string RegularExpression::ReplaceExtension() const { return std::string(); }
}  // namespace RegexClass
