#include "platform/posix_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <ctime>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

namespace RegexClass {
namespace detail {
namespace {

struct Fault {
  Call call;
  int err;
  int skip;
};

// Faults are rare and only set by tests; the flag keeps the normal path to
// one relaxed load.
std::atomic<bool> faultsArmed{false};
std::mutex faultMutex;
std::vector<Fault>& Faults() {
  static std::vector<Fault> faults;
  return faults;
}

// True (and *err set) when an injected fault fires for this call.
bool Injected(Call call, int* err) {
  if (!faultsArmed.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> lock(faultMutex);
  auto& faults = Faults();
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    if (it->call != call) continue;
    if (it->skip > 0) {
      --it->skip;
      return false;
    }
    *err = it->err;
    faults.erase(it);
    if (faults.empty()) faultsArmed = false;
    return true;
  }
  return false;
}

void Fail(int* err, int value) {
  if (err != nullptr) *err = value;
}

void Fill(const struct stat& s, FileStat* st) {
  st->mode = s.st_mode;
  st->uid = s.st_uid;
  st->gid = s.st_gid;
  st->size = static_cast<std::uint64_t>(s.st_size);
  st->dev = s.st_dev;
  st->ino = s.st_ino;
  st->nlink = s.st_nlink;
  st->mtimeSec = s.st_mtim.tv_sec;
  st->mtimeNsec = s.st_mtim.tv_nsec;
  st->ctimeSec = s.st_ctim.tv_sec;
  st->ctimeNsec = s.st_ctim.tv_nsec;
}

// Runs one call that returns 0 on success, unless a fault is injected for
// it; on failure *err receives the errno.
template <class Function>
bool Run(Call call, int* err, Function function) {
  int e = 0;
  if (Injected(call, &e)) {
    Fail(err, e);
    return false;
  }
  if (function() != 0) {
    Fail(err, errno);
    return false;
  }
  return true;
}

}  // namespace

void InjectFault(Call call, int err, int skip) {
  std::lock_guard<std::mutex> lock(faultMutex);
  Faults().push_back(Fault{call, err, skip});
  faultsArmed = true;
}

void ClearFaults() {
  std::lock_guard<std::mutex> lock(faultMutex);
  Faults().clear();
  faultsArmed = false;
}

bool FaultInjected(Call call, int* err) {
  int e = 0;
  if (!Injected(call, &e)) return false;
  Fail(err, e);
  return true;
}

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool FileStat::IsDirectory() const { return S_ISDIR(mode); }
bool FileStat::IsRegular() const { return S_ISREG(mode); }
bool FileStat::IsLink() const { return S_ISLNK(mode); }

UniqueFd OpenRead(const std::string& path, int* err) {
  int e = 0;
  if (Injected(Call::Open, &e)) {
    Fail(err, e);
    return UniqueFd();
  }
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) Fail(err, errno);
  return UniqueFd(fd);
}

long ReadSome(int fd, void* buf, std::size_t n, int* err) {
  int e = 0;
  if (Injected(Call::Read, &e)) {
    Fail(err, e);
    return -1;
  }
  ssize_t got;
  do {
    got = ::read(fd, buf, n);
  } while (got < 0 && errno == EINTR);
  if (got < 0) Fail(err, errno);
  return static_cast<long>(got);
}

long ReadFull(int fd, void* buf, std::size_t n, int* err) {
  std::size_t done = 0;
  while (done < n) {
    long got = ReadSome(fd, static_cast<char*>(buf) + done, n - done, err);
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<long>(done);
}

bool WriteAll(int fd, const void* buf, std::size_t n, int* err) {
  const char* p = static_cast<const char*>(buf);
  int e = 0;
  if (Injected(Call::ShortWrite, &e) && n > 1) {
    // Store part of the data, then fail as a full disk would.
    ssize_t put;
    do {
      put = ::write(fd, p, n / 2);
    } while (put < 0 && errno == EINTR);
    Fail(err, e);
    return false;
  }
  while (n > 0) {
    if (Injected(Call::Write, &e)) {
      Fail(err, e);
      return false;
    }
    ssize_t put = ::write(fd, p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail(err, errno);
      return false;
    }
    if (put == 0) {
      Fail(err, ENOSPC);
      return false;
    }
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

bool Fsync(int fd, int* err) {
  int e = 0;
  if (Injected(Call::Fsync, &e)) {
    Fail(err, e);
    return false;
  }
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) Fail(err, errno);
  return rc == 0;
}

std::int64_t CurrentOffset(int fd) {
  off_t at = ::lseek(fd, 0, SEEK_CUR);
  return at < 0 ? -1 : static_cast<std::int64_t>(at);
}

bool Stat(const std::string& path, FileStat* st, int* err) {
  struct stat s;
  if (!Run(Call::Stat, err, [&] { return ::stat(path.c_str(), &s); })) return false;
  Fill(s, st);
  return true;
}

bool Lstat(const std::string& path, FileStat* st, int* err) {
  struct stat s;
  if (!Run(Call::Stat, err, [&] { return ::lstat(path.c_str(), &s); })) return false;
  Fill(s, st);
  return true;
}

bool Fstat(int fd, FileStat* st, int* err) {
  struct stat s;
  if (!Run(Call::Stat, err, [&] { return ::fstat(fd, &s); })) return false;
  Fill(s, st);
  return true;
}

bool Rename(const std::string& from, const std::string& to, int* err) {
  return Run(Call::Rename, err, [&] { return ::rename(from.c_str(), to.c_str()); });
}

bool Unlink(const std::string& path, int* err) {
  return Run(Call::Unlink, err, [&] { return ::unlink(path.c_str()); });
}

bool Fchmod(int fd, mode_t mode, int* err) {
  return Run(Call::Chmod, err, [&] { return ::fchmod(fd, mode); });
}

bool Fchown(int fd, uid_t uid, gid_t gid, int* err) {
  return Run(Call::Chown, err, [&] { return ::fchown(fd, uid, gid); });
}

std::string ResolveLinks(const std::string& path, int* err) {
  std::string current = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat s;
    if (::lstat(current.c_str(), &s) != 0) {
      Fail(err, errno);
      return std::string();
    }
    if (!S_ISLNK(s.st_mode)) return current;
    std::vector<char> target(static_cast<std::size_t>(s.st_size > 0 ? s.st_size : PATH_MAX) + 1);
    ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0) {
      Fail(err, errno);
      return std::string();
    }
    std::string next(target.data(), static_cast<std::size_t>(n));
    if (next.empty() || next[0] != '/') {
      std::string dir = DirectoryOf(current);
      next = (dir == "." && current.find('/') == std::string::npos) ? next : dir + "/" + next;
    }
    current = next;
  }
  Fail(err, ELOOP);
  return std::string();
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ErrorText(int err) { return std::strerror(err); }

bool SameFileState(const FileStat& a, const FileStat& b) {
  return a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtimeSec == b.mtimeSec &&
         a.mtimeNsec == b.mtimeNsec && a.ctimeSec == b.ctimeSec && a.ctimeNsec == b.ctimeNsec;
}

UniqueFd OpenRegularFileAt(int dirFd, const std::string& name, FileStat* st, int* err) {
  if (FaultInjected(Call::Open, err)) return UniqueFd();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  // It changes nothing for a regular file.
  int fd;
  do {
    fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail(err, errno);
    return UniqueFd();
  }
  UniqueFd file(fd);
  if (!Fstat(file.Get(), st, err)) return UniqueFd();
  if (!st->IsRegular()) {
    Fail(err, EINVAL);
    return UniqueFd();
  }
  return file;
}

bool StatAt(int dirFd, const std::string& name, bool followLinks, FileStat* st, int* err) {
  struct stat s;
  const int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
  if (!Run(Call::Stat, err, [&] { return ::fstatat(dirFd, name.c_str(), &s, flags); })) return false;
  Fill(s, st);
  return true;
}

bool LockExclusive(int fd, int waitMs, int* err) {
  int e = 0;
  if (Injected(Call::Lock, &e)) {
    Fail(err, e);
    return false;
  }
  for (int waited = 0;; waited += 10) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || waited >= waitMs) {
      Fail(err, errno);
      return false;
    }
    struct timespec pause = {0, 10L * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
}

namespace {

UniqueFd OpenDirectoryAt(int dirFd, const std::string& path, int* err) {
  int fd;
  do {
    fd = ::openat(dirFd, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) Fail(err, errno);
  return UniqueFd(fd);
}

}  // namespace

UniqueFd OpenParentAt(int dirFd, const std::string& path, std::string* leaf, int* err) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    *leaf = path;
    return OpenDirectoryAt(dirFd, ".", err);
  }
  *leaf = path.substr(slash + 1);
  return OpenDirectoryAt(dirFd, slash == 0 ? std::string("/") : path.substr(0, slash), err);
}

bool ResolveLinksAt(int dirFd, const std::string& name, UniqueFd* dir, std::string* leaf, int* err, bool* followed) {
  UniqueFd current = OpenParentAt(dirFd, name, leaf, err);
  if (!current.Valid()) return false;
  for (int depth = 0; depth < 40; ++depth) {
    if (followed != nullptr) *followed = depth > 0;
    struct stat s;
    if (::fstatat(current.Get(), leaf->c_str(), &s, AT_SYMLINK_NOFOLLOW) != 0) {
      Fail(err, errno);
      return false;
    }
    if (!S_ISLNK(s.st_mode)) {
      *dir = std::move(current);
      return true;
    }
    std::vector<char> target(static_cast<std::size_t>(s.st_size > 0 ? s.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlinkat(current.Get(), leaf->c_str(), target.data(), target.size());
    if (n < 0) {
      Fail(err, errno);
      return false;
    }
    const std::string next(target.data(), static_cast<std::size_t>(n));
    // A relative target is read from the link's own directory.
    UniqueFd parent = OpenParentAt(current.Get(), next, leaf, err);
    if (!parent.Valid()) return false;
    current = std::move(parent);
  }
  Fail(err, ELOOP);
  return false;
}

UniqueFd CreateTempFileAt(int dirFd, const std::string& prefix, std::string* leaf, int* err) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  if (leaf != nullptr) *leaf = prefix + "XXXXXX";
  int e = 0;
  if (Injected(Call::TempCreate, &e)) {
    Fail(err, e);
    return UniqueFd();
  }
  thread_local std::mt19937_64 random(std::random_device{}() ^ static_cast<std::uint64_t>(::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    std::uint64_t bits = random();
    for (int i = 0; i < 6; ++i, bits /= 62) name += kAlphabet[bits % 62];
    int fd;
    do {
      fd = ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      if (leaf != nullptr) *leaf = name;
      return UniqueFd(fd);
    }
    if (errno != EEXIST) {
      Fail(err, errno);
      return UniqueFd();
    }
  }
  Fail(err, EEXIST);
  return UniqueFd();
}

bool RenameAt(int fromDir, const std::string& from, int toDir, const std::string& to, int* err) {
  return Run(Call::Rename, err, [&] { return ::renameat(fromDir, from.c_str(), toDir, to.c_str()); });
}

bool UnlinkAt(int dirFd, const std::string& name, int* err) {
  return Run(Call::Unlink, err, [&] { return ::unlinkat(dirFd, name.c_str(), 0); });
}

UniqueFd Duplicate(int fd, int* err) {
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) Fail(err, errno);
  return UniqueFd(copy);
}

bool CopyExtendedAttributes(int from, int to, int* err) {
  int e = 0;
  if (Injected(Call::Xattr, &e)) {
    Fail(err, e);
    return false;
  }
  std::vector<char> names;
  for (;;) {
    const ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0) {
      // A file system without extended attributes has none to keep.
      if (errno == ENOTSUP) return true;
      Fail(err, errno);
      return false;
    }
    if (size == 0) return true;
    names.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(from, names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      break;
    }
    if (errno != ERANGE) {  // ERANGE: the list grew meanwhile; ask again
      Fail(err, errno);
      return false;
    }
  }
  std::vector<char> value;
  for (std::size_t at = 0; at < names.size();) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    ssize_t size = ::fgetxattr(from, name, nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA) continue;  // removed since the listing
      Fail(err, errno);
      return false;
    }
    value.resize(static_cast<std::size_t>(size));
    size = ::fgetxattr(from, name, value.data(), value.size());
    if (size < 0) {
      Fail(err, errno);
      return false;
    }
    if (::fsetxattr(to, name, value.data(), static_cast<std::size_t>(size), 0) != 0) {
      Fail(err, errno);
      return false;
    }
  }
  return true;
}

}  // namespace detail
}  // namespace RegexClass
