// Which files a walk of the ravelin file commands leaves out: the patterns of
// .gitignore, .ignore and .git/info/exclude files, with git's meaning of a
// pattern, and the -g globs of the command line.
#ifndef RAVELIN_TOOLS_IGNORE_H
#define RAVELIN_TOOLS_IGNORE_H

#include <string>
#include <vector>

namespace ravelin_cli {

// True when text matches the wildcard pattern: * and ? never match '/',
// [...] is a set ([!...] or [^...] its complement, ranges, [:alpha:] and the
// other classes), a backslash makes the next character plain, and ** between
// slashes (or at either end) matches any number of whole path components:
// "a/**/b" matches "a/b" and "a/x/y/b", "**/b" matches "b" at any depth,
// "a/**" everything below a. A ** elsewhere is a *.
bool WildcardMatch(const std::string& pattern, const std::string& text);

// One line of an ignore file, read as git reads it.
struct IgnorePattern {
  std::string glob;            // what is matched, without '!', leading '/' or trailing '/'
  bool negated = false;        // "!pattern": brings back what an earlier line left out
  bool directoryOnly = false;  // "pattern/": directories only
  bool anchored = false;       // held a '/' before its end: matched against the path
                               // below the file's directory, else against the last name
};

// Reads the lines of an ignore file: blank lines and lines starting with '#'
// are nothing, trailing blanks go unless escaped with '\', "\#" and "\!"
// start a pattern with those characters.
std::vector<IgnorePattern> ParseIgnoreText(const std::string& text);

enum class Verdict { kNone, kIgnore, kKeep };

// The patterns of one file, relative to the directory that holds it (for
// .git/info/exclude, the directory that holds .git).
class IgnoreFile {
 public:
  IgnoreFile(std::string base, const std::string& text);
  // The verdict of the last line that matches path (absolute, as base is),
  // or kNone when no line does or path is not below base.
  Verdict Judge(const std::string& path, bool isDirectory) const;
  bool Empty() const { return patterns_.empty(); }

 private:
  std::string base_;  // absolute, without a trailing '/' ("" for the root)
  std::vector<IgnorePattern> patterns_;
};

// The ignore files in force at one point of a walk, by kind. As git and the
// search tools do, a deeper file overrides one above it, and a verdict of an
// .ignore file overrides any of .gitignore, which overrides .git/info/exclude.
class IgnoreRules {
 public:
  enum Kind { kDotIgnore = 0, kGitIgnore = 1, kGitExclude = 2 };
  // Files are added from the top down; Mark/Restore undo what a directory
  // added when the walk leaves it.
  struct Point {
    std::size_t files;
    std::size_t gitFloor;
  };
  void Add(Kind kind, IgnoreFile file);
  Point Mark() const { return Point{files_.size(), gitFloor_}; }
  void Restore(Point point) {
    files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(point.files), files_.end());
    gitFloor_ = point.gitFloor;
  }
  // A repository starts here (a directory holding .git, as a folder or a
  // file): the .gitignore and exclude files added so far do not apply inside
  // it, as git and ripgrep have it; .ignore files still do.
  void StartRepository() { gitFloor_ = files_.size(); }
  bool Ignored(const std::string& path, bool isDirectory) const;

 private:
  struct Entry {
    Kind kind;
    IgnoreFile file;
  };
  std::vector<Entry> files_;
  std::size_t gitFloor_ = 0;  // git files below this index are above the repository
};

// The -g globs of a command line, in order: GLOB keeps what it matches and,
// once one is given, only that; !GLOB leaves out what it matches. The last
// glob that matches decides. They are matched as lines of an ignore file at
// the top of each path given (a glob without '/' matches a name at any
// depth). Directories are left out only by a !GLOB. As with ripgrep, what a
// GLOB keeps is kept whatever the ignore files and the hidden-file rule say.
class GlobFilter {
 public:
  explicit GlobFilter(const std::vector<std::string>& globs);
  bool Empty() const { return patterns_.empty(); }
  // path: relative to the path given on the command line. kKeep: a GLOB
  // matches; kIgnore: a !GLOB matches, or no GLOB matches a file; kNone:
  // the other rules decide.
  Verdict Judge(const std::string& path, bool isDirectory) const;

 private:
  std::vector<IgnorePattern> patterns_;
  bool anyInclude_ = false;
};

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_IGNORE_H
