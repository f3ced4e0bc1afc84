// The files a file command of ravelin works on: the library walks each PATH
// of the command line (a file, a directory, or a file pattern whose last
// component holds wildcards) in its own order, and this filter leaves out
// what the ignore rules, the hidden-file rule, the version-control folders,
// the -g globs and the binary-file rule say, and hands each file searched to
// the command once its matches have been reported (and, for change-files,
// what the library did with it).
#ifndef RAVELIN_TOOLS_WALK_H
#define RAVELIN_TOOLS_WALK_H

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ignore.h"
#include "ravelin/RegularExpression.h"

namespace ravelin_cli {

struct WalkOptions {
  bool recursive = false;   // -r: the last component at every depth below
  bool ignoreFiles = true;  // honour .gitignore, .ignore, .git/info/exclude (-u: not)
  bool hidden = false;      // walk into and take names starting with '.' (-uu)
  bool binary = false;      // search binary files (a NUL byte) the walk comes upon
  // A link to a file that the walk comes upon (not one a PATH names) is
  // followed with --follow, else passed by (and listed: LinksPassed).
  bool follow = false;
  std::vector<std::string> globs;  // -g
};

// Names of version-control folders: never walked into.
bool IsVersionControlName(const std::string& name);
// True when a component of path is a version-control folder.
bool InsideVersionControl(const std::string& path);
// True when the last component of path holds an unescaped * ? or [.
bool HasWildcards(const std::string& path);
// True when a PATH is a file pattern: its last component holds wildcards
// and it names nothing. A PATH that exists is used as it is, whatever its
// name holds (pages/[id].js).
bool IsFilePattern(const std::string& path);
// True when a PATH is read by the command rather than walked by the
// library: "-" (standard input), or something that exists and is neither a
// regular file nor a directory (a FIFO, /dev/stdin, <(...), a device).
bool IsStreamPath(const std::string& path);
// A file pattern that names exactly the file or directory path names: the
// wildcard characters of its last component quoted, or, for a directory,
// a '/' after it.
std::string PatternOfOneFile(const std::string& path);

// One file searched, as the command sees it once its matches are reported.
class SearchedFile {
 public:
  using Facts = RegexClass::RegularExpression::FileFilter::FileFacts;
  SearchedFile(const std::string& name, bool named, const char* first, const char* last, int binary, unsigned matches,
               const Facts& facts, const std::string* stopped)
      : name_(name),
        named_(named),
        first_(first),
        last_(last),
        binary_(binary),
        matches_(matches),
        facts_(facts),
        stopped_(stopped) {}
  const std::string& Name() const { return name_; }  // as the walk names it
  bool Named() const { return named_; }              // the command line named it itself
  const char* First() const { return first_; }       // its bytes, as read and searched
  const char* Last() const { return last_; }
  unsigned Matches() const { return matches_; }  // as the library counted them (find: 0 or 1)
  // The engine gave up part-way: the matches reported are those before the
  // point where it stopped. StopReason: the engine's message.
  bool Stopped() const { return stopped_ != nullptr; }
  const std::string& StopReason() const { return *stopped_; }
  // Holds a NUL byte (looked for once, when first asked).
  bool Binary() const;
  // The identity and hard links of the file opened.
  const Facts& Identity() const { return facts_; }

 private:
  const std::string& name_;
  bool named_;
  const char* first_;
  const char* last_;
  mutable int binary_;  // -1: not looked for yet
  unsigned matches_;
  const Facts& facts_;
  const std::string* stopped_;
};

class Walk final : public RegexClass::RegularExpression::FileFilter {
 public:
  // Before the matches of a file are reported; then, once they are.
  // done returns false to end the walk.
  using Begin = std::function<void()>;
  using Done = std::function<bool(const SearchedFile&)>;
  // Before the matches of a file are reported: false passes it by (the
  // library reports none and changes nothing; no Done follows).
  using Select = std::function<bool(const SearchedFile&)>;
  // What ChangeFiles did with a file (FileFilter::FileChanged).
  using Changed =
      std::function<void(const std::string& name, RegexClass::RegularExpression::ChangeOutcome outcome,
                         const RegexClass::RegularExpression::FileChangeProblem* problem, unsigned long replacements)>;

