// settings_record: keeps a search set-up in a file and replays it.
//
//   settings_record save FILE PATTERN FILESPEC   writes the set-up
//   settings_record run FILE                     reads it and greps the files
//
// The record holds the option sets, the recursion and merge-copy switches and
// the five strings (expression, subject, file pattern, format, backup
// extension); no handlers and no results. Shows operator<< and operator>>.
#include <ravelin/RegularExpression.h>

#include <fstream>
#include <iostream>
#include <string>

using RegexClass::RegularExpression;
using RegexClass::REMatchInfo;

namespace {

void OnGreppingFiles(RegularExpression&, std::string fileName, const REMatchInfo& m, unsigned line, bool&) {
  std::cout << fileName << ':' << line << ':' << m[0].text << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "save" && argc == 5) {
    RegularExpression re;
    re.SetExpression(argv[3]);
    re.SetFilesToMatch(argv[4]);
    re.AddExpressionOption(RegularExpression::Icase);
    re.SetDirectoryRecursion(true);
    std::ofstream out(argv[2], std::ios::binary);
    out << re;  // one record, plain text
    return out.good() ? 0 : 2;
  }
  if (mode == "run" && argc == 3) {
    RegularExpression re;
    std::ifstream in(argv[2], std::ios::binary);
    if (!(in >> re)) {
      std::cerr << argv[2] << ": not a settings record\n";
      return 2;
    }
    std::cout << "pattern " << re.GetExpression() << " in " << re.GetFilesToMatch()
              << (re.IsExpressionOption(RegularExpression::Icase) ? ", ignoring case" : "")
              << (re.GetDirectoryRecursion() ? ", recursively" : "") << '\n';
    re.SetOnGreppingFiles(OnGreppingFiles);  // handlers are not part of the record
    return re.GrepFiles() > 0 ? 0 : 1;
  }
  std::cerr << "usage: settings_record save FILE PATTERN FILESPEC | settings_record run FILE\n";
  return 2;
}
