#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {
namespace {

DIR* AsDir(void* p) { return static_cast<DIR*>(p); }

void Fail(int* err, int value) {
  if (err != nullptr) *err = value;
}

EntryKind KindOfType(unsigned char type) {
  switch (type) {
    case DT_REG:
      return EntryKind::File;
    case DT_DIR:
      return EntryKind::Directory;
    case DT_LNK:
    case DT_UNKNOWN:
      return EntryKind::Unresolved;
    default:
      return EntryKind::Other;
  }
}

}  // namespace

Directory::~Directory() { Close(); }

Directory::Directory(Directory&& other) noexcept : dir_(other.dir_), id_(other.id_) { other.dir_ = nullptr; }

Directory& Directory::operator=(Directory&& other) noexcept {
  if (this != &other) {
    Close();
    dir_ = other.dir_;
    id_ = other.id_;
    other.dir_ = nullptr;
  }
  return *this;
}

void Directory::Close() {
  if (dir_ != nullptr) ::closedir(AsDir(dir_));  // closes the descriptor too
  dir_ = nullptr;
}

Directory Directory::Open(const std::string& path, bool followLink, int* err) {
  return OpenAt(AT_FDCWD, path, followLink, err);
}

Directory Directory::OpenAt(int parentFd, const std::string& name, bool followLink, int* err) {
  Directory result;
  if (FaultInjected(Call::OpenDir, err)) return result;
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;
  if (!followLink) flags |= O_NOFOLLOW;
  int fd;
  do {
    fd = ::openat(parentFd, name.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail(err, errno);
    return result;
  }
  struct stat s;
  if (::fstat(fd, &s) != 0) {
    Fail(err, errno);
    ::close(fd);
    return result;
  }
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    Fail(err, errno);
    ::close(fd);
    return result;
  }
  result.dir_ = dir;
  result.id_ = DirectoryId{s.st_dev, s.st_ino};
  return result;
}

int Directory::Fd() const { return dir_ != nullptr ? ::dirfd(AsDir(dir_)) : -1; }

bool Directory::ReadEntries(std::vector<DirectoryEntry>* out, int* err) {
  if (dir_ == nullptr) {
    Fail(err, EBADF);
    return false;
  }
  for (;;) {
    errno = 0;
    struct dirent* d = ::readdir(AsDir(dir_));
    if (d == nullptr) {
      if (errno == 0) return true;
      Fail(err, errno);
      return false;
    }
    const char* name = d->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    out->push_back(DirectoryEntry{name, KindOfType(d->d_type)});
  }
}

EntryKind Directory::Resolve(const std::string& name) const {
  if (dir_ == nullptr) return EntryKind::Other;
  int fd = ::dirfd(AsDir(dir_));
  struct stat s;
  if (::fstatat(fd, name.c_str(), &s, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Other;
  if (S_ISREG(s.st_mode)) return EntryKind::File;
  if (S_ISDIR(s.st_mode)) return EntryKind::Directory;
  if (!S_ISLNK(s.st_mode)) return EntryKind::Other;
  if (::fstatat(fd, name.c_str(), &s, 0) != 0) return EntryKind::Other;  // dangling
  if (S_ISREG(s.st_mode)) return EntryKind::File;
  if (S_ISDIR(s.st_mode)) return EntryKind::LinkToDirectory;
  return EntryKind::Other;
}

UniqueFd OpenDirectoryHandle(const std::string& path, int* err) {
  if (FaultInjected(Call::OpenDir, err)) return UniqueFd();
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno == EACCES) {
    do {
      fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
  }
  if (fd < 0) Fail(err, errno);
  return UniqueFd(fd);
}

bool HasWildcard(const std::string& component) { return component.find_first_of("*?[") != std::string::npos; }

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  return ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

}  // namespace detail
}  // namespace RegexClass