  explicit Walk(WalkOptions options) : options_(std::move(options)), globs_(options_.globs) {}

  // Points re at each PATH in turn (roots empty: the current directory, its
  // files named relative to it) and runs operation, which calls one of the
  // library's file operations on re and returns false to end the walk. re
  // searches with this filter while it runs. A stream PATH (IsStreamPath)
  // goes to the stream handler instead, when one is set; it too returns
  // false to end the walk.
  void Run(RegexClass::RegularExpression& re, const std::vector<std::string>& roots,
           const std::function<bool()>& operation);

  // PATHs the library could not be pointed at (an empty one).
  const std::vector<RegexClass::RegularExpression::SkippedFile>& Passed() const { return passed_; }
  // The links to files met in the walk and not followed, in walk order.
  const std::vector<std::string>& LinksPassed() const { return linksPassed_; }

  void OnBegin(Begin begin) { begin_ = std::move(begin); }
  void OnDone(Done done) { done_ = std::move(done); }
  void OnSelect(Select select) { select_ = std::move(select); }
  void OnChanged(Changed changed) { changed_ = std::move(changed); }
  // Only these names, as the walk names files, are taken, and only the
  // directories that lead to one are entered (null: no such limit). Not
  // owned; it must outlive the walks.
  void OnlyNames(const std::set<std::string>* names) { only_ = names; }
  void OnStream(std::function<bool(const std::string&)> stream) { stream_ = std::move(stream); }

  bool EnterDirectory(const std::string& name) override;
  void LeaveDirectory(const std::string& name) override;
  bool TakeFile(const std::string& name) override;
  bool SearchBytes(const char* first, const char* last) const override;
  bool TakeOpenedFile(const std::string& name, const FileFacts& facts) override;
  bool SearchFile(const std::string& name, const char* first, const char* last) override;
  bool FileDone(const std::string& name, const char* first, const char* last, unsigned matches) override;
  void SearchStopped(const std::string& name, const std::string& reason) override;
  void FileChanged(const std::string& name, RegexClass::RegularExpression::ChangeOutcome outcome,
                   const RegexClass::RegularExpression::FileChangeProblem* problem,
                   unsigned long replacements) override {
    if (changed_) changed_(name, outcome, problem, replacements);
  }

 private:
  struct Level {
    IgnoreRules::Point mark;  // the ignore rules in force above this directory
    bool inRepository;        // a .git at or above it
  };
  // Sets up the rules of one PATH.
  void StartRoot(const std::string& root, bool implicit);
  void LoadAncestors(const std::string& absolute);
  void LoadDirectoryFiles(const std::string& absolute);
  bool Ignoring() const { return options_.ignoreFiles && !absolute_.empty(); }
  // The part of a name below the PATH, and the absolute path of the name.
  std::string Relative(const std::string& name) const;
  std::string Absolute(const std::string& relative) const;
  // Whether the glob, hidden and ignore rules keep an entry.
  bool Keeps(const std::string& name, bool isDirectory, bool hiddenTaken) const;

  WalkOptions options_;
  GlobFilter globs_;
  IgnoreRules rules_;
  Begin begin_;
  Done done_;
  Select select_;
  Changed changed_;
  const std::set<std::string>* only_ = nullptr;
  std::function<bool(const std::string&)> stream_;
  std::vector<RegexClass::RegularExpression::SkippedFile> passed_;
  std::vector<std::string> linksPassed_;
  // The PATH being walked.
  bool named_ = false;          // one file, named outright
  bool hiddenPattern_ = false;  // its wildcard component starts with '.'
  std::string prefix_;          // what the library's names start with
  std::string absolute_;        // the resolved path of its directory ("" when unknown)
  std::vector<Level> levels_;   // one per directory entered
  bool inRepository_ = false;   // a .git at or above the current directory
  int binaryFile_ = -1;         // the file between SearchFile and FileDone; -1: not looked for
  FileFacts facts_;             // the file between TakeOpenedFile and FileDone
  bool stopped_ = false;        // the engine gave up on that file
  std::string stopReason_;
};

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_WALK_H
