#include "change_checks.h"

#include <algorithm>

#include "io.h"
#include "system.h"

namespace ravelin_cli {
namespace {

// The resolved directories (or files) that the PATHs name.
std::vector<std::string> ResolvedRoots(const std::vector<std::string>& paths) {
  std::vector<std::string> resolved;
  const std::vector<std::string> roots = paths.empty() ? std::vector<std::string>{"."} : paths;
  for (const std::string& root : roots) {
    std::string path = root;
    if (HasWildcards(root)) {
      const std::size_t slash = root.rfind('/');
      path = slash == std::string::npos ? "." : slash == 0 ? "/" : root.substr(0, slash);
    }
    const std::string r = ResolvedPath(path);
    if (!r.empty()) resolved.push_back(r);
  }
  return resolved;
}

}  // namespace

Identity IdentityOf(const SearchedFile& file) { return {file.Identity().device, file.Identity().inode}; }

std::vector<Blocker> FindBlockers(const RegularExpression& re, const std::vector<std::string>& files) {
  std::vector<Blocker> blockers;
  const bool backups = !re.GetSaveExtension().empty();
  const std::set<std::string> runFiles(files.begin(), files.end());
  std::map<std::string, std::string> backupOf;  // backup name -> the file saved under it
  for (const std::string& file : files) {
    if (re.ReadOnlyFile(file) || !WritableByUs(file)) blockers.push_back({file, "it is read-only"});
    if (!backups) continue;
    if (re.BackupFile(file)) {
      blockers.push_back({file, re.GetBackupNaming() == RegularExpression::BackupNaming::Suffix
                                    ? "its name ends with the backup suffix"
                                    : "its name carries the backup extension"});
      continue;
    }
    const std::string backup = re.BackupNameOf(file);
    const auto taken = backupOf.emplace(backup, file);
    if (!taken.second) {
      blockers.push_back({file, "its backup " + backup + " would also be the backup of " + taken.first->second});
    } else if (runFiles.count(backup) != 0) {
      blockers.push_back({file, "its backup " + backup + " is a file this run changes"});
    } else if (PathExists(backup)) {
      blockers.push_back({file, "its backup " + backup + " exists already"});
    }
  }
  return blockers;
}

std::set<Identity> RecordFiles(const Invocation& inv) {
  std::set<Identity> records;
  for (const Given* record : {&inv.saveFile, &inv.loadFile}) {
    if (!record->given) continue;
    const PathFacts facts = Examine(record->value);
    if (facts.kind == EntryKind::kFile) records.emplace(facts.device, facts.inode);
  }
  return records;
}

void NoteLinksOutside(const RegularExpression& re, const std::vector<std::string>& roots,
                      const std::vector<std::string>& links) {
  if (links.empty()) return;
  const std::vector<std::string> resolved = ResolvedRoots(roots);
  for (const std::string& link : links) {
    const std::string target = ResolvedPath(link);
    const bool inside = std::any_of(resolved.begin(), resolved.end(), [&](const std::string& root) {
      return target == root ||
             (target.compare(0, root.size(), root) == 0 && (root.back() == '/' || target[root.size()] == '/'));
    });
    if (target.empty() || inside) continue;
    std::string bytes;
    if (ReadFileBytes(link, bytes) != 0) continue;
    RegularExpression probe(re);
    probe.SetStringToMatch(bytes);
    if (probe.Grep() == 0) continue;
    Complain(link + ": left unchanged: a link to a file outside the PATHs given (--follow follows it)");
  }
}

}  // namespace ravelin_cli
