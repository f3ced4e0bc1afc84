// The in-place update of one file, apart from the object that queued it.
//
// The file is read once, front to back, in blocks; the text between matches
// is streamed (no buffer is sized by a gap), and the bytes at every recorded
// position are checked against the recorded match before its replacement is
// written. The new contents and the backup (fed the same blocks as they are
// read, so it holds exactly the bytes checked) go to a Replacement, which
// says how a file is replaced safely.
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

#include "fileupdate/replacement.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

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
