// A temporary file for a safe rewrite. It is created exclusively (mode 0600)
// in the directory of the file it will replace, so the final rename stays on
// one file system and is atomic. It is removed on every way out unless
// KeepAs renamed it over its target: a run that returns or throws leaves no
// temporary file behind; only a killed process can. Every temporary file in
// flight is listed where a signal handler can remove it
// (RemoveLiveTempFiles).
#ifndef RAVELIN_PLATFORM_TEMP_FILE_H
#define RAVELIN_PLATFORM_TEMP_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {

// Every temporary file the library creates is named this prefix plus six
// characters from [A-Za-z0-9].
extern const char kTempFilePrefix[];

// True when a directory entry name has the form of a temporary file.
bool IsTempFileName(const char* name);

// Removes every temporary file still in flight in this process.
// Async-signal-safe.
void RemoveLiveTempFiles();

class TempFile {
 public:
  TempFile() = default;
  // Removes the file unless it was kept.
  ~TempFile() { Discard(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates dir/<prefix>XXXXXX. False and *err on failure; Name() is then
  // the intended name (with the XXXXXX still in it).
  bool Create(const std::string& dir, int* err);
  // Creates <prefix>XXXXXX in the open directory dirFd; shownDir is how the
  // directory is named in Name().
  bool CreateAt(int dirFd, const std::string& shownDir, int* err);
  bool Valid() const { return fd_.Valid(); }
  int Fd() const { return fd_.Get(); }
  // The file's path as shown to the user (its directory as given, its name).
  const std::string& Name() const { return name_; }

  // Writes all n bytes (short writes looped). False and *err on failure.
  bool Write(const void* data, std::size_t n, int* err) { return WriteAll(fd_.Get(), data, n, err); }
  // Flushes the contents to the disk.
  bool Sync(int* err) { return Fsync(fd_.Get(), err); }
  // Closes the descriptor and renames the file over target (a path). On
  // success the file is no longer this object's to remove; on failure it
  // still is.
  bool KeepAs(const std::string& target, int* err);
  // The same, over the entry leaf of the open directory targetDir.
  bool KeepAsAt(int targetDir, const std::string& leaf, int* err);
  // Closes the descriptor and removes the file (once; nothing after KeepAs).
  void Discard();

 private:
  void Forget();

  UniqueFd fd_;
  UniqueFd dir_;      // the directory holding the file
  std::string leaf_;  // its name there
  std::string name_;
  int slot_ = -1;  // its entry in the list of files in flight
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PLATFORM_TEMP_FILE_H
