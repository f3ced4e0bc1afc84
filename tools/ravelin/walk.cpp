#include "walk.h"

#include <cerrno>
#include <cstring>

#include "system.h"

namespace ravelin_cli {
namespace {

using RegexClass::RegularExpression;

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string LastComponent(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string ReadSmallFile(const std::string& path) {
  std::string text;
  if (ReadFileBytes(path, text) != 0) text.clear();
  return text;
}

// The filter of a file operation for as long as it runs.
class FilterInPlace {
 public:
  FilterInPlace(RegularExpression& re, RegularExpression::FileFilter* filter) : re_(re) { re_.SetFileFilter(filter); }
  ~FilterInPlace() { re_.SetFileFilter(nullptr); }
  FilterInPlace(const FilterInPlace&) = delete;
  FilterInPlace& operator=(const FilterInPlace&) = delete;

 private:
  RegularExpression& re_;
};

}  // namespace

bool SearchedFile::Binary() const {
  if (binary_ < 0) binary_ = std::memchr(first_, 0, static_cast<std::size_t>(last_ - first_)) != nullptr ? 1 : 0;
  return binary_ != 0;
}

bool IsVersionControlName(const std::string& name) { return name == ".git" || name == ".hg" || name == ".svn"; }

bool InsideVersionControl(const std::string& path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (IsVersionControlName(path.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

bool HasWildcards(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  for (std::size_t k = slash == std::string::npos ? 0 : slash + 1; k < path.size(); ++k) {
    if (path[k] == '\\') {
      ++k;
    } else if (path[k] == '*' || path[k] == '?' || path[k] == '[') {
      return true;
    }
  }
  return false;
}

bool IsFilePattern(const std::string& path) { return HasWildcards(path) && Examine(path).kind == EntryKind::kMissing; }

bool IsStreamPath(const std::string& path) { return path == "-" || Examine(path).kind == EntryKind::kOther; }

std::string PatternOfOneFile(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t last = slash == std::string::npos ? 0 : slash + 1;
  if (path.find_first_of("*?[", last) == std::string::npos) return path;
  if (Examine(path).kind == EntryKind::kDirectory) return path + "/";
  std::string pattern = path.substr(0, last);
  for (std::size_t k = last; k < path.size(); ++k) {
    if (std::strchr("*?[\\", path[k]) != nullptr && path[k] != '\0') pattern += '\\';
    pattern += path[k];
  }
  return pattern;
}

void Walk::Run(RegularExpression& re, const std::vector<std::string>& roots, const std::function<bool()>& operation) {
  const FilterInPlace inPlace(re, this);
  const auto walkOne = [&](const std::string& root, bool implicit) {
    if (root.empty()) {
      passed_.push_back({root, RegularExpression::NotFound, ENOENT, std::string()});
      return true;
    }
    if (!implicit && stream_ && IsStreamPath(root)) return stream_(root);
    StartRoot(root, implicit);
    // The library names the files of "*" relative to the current directory;
    // a PATH that exists is given to it as a pattern naming just that.
    re.SetFilesToMatch(implicit ? std::string("*") : IsFilePattern(root) ? root : PatternOfOneFile(root));
    re.SetDirectoryRecursion(options_.recursive && !named_);
    return operation();
  };
  if (roots.empty()) {
    walkOne(".", true);
    return;
  }
  for (const std::string& root : roots)
    if (!walkOne(root, false)) return;
}

void Walk::StartRoot(const std::string& root, bool implicit) {
  rules_.Restore(IgnoreRules::Point{0, 0});
  levels_.clear();
  inRepository_ = false;
  named_ = false;
  hiddenPattern_ = false;
  absolute_.clear();
  std::string dir = ".";
  if (implicit) {
    prefix_.clear();
  } else if (IsFilePattern(root)) {
    const std::size_t slash = root.rfind('/');
    prefix_ = slash == std::string::npos ? std::string() : root.substr(0, slash + 1);
    if (slash != std::string::npos) dir = slash == 0 ? std::string("/") : root.substr(0, slash);
    hiddenPattern_ = root[slash == std::string::npos ? 0 : slash + 1] == '.';
  } else if (Examine(root).kind == EntryKind::kDirectory) {
    // As the library names the files below: one '/' after the directory.
    const std::size_t end = root.find_last_not_of('/');
    prefix_ = end == std::string::npos ? std::string("/") : root.substr(0, end + 1) + "/";
    dir = root;
  } else {
    // A file named outright (or missing: the library says so): no rule
    // leaves it out.
    named_ = true;
    return;
  }
  if (!options_.ignoreFiles) return;
  absolute_ = ResolvedPath(dir);
  if (absolute_.empty()) return;
  LoadAncestors(absolute_);
  LoadDirectoryFiles(absolute_);
}

void Walk::LoadAncestors(const std::string& absolute) {
  // Every directory from the root of the file system down to the parent of
  // the one walked.
  std::vector<std::string> chain;
  std::string path = absolute;
  while (path.size() > 1) {
    const std::size_t slash = path.rfind('/');
    path = slash == 0 ? std::string("/") : path.substr(0, slash);
    chain.push_back(path);
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    LoadDirectoryFiles(*it);
  }
}

void Walk::LoadDirectoryFiles(const std::string& absolute) {
  const std::string git = Join(absolute, ".git");
  const PathFacts gitFacts = Examine(git);
  if (gitFacts.kind != EntryKind::kMissing) {
    // The top of a repository, the walk's own or one nested in it.
    rules_.StartRepository();
    inRepository_ = true;
    if (gitFacts.kind == EntryKind::kDirectory)
      rules_.Add(IgnoreRules::kGitExclude, IgnoreFile(absolute, ReadSmallFile(Join(git, "info/exclude"))));
  }
  if (inRepository_)
    rules_.Add(IgnoreRules::kGitIgnore, IgnoreFile(absolute, ReadSmallFile(Join(absolute, ".gitignore"))));
  rules_.Add(IgnoreRules::kDotIgnore, IgnoreFile(absolute, ReadSmallFile(Join(absolute, ".ignore"))));
}

std::string Walk::Relative(const std::string& name) const {
  return name.compare(0, prefix_.size(), prefix_) == 0 ? name.substr(prefix_.size()) : name;
}

std::string Walk::Absolute(const std::string& relative) const { return Join(absolute_, relative); }

bool Walk::Keeps(const std::string& name, bool isDirectory, bool hiddenTaken) const {
  const std::string relative = Relative(name);
  const Verdict glob = globs_.Empty() ? Verdict::kNone : globs_.Judge(relative, isDirectory);
  if (glob == Verdict::kIgnore) return false;
  if (glob == Verdict::kKeep) return true;
  if (!hiddenTaken && LastComponent(name)[0] == '.') return false;
  return !(Ignoring() && rules_.Ignored(Absolute(relative), isDirectory));
}

bool Walk::EnterDirectory(const std::string& name) {
  if (only_ != nullptr) {
    const std::string below = name + "/";
    const auto next = only_->lower_bound(below);
    if (next == only_->end() || next->compare(0, below.size(), below) != 0) return false;
  }
  if (IsVersionControlName(LastComponent(name))) return false;
  if (!Keeps(name, true, options_.hidden)) return false;
  levels_.push_back({rules_.Mark(), inRepository_});
  if (Ignoring()) LoadDirectoryFiles(Absolute(Relative(name)));
  return true;
}

void Walk::LeaveDirectory(const std::string&) {
  if (levels_.empty()) return;
  rules_.Restore(levels_.back().mark);
  inRepository_ = levels_.back().inRepository;
  levels_.pop_back();
}

bool Walk::TakeFile(const std::string& name) {
  if (only_ != nullptr && only_->count(name) == 0) return false;
  // A pattern that starts with a dot asks for hidden names itself.
  return named_ || Keeps(name, false, options_.hidden || hiddenPattern_);
}

bool Walk::SearchBytes(const char* first, const char* last) const {
  // A binary file the walk came upon is left out unless binary files are
  // searched; one the command line names is always searched.
  return named_ || options_.binary || std::memchr(first, 0, static_cast<std::size_t>(last - first)) == nullptr;
}

bool Walk::TakeOpenedFile(const std::string& name, const FileFacts& facts) {
  facts_ = facts;
  // As grep -r and rg: a link met in the walk is not followed unless asked.
  if (!facts.link || named_ || options_.follow) return true;
  linksPassed_.push_back(name);
  return false;
}

bool Walk::SearchFile(const std::string& name, const char* first, const char* last) {
  // What SearchBytes let through without binary files is no binary file.
  binaryFile_ = named_ || options_.binary ? -1 : 0;
  stopped_ = false;
  if (select_ && !select_(SearchedFile(name, named_, first, last, binaryFile_, 0, facts_, nullptr))) return false;
  if (begin_) begin_();
  return true;
}

bool Walk::FileDone(const std::string& name, const char* first, const char* last, unsigned matches) {
  if (!done_) return true;
  return done_(
      SearchedFile(name, named_, first, last, binaryFile_, matches, facts_, stopped_ ? &stopReason_ : nullptr));
}

void Walk::SearchStopped(const std::string&, const std::string& reason) {
  stopped_ = true;
  stopReason_ = reason;
}

}  // namespace ravelin_cli
