// The in-place update of the file whose replacements are pending.
#include "fileupdate/file_rewrite.h"
#include "platform/posix_file.h"
#include "platform/temp_file.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace {

// Forgets the pending replacements on every way out of a scope.
class PendingReset {
 public:
  explicit PendingReset(RegularExpression::MergeFileInformation& pending) : pending_(pending) {}
  ~PendingReset() {
    pending_.fileName.clear();
    pending_.grepInformation.clear();
  }
  PendingReset(const PendingReset&) = delete;
  PendingReset& operator=(const PendingReset&) = delete;

 private:
  RegularExpression::MergeFileInformation& pending_;
};

}  // namespace

void RegularExpression::MergeUpdateFile() {
  PendingReset reset(mergeFileInformation);
  if (mergeFileInformation.fileName.empty()) return;
  // The queued file's own backup name (ReplaceExtension would name the file
  // of a run in progress, when a caller queues by hand during one).
  const std::string backupName = BackupNameOf(mergeFileInformation.fileName);
  if (detail::RewriteFile(mergeFileInformation.fileName, mergeFileInformation.grepInformation, backupName,
                          changeFilesErrors)) {
    changeCount += static_cast<std::uint32_t>(mergeFileInformation.grepInformation.size());
  }
}

void RegularExpression::MergeFileCleanup(int readFd, int writeFd, const std::string& tempName) {
  PendingReset reset(mergeFileInformation);
  detail::UniqueFd closeRead(readFd);
  detail::UniqueFd closeWrite(writeFd);
  if (!tempName.empty()) detail::Unlink(tempName, nullptr);
}

unsigned long RegularExpression::GetFilePointer(int fd) const {
  return static_cast<unsigned long>(detail::OffsetOf(fd));
}

}  // namespace RegexClass

namespace RegexClass {

void RegularExpression::RemoveTemporaryFiles() { detail::RemoveLiveTempFiles(); }

}  // namespace RegexClass
