// Which files ChangeFiles may rewrite, and the name a file is saved under.
// Extensions belong to the last path component only: "v1.0/README" has none,
// and neither has ".bashrc" (a leading dot starts a name, not an extension).
#include <locale>

#include "fileupdate/internals.h"
#include "platform/posix_file.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace {

// Where the last path component of name starts.
std::size_t ComponentStart(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Where the extension of the last path component starts (just after its
// dot), or npos when that component has none.
std::size_t ExtensionStart(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot <= ComponentStart(name)) return std::string::npos;
  return dot + 1;
}

// The naming rule itself: name saved under extension.
std::string NameOfBackup(const std::string& name, const std::string& extension) {
  const std::size_t start = ExtensionStart(name);
  return (start == std::string::npos ? name : name.substr(0, start - 1)) + "." + extension;
}

}  // namespace

bool RegularExpression::BackupFile(const std::string& fileName) const {
  if (saveExtension.empty()) return false;
  const std::size_t start = ExtensionStart(fileName);
  if (start == std::string::npos) return false;
  const std::size_t length = fileName.size() - start;
  if (length != saveExtension.size()) return false;
  const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
  for (std::size_t i = 0; i < length; ++i) {
    if (ctype.tolower(fileName[start + i]) != ctype.tolower(saveExtension[i])) return false;
  }
  return true;
}

bool RegularExpression::ReadOnlyFile(const std::string& fileName) const {
  detail::FileStat st;
  if (!detail::Stat(fileName, &st, nullptr)) return true;
  return (st.mode & 0222) == 0;
}

std::string RegularExpression::BackupNameOf(const std::string& fileName) const {
  return saveExtension.empty() ? std::string() : NameOfBackup(fileName, saveExtension);
}

std::string RegularExpression::ReplaceExtension() const {
  return NameOfBackup(detail::Internals::PendingName(*this), saveExtension);
}

const std::vector<RegularExpression::SkippedFile>& RegularExpression::GetSkippedFiles() const { return skippedFiles; }

}  // namespace RegexClass
