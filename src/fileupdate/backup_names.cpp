// Which files ChangeFiles may rewrite, and the name a file is saved under.
// Extensions are taken from the whole name string: the text after its last
// '.', wherever that lies (directory part included).
#include <locale>

#include "platform/posix_file.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {

bool RegularExpression::BackupFile(const std::string& fileName) const {
  if (saveExtension.empty()) return false;
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return false;
  const std::size_t length = fileName.size() - dot - 1;
  if (length != saveExtension.size()) return false;
  const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
  for (std::size_t i = 0; i < length; ++i) {
    if (ctype.tolower(fileName[dot + 1 + i]) != ctype.tolower(saveExtension[i])) return false;
  }
  return true;
}

bool RegularExpression::ReadOnlyFile(const std::string& fileName) const {
  detail::FileStat st;
  if (!detail::Stat(fileName, &st, nullptr)) return true;
  return (st.mode & 0222) == 0;
}

std::string RegularExpression::ReplaceExtension() const {
  const std::string& name = mergeFileInformation.fileName;
  const std::size_t dot = name.rfind('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + "." + saveExtension;
}

}  // namespace RegexClass
