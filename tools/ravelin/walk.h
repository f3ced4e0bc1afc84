// The files a file command of ravelin works on: each PATH of the command
// line (a file, a directory, or a file pattern whose last component holds
// wildcards) walked in the library's order, less what the ignore rules, the
// hidden-file rule and the -g globs leave out. The command then hands the
// library one file at a time.
#ifndef RAVELIN_TOOLS_WALK_H
#define RAVELIN_TOOLS_WALK_H

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ignore.h"

namespace ravelin_cli {

struct WalkOptions {
  bool recursive = false;          // -r: the last component at every depth below
  bool ignoreFiles = true;         // honour .gitignore, .ignore, .git/info/exclude (-u: not)
  bool hidden = false;             // walk into and take names starting with '.' (-uu)
  std::vector<std::string> globs;  // -g
};

// A path the walk passed by: missing, or a directory that could not be read.
struct PassedBy {
  std::string name;
  int error = 0;  // errno
};

// Names of version-control folders: never walked into.
bool IsVersionControlName(const std::string& name);
// True when a component of path is a version-control folder.
bool InsideVersionControl(const std::string& path);
// True when the last component of path holds an unescaped * ? or [.
bool HasWildcards(const std::string& path);

class Walk {
 public:
  // Called for each file in walk order: its name (the PATH joined with the
  // names below it; without a PATH, names relative to the current
  // directory) and whether the command line named it itself. Returns false
  // to end the walk.
  using Visit = std::function<bool(const std::string& name, bool named)>;

  explicit Walk(WalkOptions options) : options_(std::move(options)), globs_(options_.globs) {}
  // roots empty: the current directory. A file reached twice (links) is
  // visited once, under the first name met.
  void Run(const std::vector<std::string>& roots, const Visit& visit);
  const std::vector<PassedBy>& Passed() const { return passed_; }

 private:
  bool Root(const std::string& root, bool implicit, const Visit& visit);
  // Walks one directory: display is the name its entries are joined to ("",
  // for the current directory given by no PATH), absolute its resolved path,
  // relative its path below the PATH (for the globs).
  bool Directory(const std::string& display, const std::string& absolute, const std::string& relative,
                 const std::string& pattern, bool patternGiven, bool inRepository, const Visit& visit);
  void LoadAncestors(const std::string& absolute, bool& inRepository);
  void LoadDirectoryFiles(const std::string& absolute, bool& inRepository);
  bool FirstVisit(const std::string& name);

  WalkOptions options_;
  GlobFilter globs_;
  IgnoreRules rules_;
  std::vector<PassedBy> passed_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
  bool stopped_ = false;
};

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_WALK_H
