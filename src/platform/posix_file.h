// The narrow seam to POSIX file calls. Every call retries on EINTR (close
// never does), writes loop over short writes, and a failure hands back the
// errno taken right after the failing call. Tests can make any call fail
// with a chosen errno (InjectFault).
#ifndef RAVELIN_PLATFORM_POSIX_FILE_H
#define RAVELIN_PLATFORM_POSIX_FILE_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace RegexClass {
namespace detail {

// Calls that a test can make fail.
enum class Call {
  Open,        // opening an existing file
  TempCreate,  // creating a temporary file
  Read,
  Write,
  ShortWrite,  // a write that stores fewer bytes than asked, once, then fails with the errno
  Fsync,
  Rename,
  Stat,
  Chmod,
  Chown,
  Unlink,
  OpenDir,
  Lock,   // taking the advisory lock of a file being changed
  Xattr,  // copying an extended attribute
};
// From now on the (skip + 1)-th call of that kind fails with err (once).
void InjectFault(Call call, int err, int skip = 0);
// Forgets every injected fault.
void ClearFaults();
// For the other platform files: true (and *err set) when an injected fault
// fires for this call, which then must fail with *err.
bool FaultInjected(Call call, int* err);

// Owns a descriptor; closes it on destruction (no retry on EINTR).
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();

 private:
  int fd_ = -1;
};

struct FileStat {
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  std::uint64_t size = 0;
  dev_t dev = 0;
  ino_t ino = 0;
  nlink_t nlink = 0;
  std::int64_t mtimeSec = 0, mtimeNsec = 0;  // last change of the contents
  std::int64_t ctimeSec = 0, ctimeNsec = 0;  // last change of the inode
  bool IsDirectory() const;
  bool IsRegular() const;
  bool IsLink() const;
};

// Opens an existing file for reading (O_CLOEXEC). Invalid on failure.
UniqueFd OpenRead(const std::string& path, int* err);
// Reads up to n bytes: the count (0 at end of file), or -1 and *err.
long ReadSome(int fd, void* buf, std::size_t n, int* err);
// Reads until n bytes or end of file: the count, or -1 and *err.
long ReadFull(int fd, void* buf, std::size_t n, int* err);
// Writes all n bytes; false and *err on failure (ENOSPC for a write that
// stored nothing without an error).
bool WriteAll(int fd, const void* buf, std::size_t n, int* err);
bool Fsync(int fd, int* err);
// The current offset, or -1.
std::int64_t CurrentOffset(int fd);
bool Stat(const std::string& path, FileStat* st, int* err);
bool Lstat(const std::string& path, FileStat* st, int* err);
bool Fstat(int fd, FileStat* st, int* err);
bool Rename(const std::string& from, const std::string& to, int* err);
bool Unlink(const std::string& path, int* err);
bool Fchmod(int fd, mode_t mode, int* err);
bool Fchown(int fd, uid_t uid, gid_t gid, int* err);
// The path a symbolic link finally leads to (relative targets resolved
// against the link's directory); the path itself when it is not a link.
// "" on failure.
std::string ResolveLinks(const std::string& path, int* err);
// The directory part of a path ("." when it has none).
std::string DirectoryOf(const std::string& path);
// True when a and b describe the same file in the same state: device,
// inode, size, and modification and change times to the nanosecond.
bool SameFileState(const FileStat& a, const FileStat& b);

// Opens name (relative to dirFd, or AT_FDCWD) for reading, following links,
// and checks that it is a regular file. Never blocks on a FIFO or a device:
// such a file is refused with EINVAL. *st holds the file's status.
UniqueFd OpenRegularFileAt(int dirFd, const std::string& name, FileStat* st, int* err);
// The status of name relative to dirFd, following a final link or not.
bool StatAt(int dirFd, const std::string& name, bool followLinks, FileStat* st, int* err);
// Takes the exclusive advisory lock (flock) of fd, waiting at most waitMs
// milliseconds for another holder; EWOULDBLOCK when it is still held.
bool LockExclusive(int fd, int waitMs, int* err);
// Opens the directory that holds path (relative to dirFd); *leaf receives
// path's last component.
UniqueFd OpenParentAt(int dirFd, const std::string& path, std::string* leaf, int* err);
// Follows name (relative to dirFd) through symbolic links to the entry they
// finally lead to: *dir is the directory holding it, *leaf its name there;
// *followed (if given): whether a link was followed.
bool ResolveLinksAt(int dirFd, const std::string& name, UniqueFd* dir, std::string* leaf, int* err,
                    bool* followed = nullptr);
// Creates a new file exclusively, mode 0600, in the directory dirFd, named
// prefix plus six random characters; *leaf receives its name.
UniqueFd CreateTempFileAt(int dirFd, const std::string& prefix, std::string* leaf, int* err);
bool RenameAt(int fromDir, const std::string& from, int toDir, const std::string& to, int* err);
bool UnlinkAt(int dirFd, const std::string& name, int* err);
// A second descriptor for the same open file; invalid with *err on failure.
UniqueFd Duplicate(int fd, int* err);
// Gives to every extended attribute of from (POSIX ACLs included). False,
// with *err, when one cannot be read or set.
bool CopyExtendedAttributes(int from, int to, int* err);

// The text of an errno value.
std::string ErrorText(int err);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PLATFORM_POSIX_FILE_H
