// The in-place update of one file, apart from the object that queued it.
//
// The file is read once, front to back, in blocks; the text between matches
// is streamed (no buffer is sized by a gap), and the bytes at every recorded
// position are checked against the recorded match before its replacement is
// written. Everything goes to a temporary file created exclusively in the
// directory of the file (of its final target, for a symbolic link, so the
// link stays a link). The temporary file gets the file's owner and group
// (where the process may give them) and permission bits, is flushed to disk
// and renamed over the file: a kill at any moment leaves the file wholly old
// or wholly new.
//
// A backup, when asked for, is written the same way from the same single
// read: a second temporary file in the backup's directory, flushed, renamed
// over the backup name, before the file itself is replaced.
//
// A file with several hard links is replaced by the rename like any other:
// the name given gets the new contents and the other links keep the old
// ones. Rewriting the shared inode in place would keep the links together
// but could leave a half-written file after a crash, which we never risk.
#ifndef RAVELIN_FILEUPDATE_FILE_REWRITE_H
#define RAVELIN_FILEUPDATE_FILE_REWRITE_H

#include <cstdint>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

class TempFile;
struct FileStat;

// Appends one problem to the list.
void Record(std::vector<RegularExpression::FileChangeProblem>& problems, const std::string& fileName,
            RegularExpression::ProblemKind kind, std::uint64_t position, int err,
            const std::string& text = std::string());

// Gives a temporary file the owner and group of the original, where the
// process may: an unprivileged process can still give it the group when it
// belongs to it. The errno of the refusal, or 0.
int GiveOwner(TempFile& file, const FileStat& original);

// Writes entries (ascending, non-overlapping) into fileName; with a
// non-empty backupName the old contents are saved under that name first.
// Returns true when the file was replaced. Each failure appends one problem
// and leaves the file as it was; after a replacement, a problem of kind
// AttributesFailed may follow when the owner or group could not be kept.
bool RewriteFile(const std::string& fileName, const std::vector<RegularExpression::GrepInformation>& entries,
                 const std::string& backupName, std::vector<RegularExpression::FileChangeProblem>& problems);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEUPDATE_FILE_REWRITE_H
