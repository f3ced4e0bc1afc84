// A temporary file for a safe rewrite. It is created exclusively (mode 0600)
// in the directory of the file it will replace, so the final rename stays on
// one file system and is atomic. It is removed on every way out unless
// KeepAs renamed it over its target: a run that returns or throws leaves no
// temporary file behind; only a killed process can.
#ifndef RAVELIN_PLATFORM_TEMP_FILE_H
#define RAVELIN_PLATFORM_TEMP_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {

// Every temporary file the library creates is named this prefix plus six
// random characters.
extern const char kTempFilePrefix[];

// Removes every temporary file still open in this process. Async-signal-safe.
void RemoveLiveTempFiles();

class TempFile {
 public:
  TempFile() = default;
  // Removes the file unless it was kept.
  ~TempFile() { Discard(); }
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates dir/<prefix>XXXXXX. False and *err on failure; Name() is then
  // the intended name (with the XXXXXX still in it).
  bool Create(const std::string& dir, int* err);
  bool Valid() const { return fd_.Valid(); }
  int Fd() const { return fd_.Get(); }
  const std::string& Name() const { return name_; }

  // Writes all n bytes (short writes looped). False and *err on failure.
  bool Write(const void* data, std::size_t n, int* err) { return WriteAll(fd_.Get(), data, n, err); }
  // Flushes the contents to the disk.
  bool Sync(int* err) { return Fsync(fd_.Get(), err); }
  // Closes the descriptor and renames the file over target. On success the
  // file is no longer this object's to remove; on failure it still is.
  bool KeepAs(const std::string& target, int* err);
  // Closes the descriptor and removes the file (once; nothing after KeepAs).
  void Discard();

 private:
  UniqueFd fd_;
  std::string name_;
  bool created_ = false;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PLATFORM_TEMP_FILE_H
