// Which files ChangeFiles may rewrite, and the name a file is saved under.
// Extensions belong to the last path component only: "v1.0/README" has none,
// and neither has ".bashrc" (a leading dot starts a name, not an extension).
// With the Suffix naming the save extension is appended to the whole name.
#include <locale>

#include "frontend/internals.h"
#include "platform/posix_file.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace {

using Naming = RegularExpression::BackupNaming;

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
std::string NameOfBackup(const std::string& name, const std::string& extension, Naming naming) {
  if (naming == Naming::Suffix) return name + extension;
  const std::size_t start = ExtensionStart(name);
  return (start == std::string::npos ? name : name.substr(0, start - 1)) + "." + extension;
}

}  // namespace

bool RegularExpression::BackupFile(const std::string& fileName) const {
  if (saveExtension.empty()) return false;
  std::size_t start;
  if (backupNaming == BackupNaming::Suffix) {
    // The backup of a file, so something before the suffix.
    if (fileName.size() - ComponentStart(fileName) <= saveExtension.size()) return false;
    start = fileName.size() - saveExtension.size();
  } else {
    start = ExtensionStart(fileName);
    if (start == std::string::npos || fileName.size() - start != saveExtension.size()) return false;
  }
  const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
  for (std::size_t i = 0; i < saveExtension.size(); ++i) {
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
  return saveExtension.empty() ? std::string() : NameOfBackup(fileName, saveExtension, backupNaming);
}

std::string RegularExpression::ReplaceExtension() const {
  return NameOfBackup(detail::Internals::PendingName(*this), saveExtension, backupNaming);
}

const std::vector<RegularExpression::SkippedFile>& RegularExpression::GetSkippedFiles() const { return skippedFiles; }

}  // namespace RegexClass
