// Directory listing for the file walk: the entries of one directory with
// what each one is, directories opened relative to an open one, and the
// wildcard match of a name. Tests can make opening a directory fail
// (Call::OpenDir).
#ifndef RAVELIN_PLATFORM_DIRECTORY_H
#define RAVELIN_PLATFORM_DIRECTORY_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {

// What an entry is, as far as the walk cares. Links are told apart by what
// they lead to: a link to a file is searched like the file, a link to a
// directory is never descended.
enum class EntryKind : unsigned char {
  File,             // a regular file, or a link to one
  Directory,        // a directory that is not a link
  LinkToDirectory,  // a link leading to a directory
  Other,            // devices, FIFOs, sockets, dangling links, vanished entries
  Unresolved,       // not known from the listing alone: ask Directory::Resolve
};

struct DirectoryEntry {
  std::string name;
  EntryKind kind = EntryKind::Unresolved;
};

// Identity of a directory, to notice one that is already being walked (a
// bind mount can make a tree loop without any link).
struct DirectoryId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const DirectoryId& other) const { return dev == other.dev && ino == other.ino; }
};

// An open directory; closed on destruction. Move-only.
class Directory {
 public:
  Directory() = default;
  ~Directory();
  Directory(Directory&& other) noexcept;
  Directory& operator=(Directory&& other) noexcept;
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // Opens the directory at path. followLink false refuses a path whose last
  // component is a symbolic link (ELOOP or ENOTDIR). Invalid, with *err,
  // on failure.
  static Directory Open(const std::string& path, bool followLink, int* err);
  // Opens the directory name relative to the open directory parentFd (a
  // name with slashes, or AT_FDCWD as parentFd, works as for Open).
  static Directory OpenAt(int parentFd, const std::string& name, bool followLink, int* err);

  bool Valid() const { return dir_ != nullptr; }
  // The descriptor of the open directory (-1 when not open); it stays owned
  // by this object.
  int Fd() const;
  // Device and inode of the open directory.
  DirectoryId Id() const { return id_; }
  // Appends every entry but "." and ".." in the order the system gives them.
  // False, with *err, when reading stops part-way; what was read is kept.
  bool ReadEntries(std::vector<DirectoryEntry>* out, int* err);
  // The kind of an entry read from this directory, asking the file system;
  // an entry that vanished since the listing is Other.
  EntryKind Resolve(const std::string& name) const;

 private:
  void Close();
  void* dir_ = nullptr;  // DIR*
  DirectoryId id_;
};

// A descriptor of the directory at path (links followed) to name files
// relative to: readable where the directory is, else one that can only name
// (a directory that may be searched but not listed). Invalid, with *err, on
// failure.
UniqueFd OpenDirectoryHandle(const std::string& path, int* err);

// True when a file name component holds a wildcard: * ? or [.
bool HasWildcard(const std::string& component);
// True when name matches the wildcard pattern (* ? [...] as fnmatch has
// them; a backslash quotes the next character). A leading dot is an
// ordinary character.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PLATFORM_DIRECTORY_H
