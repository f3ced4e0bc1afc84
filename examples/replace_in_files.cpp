// replace_in_files: search and replace over the files a file pattern names,
// with a backup of each changed file and the list of problems.
//
//   replace_in_files PATTERN FORMAT FILESPEC
//
// FILESPEC is a path whose last part may hold * ? [...], for example
// "notes/*.txt"; subdirectories are searched too. Each changed file is first
// saved as NAME.bak. Shows: ChangeFiles, a bound OnChangingFiles handler
// (an object and one of its member functions), SetSaveExtension, and
// GetChangeFilesErrors.
#include <ravelin/RegularExpression.h>

#include <cstring>
#include <iostream>
#include <string>

using RegexClass::RegularExpression;
using RegexClass::REMatchInfo;

namespace {

// Sees every match before it is replaced; could veto the rest of the run by
// setting goOn to false.
class Reporter {
 public:
  void OnChanging(RegularExpression& re, std::string fileName, const REMatchInfo& m, unsigned line, bool& goOn) {
    (void)re;
    (void)goOn;
    std::cout << fileName << ':' << line << ": " << m[0].text << '\n';
    ++matches_;
  }
  unsigned matches() const { return matches_; }

 private:
  unsigned matches_ = 0;
};

const char* KindName(RegularExpression::ProblemKind kind) {
  switch (kind) {
    case RegularExpression::OpenFailed: return "cannot open";
    case RegularExpression::TempCreateFailed: return "cannot create the temporary file";
    case RegularExpression::ReadFailed: return "read failed";
    case RegularExpression::WriteFailed: return "write failed";
    case RegularExpression::TextChanged: return "changed since it was searched";
    case RegularExpression::BackupFailed: return "cannot make the backup";
    case RegularExpression::ReplaceFailed: return "cannot replace the file";
    case RegularExpression::AttributesFailed: return "cannot restore permissions";
    case RegularExpression::SearchFailed: return "cannot be searched to its end";
  }
  return "unknown problem";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: replace_in_files PATTERN FORMAT FILESPEC\n";
    return 2;
  }
  RegularExpression re;
  re.SetExpression(argv[1]);
  re.SetFormatString(argv[2]);     // $& the match, $1..$9 its groups
  re.SetFilesToMatch(argv[3]);
  re.SetDirectoryRecursion(true);
  re.SetSaveExtension("bak");      // notes.txt is saved as notes.bak first

  Reporter reporter;
  re.SetOnChangingFilesClosure(RegularExpression::OnChangingFilesClosure(&reporter, &Reporter::OnChanging));

  // Each file is rewritten through a temporary file in its own directory,
  // flushed and renamed over it: a crash leaves it wholly old or wholly new.
  const unsigned written = re.ChangeFiles();
  std::cout << written << " of " << reporter.matches() << " replacement(s) written\n";

  // The problems of this run; null when there were none.
  int status = written > 0 ? 0 : 1;
  if (const auto* problems = re.GetChangeFilesErrors()) {
    for (const RegularExpression::FileChangeProblem& p : *problems) {
      std::cerr << p.fileName << ": " << KindName(p.problem);
      if (p.errorCode != 0) std::cerr << ": " << std::strerror(static_cast<int>(p.errorCode));
      std::cerr << '\n';
    }
    status = 2;
  }
  return status;
}
