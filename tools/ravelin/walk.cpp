#include "walk.h"

#include <cerrno>

#include "system.h"

namespace ravelin_cli {
namespace {

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

// Names of the form .ravelin-XXXXXX: temporary files a killed change-files
// left; the library never searches them and neither does the walk.
bool IsLeftoverTemporary(const std::string& name) { return name.size() == 15 && name.compare(0, 9, ".ravelin-") == 0; }

// A file pattern's wildcard component matches names as the library's walk
// does; the glob text is the same language.
bool NameMatches(const std::string& pattern, const std::string& name) { return WildcardMatch(pattern, name); }

std::string ReadSmallFile(const std::string& path) {
  std::string text;
  if (ReadFileBytes(path, text) != 0) text.clear();
  return text;
}

}  // namespace

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

void Walk::Run(const std::vector<std::string>& roots, const Visit& visit) {
  stopped_ = false;
  if (roots.empty()) {
    Root(".", true, visit);
    return;
  }
  for (const std::string& root : roots)
    if (!Root(root, false, visit)) return;
}

bool Walk::FirstVisit(const std::string& name) {
  const PathFacts facts = Examine(name);
  if (facts.kind == EntryKind::kMissing) return true;  // the library says why
  return seen_.emplace(facts.device, facts.inode).second;
}

bool Walk::Root(const std::string& root, bool implicit, const Visit& visit) {
  std::string dir = root, pattern = "*";
  bool patternGiven = false;
  if (HasWildcards(root)) {
    const std::size_t slash = root.rfind('/');
    dir = slash == std::string::npos ? std::string() : root.substr(0, slash == 0 ? 1 : slash);
    pattern = root.substr(slash == std::string::npos ? 0 : slash + 1);
    patternGiven = true;
  } else {
    const PathFacts facts = Examine(root.empty() ? std::string(".") : root);
    if (root.empty() || facts.kind == EntryKind::kMissing) {
      passed_.push_back({root, facts.error != 0 ? facts.error : ENOENT});
      return true;
    }
    if (facts.kind != EntryKind::kDirectory) {
      if (!FirstVisit(root)) return true;
      return visit(root, true);
    }
  }
  const std::string probe = dir.empty() ? std::string(".") : dir;
  const PathFacts facts = Examine(probe);
  if (facts.kind != EntryKind::kDirectory) {
    passed_.push_back({root, facts.kind == EntryKind::kMissing ? (facts.error != 0 ? facts.error : ENOENT) : ENOTDIR});
    return true;
  }
  const std::string absolute = ResolvedPath(probe);
  const std::size_t mark = rules_.Mark();
  bool inRepository = false;
  if (options_.ignoreFiles && !absolute.empty()) LoadAncestors(absolute, inRepository);
  const std::string display = implicit ? std::string() : dir;
  const bool goOn = Directory(display, absolute, std::string(), pattern, patternGiven, inRepository, visit);
  rules_.Restore(mark);
  return goOn;
}

void Walk::LoadAncestors(const std::string& absolute, bool& inRepository) {
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
    if (Examine(Join(*it, ".git")).kind != EntryKind::kMissing) rules_.DropGitFiles();
    LoadDirectoryFiles(*it, inRepository);
  }
}

void Walk::LoadDirectoryFiles(const std::string& absolute, bool& inRepository) {
  const std::string git = Join(absolute, ".git");
  const PathFacts gitFacts = Examine(git);
  if (gitFacts.kind != EntryKind::kMissing) {
    inRepository = true;
    if (gitFacts.kind == EntryKind::kDirectory)
      rules_.Add(IgnoreRules::kGitExclude, IgnoreFile(absolute, ReadSmallFile(Join(git, "info/exclude"))));
  }
  if (inRepository)
    rules_.Add(IgnoreRules::kGitIgnore, IgnoreFile(absolute, ReadSmallFile(Join(absolute, ".gitignore"))));
  rules_.Add(IgnoreRules::kDotIgnore, IgnoreFile(absolute, ReadSmallFile(Join(absolute, ".ignore"))));
}

bool Walk::Directory(const std::string& display, const std::string& absolute, const std::string& relative,
                     const std::string& pattern, bool patternGiven, bool inRepository, const Visit& visit) {
  std::vector<DirectoryEntry> entries;
  const int error = ListDirectory(display.empty() ? std::string(".") : display, entries);
  if (error != 0) {
    passed_.push_back({display.empty() ? std::string(".") : display, error});
    return true;
  }
  const std::size_t mark = rules_.Mark();
  const bool ignoring = options_.ignoreFiles && !absolute.empty();
  if (ignoring) LoadDirectoryFiles(absolute, inRepository);
  // A pattern that starts with a dot asks for hidden names itself.
  const bool hiddenFiles = options_.hidden || (patternGiven && !pattern.empty() && pattern[0] == '.');
  bool goOn = true;
  for (const DirectoryEntry& e : entries) {
    if (e.kind != EntryKind::kFile || IsLeftoverTemporary(e.name)) continue;
    if (!NameMatches(pattern, e.name)) continue;
    const Verdict glob = globs_.Empty() ? Verdict::kNone : globs_.Judge(Join(relative, e.name), false);
    if (glob == Verdict::kIgnore) continue;
    if (glob != Verdict::kKeep) {
      if (!hiddenFiles && e.name[0] == '.') continue;
      if (ignoring && rules_.Ignored(Join(absolute, e.name), false)) continue;
    }
    const std::string name = Join(display, e.name);
    if (!FirstVisit(name)) continue;
    if (!visit(name, false)) {
      goOn = false;
      break;
    }
  }
  if (goOn && options_.recursive) {
    for (const DirectoryEntry& e : entries) {
      if (e.kind != EntryKind::kDirectory || IsVersionControlName(e.name)) continue;
      const Verdict glob = globs_.Empty() ? Verdict::kNone : globs_.Judge(Join(relative, e.name), true);
      if (glob == Verdict::kIgnore) continue;
      if (glob != Verdict::kKeep) {
        if (!options_.hidden && e.name[0] == '.') continue;
        if (ignoring && rules_.Ignored(Join(absolute, e.name), true)) continue;
      }
      if (!Directory(Join(display.empty() ? std::string() : display, e.name),
                     absolute.empty() ? std::string() : Join(absolute, e.name), Join(relative, e.name), pattern,
                     patternGiven, inRepository, visit)) {
        goOn = false;
        break;
      }
    }
  }
  rules_.Restore(mark);
  return goOn;
}

}  // namespace ravelin_cli
